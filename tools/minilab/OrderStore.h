// The order store: one directory per order (order-<n>), built under a hidden name and
// renamed into place once the order is spooled and complete, so that a reader never sees
// half an order. Every file is written under a temporary name and renamed; nothing
// follows a symbolic link.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "UniqueFd.h"


namespace tessaron::minilab {

class OrderStore {
public:
    // Opens (creating one level if missing) the store directory.
    static std::unique_ptr<OrderStore> open(const std::string& path, std::string& error);
    OrderStore(const OrderStore&) = delete;
    OrderStore& operator=(const OrderStore&) = delete;

    const std::string& path() const { return path_; }
    // A new order number after every order already in the store.
    uint32_t newOrder();
    bool writeFile(uint32_t order, const std::string& name, std::span<const uint8_t> bytes);
    bool writeJson(uint32_t order, const std::string& name, const nlohmann::json& value);
    // Moves the order from its hidden building place to order-<n>.
    bool publish(uint32_t order);
    std::string orderPath(uint32_t order, bool published) const;

private:
    OrderStore(std::string path, UniqueFd dir) : path_(std::move(path)), dirFd_(std::move(dir)) {}
    int orderDirFd(uint32_t order);
    std::string buildingName(uint32_t order) const;
    std::string publishedName(uint32_t order) const;

    std::string path_;
    UniqueFd dirFd_;
    uint32_t lastOrder_ = 0;
    uint32_t openOrder_ = 0;   // the order whose directory is open in openFd_
    UniqueFd openFd_;
    bool openPublished_ = false;
};

}  // namespace tessaron::minilab
