#include "sample_order.h"

#include <cstring>

bool cpu_is_big_endian() {
    const uint16_t one = 1;
    uint8_t first;
    memcpy(&first, &one, 1);
    return first == 0;
}

size_t reverse_samples(SampleCarry& carry, unsigned width, const uint8_t* in, size_t n,
                       uint8_t* out) {
    if (width < 2 || width > sizeof carry.bytes) {
        memcpy(out, carry.bytes, carry.have);
        memcpy(out + carry.have, in, n);
        size_t total = carry.have + n;
        carry.have = 0;
        return total;
    }
    size_t put = 0;
    for (size_t i = 0; i < n; i++) {
        carry.bytes[carry.have++] = in[i];
        if (carry.have < width) continue;
        for (unsigned b = 0; b < width; b++) out[put++] = carry.bytes[width - 1 - b];
        carry.have = 0;
    }
    return put;
}
