// The owner of one file descriptor: move-only, closed exactly once, on reset() or when the
// owner goes away. Every descriptor the suite opens lives in one of these.
#pragma once

namespace tessaron {

class UniqueFd {
public:
    UniqueFd() noexcept = default;
    // Takes `fd` over; a negative value is the empty owner.
    explicit UniqueFd(int fd) noexcept : fd_(fd < 0 ? -1 : fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    // Closes quietly: errno is what it was before.
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Gives the descriptor up without closing it; the owner is empty afterwards.
    int release() noexcept;
    // Closes what is held (keeping errno) and takes `fd` over.
    void reset(int fd = -1) noexcept;
    // Closes what is held and answers whether that succeeded: a written file whose last
    // bytes the kernel could not store reports it only here. Empty owners answer true.
    // Either way the descriptor is gone afterwards; a failed close is never retried.
    bool close() noexcept;

private:
    int fd_ = -1;
};

}  // namespace tessaron
