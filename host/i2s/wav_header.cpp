#include "wav_header.h"

#include <cstring>

static void le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
static void le16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void wav_header(uint8_t out[WAV_HEADER_SIZE], uint32_t rate, uint16_t channels, uint16_t bits,
                uint32_t data_bytes) {
    uint16_t block = uint16_t(channels * (bits / 8));
    memcpy(out, "RIFF", 4);
    le32(out + 4, 36 + data_bytes);
    memcpy(out + 8, "WAVEfmt ", 8);
    le32(out + 16, 16);
    le16(out + 20, 1);  // integer PCM
    le16(out + 22, channels);
    le32(out + 24, rate);
    le32(out + 28, rate * block);
    le16(out + 32, block);
    le16(out + 34, bits);
    memcpy(out + 36, "data", 4);
    le32(out + 40, data_bytes);
}
