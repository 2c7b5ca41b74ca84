// Tests of an image of FW_IMAGE_SIZE bytes lying anywhere in the body.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fw_consts.h"

// Big-endian word at p, assembled byte by byte: p need not be aligned.
inline uint32_t load_be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// The last word is 0xFFFFFFFF (no checksum carried) or the XOR of all the
// words before it.
bool image_checksum_ok(const uint8_t* image);

// Fills mark (FW_MARK_LEN characters and a zero) from n <= FW_MARK_LEN bytes
// of src, stopping at a zero byte; bytes past n keep what mark held.
void fill_name_mark(char (&mark)[FW_MARK_LEN + 1], const uint8_t* src, size_t n);

bool name_mark_ok(const char (&mark)[FW_MARK_LEN + 1]);
