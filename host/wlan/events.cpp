#include "events.h"

#include <cstddef>
#include <cstring>
#include <linux/wireless.h>
#include <net/if_arp.h>

#include "scenario.h"

namespace {

// The header as the kernel copies it: length and command, then zeros up to
// where the event's union starts in this process's struct iw_event.
void add_header(std::string& out, size_t len, uint16_t cmd) {
    char head[IW_EV_LCP_LEN] = {};
    uint16_t l = static_cast<uint16_t>(len);
    memcpy(head, &l, 2);
    memcpy(head + 2, &cmd, 2);
    out.append(head, sizeof head);
}

template <typename T>
void add_fixed(std::string& out, uint16_t cmd, const T& value, size_t len) {
    add_header(out, len, cmd);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Older range record layout (before version 16): shorter lists, and the
// frequency list right after the channel counts.
constexpr int IW15_MAX_FREQUENCIES = 16;
constexpr int IW15_MAX_BITRATES = 8;
constexpr int IW15_MAX_ENCODING_SIZES = 8;
constexpr int IW15_MAX_TXPOWER = 8;
struct iw15_range {
    uint32_t throughput;
    uint32_t min_nwid;
    uint32_t max_nwid;
    uint16_t num_channels;
    uint8_t num_frequency;
    struct iw_freq freq[IW15_MAX_FREQUENCIES];
    int32_t sensitivity;
    struct iw_quality max_qual;
    uint8_t num_bitrates;
    int32_t bitrate[IW15_MAX_BITRATES];
    int32_t min_rts, max_rts;
    int32_t min_frag, max_frag;
    int32_t min_pmp, max_pmp;
    int32_t min_pmt, max_pmt;
    uint16_t pmp_flags, pmt_flags, pm_capa;
    uint16_t encoding_size[IW15_MAX_ENCODING_SIZES];
    uint8_t num_encoding_sizes;
    uint8_t max_encoding_tokens;
    uint16_t txpower_capa;
    uint8_t num_txpower;
    int32_t txpower[IW15_MAX_TXPOWER];
    uint8_t we_version_compiled;
    uint8_t we_version_source;
    uint16_t retry_capa, retry_flags, r_time_flags;
    int32_t min_retry, max_retry;
    int32_t min_r_time, max_r_time;
    struct iw_quality avg_qual;
};

constexpr int CHANNELS = 13;

template <typename R>
void fill_common(R& r, const WlanScenario& s) {
    r.num_channels = CHANNELS;
    r.num_frequency = CHANNELS;
    for (int k = 0; k < CHANNELS; ++k) {
        r.freq[k].m = 2412 + 5 * k;
        r.freq[k].e = 6;
        r.freq[k].i = static_cast<uint8_t>(k + 1);
    }
    r.max_qual.qual = static_cast<uint8_t>(s.max_qual[0]);
    r.max_qual.level = static_cast<uint8_t>(s.max_qual[1]);
    r.max_qual.noise = static_cast<uint8_t>(s.max_qual[2]);
    r.we_version_compiled = static_cast<uint8_t>(s.we_version);
    r.we_version_source = static_cast<uint8_t>(s.we_version);
}

}  // namespace

void add_address_event(std::string& out, const uint8_t mac[6]) {
    struct sockaddr sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_family = ARPHRD_ETHER;
    memcpy(sa.sa_data, mac, 6);
    add_fixed(out, SIOCGIWAP, sa, IW_EV_ADDR_LEN);
}

void add_freq_event(std::string& out, int32_t m, int16_t e) {
    struct iw_freq f;
    memset(&f, 0, sizeof f);
    f.m = m;
    f.e = e;
    add_fixed(out, SIOCGIWFREQ, f, IW_EV_FREQ_LEN);
}

void add_quality_event(std::string& out, uint8_t qual, uint8_t level, uint8_t noise,
                       uint8_t flags) {
    struct iw_quality q = {qual, level, noise, flags};
    add_fixed(out, IWEVQUAL, q, IW_EV_QUAL_LEN);
}

void add_point_event(std::string& out, uint16_t cmd, const std::string& payload, uint16_t length,
                     uint16_t flags) {
    // Length and flags where they sit in struct iw_point, without the
    // pointer before them; the payload follows the padded fixed part.
    add_header(out, IW_EV_POINT_LEN + payload.size(), cmd);
    char fixed[IW_EV_POINT_LEN - IW_EV_LCP_LEN] = {};
    memcpy(fixed, &length, 2);
    memcpy(fixed + 2, &flags, 2);
    out.append(fixed, sizeof fixed);
    out += payload;
}

std::string range_record(const WlanScenario& s) {
    if (s.we_version >= 16) {
        struct iw_range r;
        memset(&r, 0, sizeof r);
        fill_common(r, s);
        return std::string(reinterpret_cast<const char*>(&r), sizeof r);
    }
    struct iw15_range r;
    memset(&r, 0, sizeof r);
    fill_common(r, s);
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}
