#include "standin.h"

#include "sample_order.h"
#include "wav_header.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// The stand-in's own opens, writes and closes go through raw system calls,
// so that they never come back through the functions it takes over (open,
// write, close); offsets go through the C library, which passes a 64-bit
// offset as each CPU's calling convention wants it.
namespace {

constexpr unsigned long REQ_VOLUME = 0x80044E20UL;
constexpr unsigned long REQ_FREQ = 0x80044E21UL;
constexpr unsigned long REQ_FORMAT = 0x80044E22UL;
constexpr unsigned long REQ_CHANNEL = 0x80044E23UL;
constexpr unsigned long REQ_MUTE = 0x80044E29UL;
// How far the writer may run ahead of playback, like the driver's ring.
constexpr double BUFFER_SEC = 0.25;
constexpr int MAX_OPEN = 8;

struct Settings {
    char dir[512];
    double speed;
    bool discard;
    long partial;
    long fail_open;
    char fail_request[16];
    long long fail_write_after;
    long long stall_after;
    bool fail_close;
};

struct Opening {
    int fd;  // 0: slot free
    char name[32];
    Settings set;
    unsigned rate, channels, bits;
    unsigned long long bytes;
    bool stalled;       // "write took nothing" journaled
    SampleCarry carry;  // a sample split between writes, big-endian CPU only
    double play_end;    // monotonic time at which what was taken has played
};

pthread_mutex_t s_lock = PTHREAD_MUTEX_INITIALIZER;
Opening s_open[MAX_OPEN];
long s_failed_opens;
long s_fail_open_seen;

long raw_open(const char* path, int flags, int mode) {
    return syscall(SYS_openat, AT_FDCWD, path, flags | O_CLOEXEC, mode);
}
void raw_write_all(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        long n = syscall(SYS_write, fd, p, size);
        if (n <= 0) return;
        p += n;
        size -= size_t(n);
    }
}

long env_long(const char* name, long fallback) {
    const char* v = getenv(name);
    return v && *v ? strtol(v, nullptr, 10) : fallback;
}

Settings read_settings() {
    Settings s{};
    const char* dir = getenv("BOX_I2S_DIR");
    struct stat st;
    if (!dir || !*dir) dir = stat("/box/out", &st) == 0 ? "/box/out/i2s" : "/tmp/i2s";
    snprintf(s.dir, sizeof s.dir, "%s", dir);
    const char* speed = getenv("BOX_I2S_SPEED");
    s.speed = speed && *speed ? strtod(speed, nullptr) : 1.0;
    s.discard = env_long("BOX_I2S_DISCARD", 0) == 1;
    s.partial = env_long("BOX_I2S_PARTIAL", 0);
    s.fail_open = env_long("BOX_I2S_FAIL_OPEN", 0);
    const char* req = getenv("BOX_I2S_FAIL_REQUEST");
    snprintf(s.fail_request, sizeof s.fail_request, "%s", req ? req : "");
    s.fail_write_after = env_long("BOX_I2S_FAIL_WRITE_AFTER", -1);
    s.stall_after = env_long("BOX_I2S_STALL_AFTER", -1);
    s.fail_close = env_long("BOX_I2S_FAIL_CLOSE", 0) == 1;
    return s;
}

void journal(const Settings& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void journal(const Settings& s, const char* fmt, ...) {
    char path[600];
    snprintf(path, sizeof path, "%s/journal", s.dir);
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(line, sizeof line - 1, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (n > int(sizeof line) - 2) n = int(sizeof line) - 2;
    line[n++] = '\n';
    long fd = raw_open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    raw_write_all(int(fd), line, size_t(n));
    syscall(SYS_close, fd);
}

double now_sec() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

Opening* find(int fd) {
    for (Opening& o : s_open)
        if (o.fd != 0 && o.fd == fd) return &o;
    return nullptr;
}

// Takes s_lock and returns fd's opening; for an unknown fd the lock is
// released again and errno is EBADF.
Opening* lock_opening(int fd) {
    pthread_mutex_lock(&s_lock);
    Opening* o = find(fd);
    if (!o) {
        pthread_mutex_unlock(&s_lock);
        errno = EBADF;
    }
    return o;
}

const char* request_name(unsigned long request) {
    switch (request) {
    case REQ_VOLUME:
        return "VOLUME";
    case REQ_FREQ:
        return "FREQ";
    case REQ_FORMAT:
        return "FORMAT";
    case REQ_CHANNEL:
        return "CHANNEL";
    case REQ_MUTE:
        return "MUTE";
    }
    return nullptr;
}

void write_header(const Opening& o) {
    uint8_t h[WAV_HEADER_SIZE];
    unsigned long long data = o.set.discard ? 0 : o.bytes > 0xFFFFFFD0ULL ? 0xFFFFFFD0ULL : o.bytes;
    wav_header(h, o.rate, uint16_t(o.channels), uint16_t(o.bits ? o.bits : 16), uint32_t(data));
    if (pwrite(o.fd, h, sizeof h, 0) != ssize_t(sizeof h)) {
        // Nothing to tell: the journal shows what the device took.
    }
}

// The WAV file holds little-endian samples whatever the CPU.
void write_samples(Opening& o, const uint8_t* data, size_t size) {
    if (!cpu_is_big_endian()) {
        raw_write_all(o.fd, data, size);
        return;
    }
    uint8_t out[4096 + sizeof o.carry.bytes];
    while (size > 0) {
        size_t n = size < 4096 ? size : 4096;
        raw_write_all(o.fd, out, reverse_samples(o.carry, o.bits / 8, data, n, out));
        data += n;
        size -= n;
    }
}

// Claims the next free pcm-N.wav in the directory.
long create_wav(const Settings& s, char* name, size_t name_size) {
    char path[600];
    for (int n = 1; n < 100000; n++) {
        snprintf(name, name_size, "pcm-%d.wav", n);
        snprintf(path, sizeof path, "%s/%s", s.dir, name);
        long fd = raw_open(path, O_RDWR | O_CREAT | O_EXCL, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool standin_is_device(const char* path) { return path && strcmp(path, "/dev/i2s") == 0; }

bool standin_owns(int fd) {
    pthread_mutex_lock(&s_lock);
    bool r = find(fd) != nullptr;
    pthread_mutex_unlock(&s_lock);
    return r;
}

int standin_open() {
    Settings s = read_settings();
    mkdir(s.dir, 0755);
    pthread_mutex_lock(&s_lock);
    if (s.fail_open != s_fail_open_seen) s_failed_opens = 0;  // a new count starts
    s_fail_open_seen = s.fail_open;
    Opening* slot = nullptr;
    for (Opening& o : s_open)
        if (o.fd == 0) {
            slot = &o;
            break;
        }
    if (s_failed_opens < s.fail_open || !slot) {
        s_failed_opens++;
        pthread_mutex_unlock(&s_lock);
        journal(s, "open failed");
        errno = ENODEV;
        return -1;
    }
    char name[32];
    long fd = create_wav(s, name, sizeof name);
    if (fd < 0) {
        pthread_mutex_unlock(&s_lock);
        journal(s, "open failed");
        errno = ENODEV;
        return -1;
    }
    *slot = Opening{};
    slot->fd = int(fd);
    slot->set = s;
    snprintf(slot->name, sizeof slot->name, "%s", name);
    slot->bits = 16;
    write_header(*slot);
    lseek(slot->fd, off_t(WAV_HEADER_SIZE), SEEK_SET);
    pthread_mutex_unlock(&s_lock);
    journal(s, "open %s", name);
    return int(fd);
}

int standin_ioctl(int fd, unsigned long request, long arg) {
    Opening* o = lock_opening(fd);
    if (!o) return -1;
    Settings s = o->set;
    const char* name = request_name(request);
    int result = 0;
    if (!name) {
        result = -1;
        errno = ENOTTY;
    } else if (strcmp(name, s.fail_request) == 0) {
        result = -1;
        errno = EIO;
    } else if (request == REQ_FREQ) {
        o->rate = unsigned(arg);
    } else if (request == REQ_CHANNEL) {
        o->channels = unsigned(arg);
    } else if (request == REQ_FORMAT) {
        // A sample split under the old width is kept as it came.
        raw_write_all(o->fd, o->carry.bytes, o->carry.have);
        o->carry.have = 0;
        o->bits = unsigned(arg);
    }
    if (result == 0 && request != REQ_VOLUME && request != REQ_MUTE) write_header(*o);
    pthread_mutex_unlock(&s_lock);
    if (!name)
        journal(s, "request 0x%lx refused", request);
    else
        journal(s, "%s %ld%s", name, arg, result < 0 ? " failed" : "");
    return result;
}

ssize_t standin_write(int fd, const void* data, size_t size) {
    Opening* o = lock_opening(fd);
    if (!o) return -1;
    const Settings& s = o->set;
    if (s.fail_write_after >= 0 && o->bytes >= (unsigned long long)s.fail_write_after) {
        Settings copy = s;
        pthread_mutex_unlock(&s_lock);
        journal(copy, "write failed");
        errno = EIO;
        return -1;
    }
    if (s.stall_after >= 0 && o->bytes >= (unsigned long long)s.stall_after) {
        bool first = !o->stalled;
        o->stalled = true;
        Settings copy = s;
        pthread_mutex_unlock(&s_lock);
        if (first) journal(copy, "write took nothing");
        return 0;
    }
    if (s.partial > 0 && size > size_t(s.partial)) size = size_t(s.partial);
    if (!s.discard) write_samples(*o, static_cast<const uint8_t*>(data), size);
    o->bytes += size;
    double wait = 0;
    unsigned long long per_sec = (unsigned long long)o->rate * o->channels * (o->bits / 8);
    if (s.speed > 0 && per_sec > 0) {
        double t = now_sec();
        if (o->play_end < t) o->play_end = t;
        o->play_end += double(size) / double(per_sec) / s.speed;
        wait = o->play_end - t - BUFFER_SEC / s.speed;
    }
    pthread_mutex_unlock(&s_lock);
    if (wait > 0) {
        timespec ts{time_t(wait), long((wait - double(time_t(wait))) * 1e9)};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
    return ssize_t(size);
}

int standin_close(int fd) {
    Opening* o = lock_opening(fd);
    if (!o) return -1;
    // Bytes of a sample never completed are kept as they came.
    raw_write_all(o->fd, o->carry.bytes, o->carry.have);
    write_header(*o);
    Settings s = o->set;
    char name[32];
    memcpy(name, o->name, sizeof name);
    unsigned long long bytes = o->bytes;
    int r = int(syscall(SYS_close, fd));
    o->fd = 0;
    pthread_mutex_unlock(&s_lock);
    // As Linux does on an I/O error: the number is released all the same.
    if (r == 0 && s.fail_close) {
        r = -1;
        errno = EIO;
    }
    journal(s, "close %s %llu%s", name, bytes, r < 0 ? " failed" : "");
    return r;
}

void standin_finish_all(bool wait) {
    if (!wait) {
        if (pthread_mutex_trylock(&s_lock) != 0) return;
    } else {
        pthread_mutex_lock(&s_lock);
    }
    for (Opening& o : s_open)
        if (o.fd != 0) write_header(o);
    pthread_mutex_unlock(&s_lock);
}
