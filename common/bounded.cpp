#include "bounded.h"

#include <cstring>

size_t copy_bounded(char* dst, size_t n, const char* src) {
    return copy_bounded_n(dst, n, src, strlen(src));
}

size_t copy_bounded_n(char* dst, size_t n, const char* src, size_t len) {
    if (n == 0) return len;
    size_t k = len < n - 1 ? len : n - 1;
    memcpy(dst, src, k);
    dst[k] = '\0';
    return len;
}
