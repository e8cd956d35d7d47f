// The order store on its own: orders appear only whole, files are replaced by rename, and
// links planted in the store are never followed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "OrderStore.h"
#include "TempDir.h"

namespace fs = std::filesystem;
using tessaron::test::readFile;
using tessaron::test::TempDir;

namespace {

std::span<const uint8_t> bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

size_t entries(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(MinilabOrderStore, AnOrderAppearsWholeUnderItsNumber) {
    TempDir dir;
    std::string error;
    auto store = tessaron::minilab::OrderStore::open(dir.file("orders"), error);
    ASSERT_TRUE(store) << error;
    const uint32_t n = store->newOrder();
    EXPECT_EQ(n, 1u);
    ASSERT_TRUE(store->writeFile(n, "frame-1.bmp", bytes("BM-first")));
    ASSERT_TRUE(store->writeFile(n, "frame-1.bmp", bytes("BM-second")));   // replaced, not appended
    ASSERT_TRUE(store->writeJson(n, "order.json", nlohmann::json{{"refId", 7}}));
    // Until it is published the order lives under a hidden name only.
    EXPECT_FALSE(fs::exists(dir.file("orders/order-1")));
    ASSERT_TRUE(store->publish(n));
    EXPECT_EQ(readFile(dir.file("orders/order-1/frame-1.bmp")), "BM-second");
    EXPECT_EQ(nlohmann::json::parse(readFile(dir.file("orders/order-1/order.json")))["refId"], 7);
    // No temporary file is left behind, nor the building place.
    EXPECT_EQ(entries(dir.file("orders/order-1")), 2u);
    EXPECT_EQ(entries(dir.file("orders")), 1u);
    // Files may still be added to a published order (a cancel mark).
    EXPECT_TRUE(store->writeJson(n, "cancelled.json", nlohmann::json{{"cancelled", true}}));
    EXPECT_TRUE(fs::exists(dir.file("orders/order-1/cancelled.json")));
}

TEST(MinilabOrderStore, NumbersContinueAfterEarlierOrders) {
    TempDir dir;
    fs::create_directories(dir.file("orders/order-7"));
    fs::create_directories(dir.file("orders/.order-9.partial"));   // an order a stopped lab left unfinished
    std::string error;
    auto store = tessaron::minilab::OrderStore::open(dir.file("orders"), error);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->newOrder(), 10u);
    EXPECT_EQ(store->newOrder(), 11u);
}

TEST(MinilabOrderStore, LinksAreNeverFollowed) {
    TempDir dir;
    fs::create_directories(dir.file("elsewhere"));
    // The store itself as a link.
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("linked"));
    std::string error;
    EXPECT_FALSE(tessaron::minilab::OrderStore::open(dir.file("linked"), error));
    EXPECT_FALSE(error.empty());

    auto store = tessaron::minilab::OrderStore::open(dir.file("orders"), error);
    ASSERT_TRUE(store) << error;
    // A link where the next order will be built: nothing is written through it.
    fs::create_directory_symlink(dir.file("elsewhere"), dir.file("orders/.order-1.partial"));
    const uint32_t n = store->newOrder();
    EXPECT_FALSE(store->writeFile(n, "frame-1.bmp", bytes("BM")));
    EXPECT_EQ(entries(dir.file("elsewhere")), 0u);

    // A link planted in place of a file is replaced, its target untouched.
    const uint32_t m = store->newOrder();
    ASSERT_TRUE(store->writeFile(m, "frame-1.json", bytes("{}")));
    const std::string victim = dir.write("elsewhere/victim", "keep");
    fs::create_symlink(victim, dir.file("orders/.order-" + std::to_string(m) + ".partial/frame-1.bmp"));
    ASSERT_TRUE(store->writeFile(m, "frame-1.bmp", bytes("BM-new")));
    EXPECT_EQ(readFile(victim), "keep");
    ASSERT_TRUE(store->publish(m));
    const std::string stored = dir.file("orders/order-" + std::to_string(m) + "/frame-1.bmp");
    EXPECT_FALSE(fs::is_symlink(stored));
    EXPECT_EQ(readFile(stored), "BM-new");
}

}  // namespace
