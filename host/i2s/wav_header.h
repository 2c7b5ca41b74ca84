// The 44-byte header of a PCM WAV file.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t WAV_HEADER_SIZE = 44;

// Fills out with a little-endian RIFF/WAVE header for data_bytes of PCM.
void wav_header(uint8_t out[WAV_HEADER_SIZE], uint32_t rate, uint16_t channels, uint16_t bits,
                uint32_t data_bytes);
