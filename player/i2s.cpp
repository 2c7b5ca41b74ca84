#include "i2s.h"

#include "bounded.h"
#include "dlog.h"
#include "player_lock.h"
#include "playstate.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/time.h>
}

int i2s_open() {
    int fd = open(I2S_DEVICE, O_WRONLY);
    if (fd == 0) {
        // Descriptor 0 would read as "closed" everywhere: move it up.
        int moved = fcntl(fd, F_DUPFD, 1);
        close(fd);
        fd = moved;
    }
    g_i2s_fd = fd < 0 ? 0 : fd;
    return fd;
}

int open_audio_output(player_ctx* ctx) {
    if (i2s_open() < 0) {
        dlog("open device faild ,try again:\n");
        sleep(4);
        if (i2s_open() < 0) {
            dlog("can't open sound device\n");
            fflush(stdout);
            exit(1);
        }
    }
    ctx->start_time_us = av_gettime();
    const AVCodecContext* c = ctx->codec_ctx;
    int rate = c ? c->sample_rate : 0;
    int channels = c ? c->ch_layout.nb_channels : 0;
    dlog("sample %d, channel %d, formate %d\n", rate, channels, c ? int(c->sample_fmt) : -1);
    i2s_setup(rate, channels, 16);
    return 0;
}

int map_volume(int volume) {
    if (volume >= 1 && volume <= 79) return 80 - ((80 - volume) / 10) * 5;
    return volume;
}

static int request(unsigned long code, int value) REQUIRES(g_player_lock) {
    return ioctl(g_i2s_fd, code, value);
}

int i2s_setup(int rate, int channels, int bits) {
    if (g_i2s_fd == 0) return 0;
    if (request(I2S_FREQ, rate) < 0) {
        dlog("i2s freq err: %d\n", rate);
        return -1;
    }
    if (request(I2S_FORMAT, bits) < 0) {
        dlog("formates err: %d\n", bits);
        return -1;
    }
    if (request(I2S_CHANNEL, channels) < 0) {
        dlog("channel err: %d\n", channels);
        return -1;
    }
    int vol = map_volume(read_volume());
    if (request(I2S_VOLUME, vol) < 0) {
        dlog("vol err: %d\n", vol);
        return -1;
    }
    if (request(I2S_MUTE, 0) < 0) {
        dlog("I2S_MUTE err\n");
        return -1;
    }
    return 0;
}

static int clamp_percent(int v) { return v < 0 ? 0 : v > 100 ? 100 : v; }

int i2s_set_volume(int volume) {
    MutexHold lock(&g_player_lock);
    int r = -1;
    if (g_i2s_fd != 0) {
        // The same 0..100 as at a song's start: the driver is never sent a
        // value outside its scale.
        int vol = map_volume(clamp_percent(volume));
        r = request(I2S_VOLUME, vol);
        if (r < 0) dlog("I2S_VOLUME err: %d\n", vol);
    }
    return r;
}

long i2s_write(const void* data, size_t length) {
    if (g_i2s_fd == 0) {
        dlog("audio alreadly closed!\n");
        fflush(stdout);
        return -1;
    }
    return write(g_i2s_fd, data, length);
}

int i2s_close() {
    if (g_i2s_fd == 0) return 0;
    if (request(I2S_MUTE, 1) < 0) dlog("I2S_MUTE err 111\n");
    // A failed close has released the number all the same, and another
    // thread may get it next: forget it first, so a retry touches nothing.
    int fd = g_i2s_fd;
    g_i2s_fd = 0;
    return close(fd);
}

static int clamp_volume(const char* text) { return clamp_percent(atoi(text)); }

int read_volume() {
    XmlValue value(getxmlVolume());
    if (value) copy_bounded(g_volume_str, sizeof g_volume_str, value.get());
    return clamp_volume(g_volume_str);
}

int cached_volume() { return clamp_volume(g_volume_str); }
