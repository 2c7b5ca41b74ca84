// Move-only owners for the C handles the programs use. An empty handle is
// the failure value: callers test it instead of catching anything.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <unistd.h>

// Whether a value holds a handle: a descriptor is one from 0 up.
inline bool handle_held(int fd) { return fd >= 0; }
template <typename T>
bool handle_held(T* p) {
    return p != nullptr;
}

// One owner for every handle a close function frees; Empty holds none.
template <typename T, T Empty, int (*Close)(T)>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T v) : v_(v) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& o) noexcept : v_(o.release()) {}
    UniqueResource& operator=(UniqueResource&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    T get() const { return v_; }
    explicit operator bool() const { return handle_held(v_); }
    T release() {
        T v = v_;
        v_ = Empty;
        return v;
    }
    // Closes the held handle; returns the close function's result (0 when empty),
    // so a failed fclose or close (a lost write) can still be seen.
    int reset(T v = Empty) {
        int r = 0;
        if (handle_held(v_)) r = Close(v_);
        v_ = v;
        return r;
    }

private:
    T v_ = Empty;
};

using UniqueFd = UniqueResource<int, -1, ::close>;
template <typename T, int (*Close)(T*)>
using UniqueHandle = UniqueResource<T*, nullptr, Close>;

using UniqueFile = UniqueHandle<FILE, fclose>;
using UniquePipe = UniqueHandle<FILE, pclose>;
using UniqueDir = UniqueHandle<DIR, closedir>;

// The owner of a C object that a free function without a result releases.
template <typename T, void (*Free)(T*)>
struct CFree {
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using CPtr = std::unique_ptr<T, CFree<T, Free>>;

// A buffer from malloc/calloc/realloc, or a C function's malloc'ed result.
template <typename T>
using MallocPtr = std::unique_ptr<T, CFree<void, free>>;
