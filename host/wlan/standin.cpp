#include "standin.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <linux/wireless.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "events.h"
#include "scenario.h"

namespace {

struct State {
    std::string dir;
    std::string text;
    bool loaded = false;
    WlanScenario scenario;
    int reads = 0;  // reads since the last trigger (or scenario change)
};

std::mutex s_lock;
State s_state;

std::string wlan_dir() {
    const char* d = getenv("BOX_WLAN_DIR");
    if (d && *d) return d;
    return access("/box/out", F_OK) == 0 ? "/box/out/wlan" : "/tmp/wlan";
}

void journal(const State& st, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void journal(const State& st, const char* fmt, ...) {
    FILE* f = fopen((st.dir + "/journal").c_str(), "a");
    if (!f) return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    fprintf(f, "%ld.%03ld ", long(now.tv_sec), now.tv_nsec / 1000000);
    va_list ap;
    va_start(ap, fmt);
    vfprintf(f, fmt, ap);
    va_end(ap);
    fputc('\n', f);
    fclose(f);
}

std::string read_file(const std::string& path, bool* exists) {
    std::string text;
    FILE* f = fopen(path.c_str(), "r");
    *exists = f != nullptr;
    if (!f) return text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    fclose(f);
    return text;
}

// Reads the scenario again when the folder or the file's text changed (the
// text itself is compared: a rewrite within one clock tick keeps the file's
// time). A missing file is a driver with a range record and nothing in the air.
void refresh(State& st) {
    std::string dir = wlan_dir();
    bool exists = false;
    std::string text = read_file(dir + "/scenario", &exists);
    if (st.loaded && dir == st.dir && text == st.text) return;
    st.dir = dir;
    st.text = text;
    st.loaded = true;
    st.reads = 0;
    mkdir(dir.c_str(), 0755);
    st.scenario = parse_scenario(text);
    journal(st, "scenario %s (%zu bytes of events)", exists ? "loaded" : "missing",
            st.scenario.events.size());
    std::string& errors = st.scenario.errors;
    if (!errors.empty()) journal(st, "%.*s", int(errors.size() - 1), errors.c_str());
}

int refuse(int err) {
    errno = err;
    return -1;
}

int get_range(State& st, iwreq* wrq) {
    const WlanScenario& s = st.scenario;
    if (!s.has_range) {
        journal(st, "SIOCGIWRANGE size %u EOPNOTSUPP", wrq->u.data.length);
        return refuse(EOPNOTSUPP);
    }
    std::string r = range_record(s);
    unsigned given = wrq->u.data.length;
    if (!wrq->u.data.pointer) return refuse(EFAULT);
    if (given < r.size()) {
        journal(st, "SIOCGIWRANGE size %u E2BIG", given);
        return refuse(E2BIG);
    }
    memcpy(wrq->u.data.pointer, r.data(), r.size());
    wrq->u.data.length = static_cast<uint16_t>(r.size());
    journal(st, "SIOCGIWRANGE size %u ok we %d", given, s.we_version);
    return 0;
}

int trigger(State& st) {
    st.reads = 0;
    int err = st.scenario.trigger_errno;
    journal(st, "SIOCSIWSCAN %s", err ? errno_name(err) : "ok");
    return err ? refuse(err) : 0;
}

int get_scan(State& st, iwreq* wrq) {
    const WlanScenario& s = st.scenario;
    unsigned given = wrq->u.data.length;
    int n = st.reads++;
    if (n < s.eagain) {
        journal(st, "SIOCGIWSCAN size %u EAGAIN", given);
        return refuse(EAGAIN);
    }
    if (n < s.eagain + s.e2big) {
        // Without a hint the length field is left as the caller set it.
        if (s.e2big_hint) wrq->u.data.length = static_cast<uint16_t>(s.e2big_hint);
        journal(st, "SIOCGIWSCAN size %u E2BIG hint %d", given, s.e2big_hint);
        return refuse(E2BIG);
    }
    if (s.read_errno) {
        journal(st, "SIOCGIWSCAN size %u %s", given, errno_name(s.read_errno));
        return refuse(s.read_errno);
    }
    size_t need = s.events.size();
    if (need > given) {
        unsigned hint = 0;
        if (s.size_hint && need <= 0xFFFF) {
            hint = unsigned(need);
            wrq->u.data.length = static_cast<uint16_t>(need);
        }
        journal(st, "SIOCGIWSCAN size %u E2BIG hint %u", given, hint);
        return refuse(E2BIG);
    }
    if (need && !wrq->u.data.pointer) return refuse(EFAULT);
    if (need) memcpy(wrq->u.data.pointer, s.events.data(), need);
    wrq->u.data.length = static_cast<uint16_t>(need);
    journal(st, "SIOCGIWSCAN size %u ok %zu", given, need);
    return 0;
}

}  // namespace

bool wlan_standin_owns(unsigned long request, const void* arg) {
    if (request < SIOCIWFIRST || request > SIOCIWLAST || !arg) return false;
    const iwreq* wrq = static_cast<const iwreq*>(arg);
    return strncmp(wrq->ifr_name, WLAN_STANDIN_IFNAME, IFNAMSIZ) == 0;
}

int wlan_standin_ioctl(unsigned long request, void* arg) {
    std::lock_guard<std::mutex> hold(s_lock);
    State& st = s_state;
    refresh(st);
    iwreq* wrq = static_cast<iwreq*>(arg);
    switch (request) {
    case SIOCGIWNAME:
        snprintf(wrq->u.name, IFNAMSIZ, "IEEE 802.11bgn");
        journal(st, "SIOCGIWNAME ok");
        return 0;
    case SIOCGIWRANGE:
        return get_range(st, wrq);
    case SIOCSIWSCAN:
        return trigger(st);
    case SIOCGIWSCAN:
        return get_scan(st, wrq);
    default:
        journal(st, "request 0x%04lx refused", request);
        return refuse(EOPNOTSUPP);
    }
}
