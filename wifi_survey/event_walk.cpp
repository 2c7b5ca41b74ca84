#include "event_walk.h"

#include <cstring>

#include "ap_list.h"
#include "elements.h"

namespace {

// The payload of a point event when it lies wholly inside the data.
const char* payload(const iw_event& iwe, const char* data, size_t len) {
    const char* p = static_cast<const char*>(iwe.u.data.pointer);
    if (!p || p < data || p > data + len) return nullptr;
    if (iwe.u.data.length > size_t(data + len - p)) return nullptr;
    return p;
}

void take_essid(CellRecord& rec, const iw_event& iwe, const char* data, size_t len) {
    char copy[ESSID_COPY_MAX + 1] = {};
    const char* p = payload(iwe, data, len);
    if (p && iwe.u.data.length) {
        size_t n = iwe.u.data.length < ESSID_COPY_MAX ? iwe.u.data.length : ESSID_COPY_MAX;
        memcpy(copy, p, n);
    }
    if (iwe.u.data.flags == 0)
        rec.name[0] = '\0';
    else
        memcpy(rec.name, copy, sizeof rec.name);
}

}  // namespace

void walk_scan_events(char* data, size_t len, const iw_range& range, CellRecord& rec,
                      ApList& list) {
    clear_security(rec);
    int cell = 1;
    stream_descr stream;
    iw_event iwe;
    memset(&iwe, 0, sizeof iwe);
    iw_init_event_stream(&stream, data, int(len));
    while (iw_extract_event_stream(&stream, &iwe, range.we_version_compiled) > 0) {
        switch (iwe.cmd) {
        case SIOCGIWAP:
            if (cell != 1) {
                write_out(rec, list);
                clear_security(rec);
            }
            store_address(rec, iwe.u.ap_addr);
            ++cell;
            break;
        case SIOCGIWFREQ:
            rec.channel = iw_freq_to_channel(iw_freq2float(&iwe.u.freq), &range);
            break;
        case SIOCGIWESSID:
            take_essid(rec, iwe, data, len);
            break;
        case SIOCGIWENCODE:
            if (!(iwe.u.data.flags & IW_ENCODE_DISABLED)) rec.encrypted = true;
            break;
        case IWEVQUAL:
            apply_signal(rec, iwe.u.qual, range);
            break;
        case IWEVGENIE: {
            const char* p = payload(iwe, data, len);
            if (p)
                parse_elements(reinterpret_cast<const unsigned char*>(p), iwe.u.data.length,
                               &rec.security, &rec.cipher);
            break;
        }
        default:
            break;
        }
    }
    if (cell != 1) write_out(rec, list);
    list.close();
}
