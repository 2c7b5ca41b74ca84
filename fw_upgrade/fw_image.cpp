#include "fw_image.h"

#include <cstring>

bool image_checksum_ok(const uint8_t* image) {
    constexpr size_t last = FW_IMAGE_SIZE - 4;
    uint32_t want = load_be32(image + last);
    if (want == 0xFFFFFFFFu) return true;
    uint32_t sum = 0;
    for (size_t i = 0; i < last; i += 4) sum ^= load_be32(image + i);
    return sum == want;
}

void fill_name_mark(char (&mark)[FW_MARK_LEN + 1], const uint8_t* src, size_t n) {
    if (n > FW_MARK_LEN) n = FW_MARK_LEN;
    for (size_t i = 0; i < n; ++i) {
        mark[i] = static_cast<char>(src[i]);
        if (src[i] == 0) break;
    }
    mark[FW_MARK_LEN] = '\0';
}

bool name_mark_ok(const char (&mark)[FW_MARK_LEN + 1]) { return strcmp(mark, FW_MARK) == 0; }
