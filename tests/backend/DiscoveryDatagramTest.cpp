#include "DiscoveryDatagram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace tessaron::backend;

namespace {

std::vector<uint8_t> reply(const std::string& name, size_t size = kDatagramSize) {
    std::vector<uint8_t> bytes(size, 0);
    bytes[1] = 0x0F;
    bytes[3] = 0x02;
    std::memcpy(bytes.data() + 4, name.data(), std::min(name.size(), size - 4));
    return bytes;
}

}  // namespace

TEST(DiscoveryDatagram, QueryIsFortyFourBytesWithItsMarker) {
    const auto query = queryDatagram();
    std::vector<uint8_t> expected(44, 0);
    expected[1] = 0x0F;
    expected[3] = 0x01;
    EXPECT_EQ(std::vector<uint8_t>(query.begin(), query.end()), expected);
}

TEST(DiscoveryDatagram, ReplyIsRecognisedByItsFirstFourBytesOnly) {
    const uint8_t bare[] = {0x00, 0x0F, 0x00, 0x02};
    EXPECT_TRUE(isDiscoveryReply(bare, 4));
    // What lies beyond the received length must not count, even if a buffer still holds it.
    EXPECT_FALSE(isDiscoveryReply(bare, 3));
    const uint8_t query[] = {0x00, 0x0F, 0x00, 0x01};
    EXPECT_FALSE(isDiscoveryReply(query, 4));
    const uint8_t other[] = {0x01, 0x0F, 0x00, 0x02, 'x'};
    EXPECT_FALSE(isDiscoveryReply(other, 5));
}

TEST(DiscoveryDatagram, DeviceLinesAreByteExact) {
    EXPECT_EQ(genericDeviceLine(), "network vantrelps \"Unknown\" \"Vantrel Printing System\"\n");
    const auto lab = reply("Lab 1");
    EXPECT_EQ(deviceLineForReply(lab.data(), lab.size(), "192.168.1.20"),
              "network vantrelps://192.168.1.20 \"Vantrel Tessaron\" \"Vantrel Lab 1 (192.168.1.20)\"\n");
}

TEST(DiscoveryDatagram, NameIsBoundedByItsZeroAndByTheReceivedBytes) {
    const std::string forty(40, 'N');
    const auto full = reply(forty);
    EXPECT_EQ(replyPrinterName(full.data(), full.size()), forty);
    // A short datagram's name ends with the datagram, whatever follows in memory.
    auto shortReply = reply("Lab 7");
    EXPECT_EQ(replyPrinterName(shortReply.data(), 6), "La");
    EXPECT_EQ(replyPrinterName(shortReply.data(), 4), "");
    EXPECT_EQ(replyPrinterName(shortReply.data(), shortReply.size()), "Lab 7");
}

TEST(DiscoveryDatagram, StrayDatagramRendering) {
    const uint8_t stray[] = {0x41, 0x0A, 0xFF};
    EXPECT_EQ(strayDatagramLine(stray, 3, "127.0.0.2"), "Received 3 byte packet from 127.0.0.2: \"A\\12\\377\"\n");
    const uint8_t edges[] = {0x00, 0x1F, 0x20, 0x22, 0x5C, 0x7E, 0x7F, 0x80};
    EXPECT_EQ(strayDatagramLine(edges, sizeof edges, "10.0.0.1"),
              "Received 8 byte packet from 10.0.0.1: \"\\0\\37 \"\\~\\177\\200\"\n");
}
