// Output to the I2S audio device.
//
// Locking: open_audio_output, i2s_setup, i2s_write and i2s_close run with
// g_player_lock held by their caller (the engine's play/stop sequences and
// the decode step). i2s_set_volume comes from the playlist thread and takes
// g_player_lock itself, so that it never sends a request to a descriptor
// that a stop is closing at the same moment: call it without the lock.
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

// Opens the device write-only; g_i2s_fd gets the descriptor or 0.
int i2s_open() REQUIRES(g_player_lock);
// Opens (one retry after 4 s, else exit status 1) and configures the device
// for ctx's codec.
int open_audio_output(player_ctx* ctx) REQUIRES(g_player_lock);
int i2s_setup(int rate, int channels, int bits) REQUIRES(g_player_lock);
int i2s_set_volume(int volume) TAKES_PLAYER_LOCK;
long i2s_write(const void* data, size_t length) REQUIRES(g_player_lock);
int i2s_close() REQUIRES(g_player_lock);
// <volume> from the play-state file (kept in g_volume_str), clamped 0..100.
int read_volume() REQUIRES(g_player_lock);
// g_volume_str clamped 0..100, without reading the file.
int cached_volume() REQUIRES(g_player_lock);
// The volume as the driver is sent it: 1..79 in steps of 5 from 45 to 80.
int map_volume(int volume);
