// Move-only owners for the C handles the programs use. An empty handle is
// the failure value: callers test it instead of catching anything.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <unistd.h>

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the held descriptor; returns close()'s result (0 when empty).
    int reset(int fd = -1) {
        int r = 0;
        if (fd_ >= 0) r = ::close(fd_);
        fd_ = fd;
        return r;
    }

private:
    int fd_ = -1;
};

template <typename T, int (*Close)(T*)>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T* p) : p_(p) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : p_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T* release() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    // Closes the held handle; returns the close function's result (0 when empty),
    // so a failed fclose (a lost write) can still be seen.
    int reset(T* p = nullptr) {
        int r = 0;
        if (p_) r = Close(p_);
        p_ = p;
        return r;
    }

private:
    T* p_ = nullptr;
};

using UniqueFile = UniqueHandle<FILE, fclose>;
using UniquePipe = UniqueHandle<FILE, pclose>;
using UniqueDir = UniqueHandle<DIR, closedir>;

// A buffer from malloc/calloc/realloc, or a C function's malloc'ed result.
struct FreeDeleter {
    void operator()(void* p) const { free(p); }
};
template <typename T>
using MallocPtr = std::unique_ptr<T, FreeDeleter>;
