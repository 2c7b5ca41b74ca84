// Takes over the C library's open, ioctl, write and close for "/dev/i2s":
// either preloaded (LD_PRELOAD=libi2s_standin.so) into an unchanged program,
// or linked straight into a test binary. Every other call passes through to
// the next definition (the C library, or a sanitizer's interceptor).
//
// Both open and open64 are taken over, each passing on to its own. With
// 64-bit file offsets on a 32-bit CPU the C library's headers would make the
// open defined here the symbol open64, which is defined here as well.
#undef _FILE_OFFSET_BITS
#include "standin.h"

#include <cstdarg>
#include <cstdint>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using open_fn = int (*)(const char*, int, ...);
using ioctl_fn = int (*)(int, unsigned long, ...);
using write_fn = ssize_t (*)(int, const void*, size_t);
using close_fn = int (*)(int);
using exit_fn = void (*)(int);

int mode_arg(int flags, va_list ap) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
}

struct Finisher {
    ~Finisher() { standin_finish_all(); }
} s_finisher;

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    if (standin_is_device(path)) return standin_open();
    static open_fn real = next<open_fn>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    if (standin_is_device(path)) return standin_open();
    static open_fn real = next<open_fn>("open64");
    return real(path, flags, mode);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    // The driver takes the integer itself; a pointer passes through as well.
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (standin_owns(fd)) return standin_ioctl(fd, request, long(reinterpret_cast<intptr_t>(arg)));
    static ioctl_fn real = next<ioctl_fn>("ioctl");
    return real(fd, request, arg);
}

ssize_t write(int fd, const void* data, size_t size) {
    if (standin_owns(fd)) return standin_write(fd, data, size);
    static write_fn real = next<write_fn>("write");
    return real(fd, data, size);
}

int close(int fd) {
    if (standin_owns(fd)) return standin_close(fd);
    static close_fn real = next<close_fn>("close");
    return real(fd);
}

// A program that ends with _exit runs no destructors: the WAV of a song
// still playing is completed here instead.
[[noreturn]] void _exit(int status) {
    standin_finish_all(false);
    static exit_fn real = next<exit_fn>("_exit");
    real(status);
    for (;;) {
    }
}

}  // extern "C"
