#include "OrderStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Log.h"

namespace tessaron::minilab {

namespace {

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t w = ::write(fd, data, size);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

// An exclusive temporary name in `dirFd`; answers its descriptor.
int createTemp(int dirFd, const std::string& name, std::string& tempName) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = "." + name + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        int fd = ::openat(dirFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

std::unique_ptr<OrderStore> OrderStore::open(const std::string& path, std::string& error) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        error = path + ": " + strerror(errno);
        return nullptr;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + strerror(errno);
        return nullptr;
    }
    std::unique_ptr<OrderStore> store(new OrderStore(path, fd));
    int scanFd = ::dup(fd);
    if (DIR* dir = scanFd >= 0 ? fdopendir(scanFd) : nullptr) {
        while (dirent* e = readdir(dir)) {
            unsigned n = 0;
            if (sscanf(e->d_name, "order-%u", &n) == 1 || sscanf(e->d_name, ".order-%u", &n) == 1)
                store->lastOrder_ = std::max(store->lastOrder_, static_cast<uint32_t>(n));
        }
        closedir(dir);
    }
    return store;
}

OrderStore::~OrderStore() {
    if (openFd_ >= 0) ::close(openFd_);
    if (dirFd_ >= 0) ::close(dirFd_);
}

std::string OrderStore::buildingName(uint32_t order) const { return ".order-" + std::to_string(order) + ".partial"; }
std::string OrderStore::publishedName(uint32_t order) const { return "order-" + std::to_string(order); }

std::string OrderStore::orderPath(uint32_t order, bool published) const {
    return path_ + "/" + (published ? publishedName(order) : buildingName(order));
}

uint32_t OrderStore::newOrder() {
    uint32_t n = ++lastOrder_;
    if (::mkdirat(dirFd_, buildingName(n).c_str(), 0755) != 0)
        logError("store: cannot create %s: %s", orderPath(n, false).c_str(), strerror(errno));
    return n;
}

int OrderStore::orderDirFd(uint32_t order) {
    if (openOrder_ == order && openFd_ >= 0) return openFd_;
    if (openFd_ >= 0) ::close(openFd_);
    openOrder_ = order;
    openFd_ = ::openat(dirFd_, buildingName(order).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    openPublished_ = false;
    if (openFd_ < 0) {
        openFd_ = ::openat(dirFd_, publishedName(order).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        openPublished_ = true;
    }
    return openFd_;
}

bool OrderStore::writeFile(uint32_t order, const std::string& name, std::span<const uint8_t> bytes) {
    int dir = orderDirFd(order);
    std::string temp;
    int fd = dir >= 0 ? createTemp(dir, name, temp) : -1;
    if (fd < 0) {
        logError("store: cannot write %s in order %u: %s", name.c_str(), order, strerror(errno));
        return false;
    }
    bool ok = writeAll(fd, bytes.data(), bytes.size());
    ok = (::close(fd) == 0) && ok;
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
    if (openOrder_ == order && openFd_ >= 0) {
        ::close(openFd_);
        openFd_ = -1;
    }
    if (::renameat(dirFd_, buildingName(order).c_str(), dirFd_, publishedName(order).c_str()) != 0) {
        logError("store: cannot publish order %u: %s", order, strerror(errno));
        return false;
    }
    return true;
}

}  // namespace tessaron::minilab
