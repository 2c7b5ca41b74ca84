// Takes over ioctl for the wireless-extension requests on "wlan1": either
// preloaded (LD_PRELOAD=libwlan_standin.so) into an unchanged program, or
// linked straight into a test binary. Every other call passes through.
#include <cstdarg>
#include <cstdint>
#include <dlfcn.h>

#include "standin.h"

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (wlan_standin_owns(request, arg)) return wlan_standin_ioctl(request, arg);
    using ioctl_fn = int (*)(int, unsigned long, ...);
    static ioctl_fn real = reinterpret_cast<ioctl_fn>(dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, arg);
}
