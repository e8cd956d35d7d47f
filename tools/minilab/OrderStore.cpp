#include "OrderStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileIO.h"
#include "Log.h"

namespace tessaron::minilab {

namespace {

// An exclusive temporary name in `dirFd`; answers its descriptor.
UniqueFd createTemp(int dirFd, const std::string& name, std::string& tempName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = "." + name + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        UniqueFd fd(::openat(dirFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd || errno != EEXIST) return fd;
    }
    return UniqueFd();
}

}  // namespace

std::unique_ptr<OrderStore> OrderStore::open(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        error = path + ": " + strerror(errno);
        return nullptr;
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        error = path + ": " + strerror(errno);
        return nullptr;
    }
    UniqueFd scanFd(::dup(fd.get()));
    std::unique_ptr<OrderStore> store(new OrderStore(path, std::move(fd)));
    if (DIR* dir = scanFd ? fdopendir(scanFd.get()) : nullptr) {
        scanFd.release();  // closedir closes it
        while (dirent* e = readdir(dir)) {
            unsigned n = 0;
            if (sscanf(e->d_name, "order-%u", &n) == 1 || sscanf(e->d_name, ".order-%u", &n) == 1)
                store->lastOrder_ = std::max(store->lastOrder_, static_cast<uint32_t>(n));
        }
        closedir(dir);
    }
    return store;
}

std::string OrderStore::buildingName(uint32_t order) const { return ".order-" + std::to_string(order) + ".partial"; }
std::string OrderStore::publishedName(uint32_t order) const { return "order-" + std::to_string(order); }

std::string OrderStore::orderPath(uint32_t order, bool published) const {
    return path_ + "/" + (published ? publishedName(order) : buildingName(order));
}

uint32_t OrderStore::newOrder() {
    uint32_t n = ++lastOrder_;
    if (::mkdirat(dirFd_.get(), buildingName(n).c_str(), 0755) != 0)
        logError("store: cannot create %s: %s", orderPath(n, false).c_str(), strerror(errno));
    return n;
}

int OrderStore::orderDirFd(uint32_t order) {
    if (openOrder_ == order && openFd_) return openFd_.get();
    openOrder_ = order;
    openFd_.reset(::openat(dirFd_.get(), buildingName(order).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    openPublished_ = false;
    if (!openFd_) {
        openFd_.reset(::openat(dirFd_.get(), publishedName(order).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        openPublished_ = true;
    }
    return openFd_.get();
}

bool OrderStore::writeFile(uint32_t order, const std::string& name, std::span<const uint8_t> bytes) {
    int dir = orderDirFd(order);
    std::string temp;
    UniqueFd fd = dir >= 0 ? createTemp(dir, name, temp) : UniqueFd();
    if (!fd) {
        logError("store: cannot write %s in order %u: %s", name.c_str(), order, strerror(errno));
        return false;
    }
    // A file whose last bytes the disk could not take reports it only on close.
    bool ok = writeAll(fd.get(), bytes.data(), bytes.size()) == 0;
    ok = fd.close() && ok;
    if (ok) ok = ::renameat(dir, temp.c_str(), dir, name.c_str()) == 0;
    if (!ok) {
        logError("store: writing %s in order %u failed: %s", name.c_str(), order, strerror(errno));
        ::unlinkat(dir, temp.c_str(), 0);
    }
    return ok;
}

bool OrderStore::writeJson(uint32_t order, const std::string& name, const nlohmann::json& value) {
    std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return writeFile(order, name, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

bool OrderStore::publish(uint32_t order) {
    if (openOrder_ == order) openFd_.reset();
    if (::renameat(dirFd_.get(), buildingName(order).c_str(), dirFd_.get(), publishedName(order).c_str()) != 0) {
        logError("store: cannot publish order %u: %s", order, strerror(errno));
        return false;
    }
    return true;
}

}  // namespace tessaron::minilab
