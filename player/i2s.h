// Output to the I2S audio device.
#pragma once

#include "player.h"

#include <cstddef>

// The box driver's fixed request numbers (MIPS _IOW('N', nr, int)); written
// out because the build host's _IOW encodes differently.
constexpr unsigned long I2S_VOLUME = 0x80044E20UL;
constexpr unsigned long I2S_FREQ = 0x80044E21UL;
constexpr unsigned long I2S_FORMAT = 0x80044E22UL;
constexpr unsigned long I2S_CHANNEL = 0x80044E23UL;
constexpr unsigned long I2S_MUTE = 0x80044E29UL;

constexpr const char* I2S_DEVICE = "/dev/i2s";

int i2s_open();
int open_audio_output(player_ctx* ctx);
int i2s_setup(int rate, int channels, int bits);
int i2s_set_volume(int volume);
long i2s_write(const void* data, size_t length);
int i2s_close();
int read_volume();
int cached_volume();
int map_volume(int volume);
