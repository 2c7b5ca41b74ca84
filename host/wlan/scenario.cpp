#include "scenario.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/wireless.h>

#include "events.h"

namespace {

struct ErrnoName {
    int err;
    const char* name;
};
constexpr ErrnoName ERRNO_NAMES[] = {
    {EPERM, "EPERM"},           {EIO, "EIO"},       {EAGAIN, "EAGAIN"},
    {EBUSY, "EBUSY"},           {EINVAL, "EINVAL"}, {ENODEV, "ENODEV"},
    {E2BIG, "E2BIG"},           {ENOMEM, "ENOMEM"}, {ENETDOWN, "ENETDOWN"},
    {EOPNOTSUPP, "EOPNOTSUPP"}, {EFAULT, "EFAULT"}, {EINTR, "EINTR"},
};

// Splits off the first blank-separated word of rest.
std::string word(std::string& rest) {
    size_t b = rest.find_first_not_of(" \t");
    if (b == std::string::npos) {
        rest.clear();
        return "";
    }
    size_t e = rest.find_first_of(" \t", b);
    std::string w = rest.substr(b, e == std::string::npos ? std::string::npos : e - b);
    rest = e == std::string::npos ? "" : rest.substr(e);
    return w;
}

bool number(const std::string& w, long* v) {
    if (w.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *v = strtol(w.c_str(), &end, 0);
    return errno == 0 && *end == '\0';
}

bool hex_bytes(const std::string& w, std::string* out) {
    out->clear();
    if (w == "-") return true;
    if (w.size() % 2) return false;
    for (size_t i = 0; i < w.size(); i += 2) {
        char pair[3] = {w[i], w[i + 1], 0};
        char* end = nullptr;
        long v = strtol(pair, &end, 16);
        if (*end != '\0' || !isxdigit(static_cast<unsigned char>(pair[0]))) return false;
        *out += static_cast<char>(v);
    }
    return true;
}

bool mac_address(const std::string& w, uint8_t mac[6]) {
    unsigned b[6];
    char tail;
    if (sscanf(w.c_str(), "%x:%x:%x:%x:%x:%x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &tail) !=
        6)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (b[i] > 255) return false;
        mac[i] = static_cast<uint8_t>(b[i]);
    }
    return true;
}

// One line; false when it is not understood.
bool apply_line(WlanScenario& s, const std::string& line) {
    std::string rest = line;
    std::string key = word(rest);
    long v[4] = {};
    if (key.empty() || key[0] == '#') return true;
    if (key == "essid") {
        // The rest of the line after one blank, byte for byte.
        std::string name = rest.empty() ? "" : rest.substr(1);
        add_point_event(s.events, SIOCGIWESSID, name, static_cast<uint16_t>(name.size()), 1);
        return true;
    }
    std::string w1 = word(rest), w2 = word(rest), w3 = word(rest), w4 = word(rest);
    if (key == "range") {
        if (w1 != "on" && w1 != "off") return false;
        s.has_range = w1 == "on";
    } else if (key == "we-version" && number(w1, &v[0])) {
        s.we_version = int(v[0]);
    } else if (key == "max-qual" && number(w1, &v[0]) && number(w2, &v[1]) && number(w3, &v[2])) {
        for (int i = 0; i < 3; ++i) s.max_qual[i] = int(v[i]);
    } else if (key == "trigger") {
        s.trigger_errno = w1 == "ok" ? 0 : errno_from_name(w1);
        return s.trigger_errno >= 0;
    } else if (key == "eagain" && number(w1, &v[0])) {
        s.eagain = int(v[0]);
    } else if (key == "e2big" && number(w1, &v[0])) {
        s.e2big = int(v[0]);
        s.e2big_hint = 0;
        if (w2 == "hint" && number(w3, &v[1]))
            s.e2big_hint = int(v[1]);
        else if (!w2.empty())
            return false;
    } else if (key == "size-hint") {
        if (w1 != "on" && w1 != "off") return false;
        s.size_hint = w1 == "on";
    } else if (key == "read-error") {
        s.read_errno = errno_from_name(w1);
        return s.read_errno >= 0;
    } else if (key == "cell") {
        uint8_t mac[6];
        if (!mac_address(w1, mac)) return false;
        add_address_event(s.events, mac);
    } else if (key == "freq" && number(w1, &v[0])) {
        add_freq_event(s.events, int32_t(v[0]), 6);
    } else if (key == "channel" && number(w1, &v[0])) {
        add_freq_event(s.events, int32_t(v[0]), 0);
    } else if (key == "essid-hex") {
        std::string bytes;
        if (!hex_bytes(w1, &bytes)) return false;
        long flags = 1;
        if (!w2.empty() && !number(w2, &flags)) return false;
        add_point_event(s.events, SIOCGIWESSID, bytes, static_cast<uint16_t>(bytes.size()),
                        static_cast<uint16_t>(flags));
    } else if (key == "encode") {
        long flags = 0;
        if (w1 == "on")
            flags = IW_ENCODE_ENABLED | IW_ENCODE_NOKEY;
        else if (w1 == "off")
            flags = IW_ENCODE_DISABLED | IW_ENCODE_NOKEY;
        else if (!number(w1, &flags))
            return false;
        add_point_event(s.events, SIOCGIWENCODE, "", 0, static_cast<uint16_t>(flags));
    } else if (key == "qual" && number(w1, &v[0]) && number(w2, &v[1]) && number(w3, &v[2])) {
        long flags =
            IW_QUAL_QUAL_UPDATED | IW_QUAL_LEVEL_UPDATED | IW_QUAL_NOISE_INVALID | IW_QUAL_DBM;
        if (!w4.empty() && !number(w4, &flags)) return false;
        add_quality_event(s.events, uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(flags));
    } else if (key == "ie") {
        // Blanks may group the hex digits.
        std::string hex = w1 + w2 + w3 + w4;
        for (std::string w = word(rest); !w.empty(); w = word(rest)) hex += w;
        std::string bytes;
        if (!hex_bytes(hex, &bytes)) return false;
        add_point_event(s.events, IWEVGENIE, bytes, static_cast<uint16_t>(bytes.size()), 0);
    } else {
        return false;
    }
    return true;
}

}  // namespace

int errno_from_name(const std::string& text) {
    for (const ErrnoName& e : ERRNO_NAMES)
        if (text == e.name) return e.err;
    long v;
    if (number(text, &v) && v > 0) return int(v);
    return -1;
}

const char* errno_name(int err) {
    for (const ErrnoName& e : ERRNO_NAMES)
        if (err == e.err) return e.name;
    return "error";
}

WlanScenario parse_scenario(const std::string& text) {
    WlanScenario s;
    size_t pos = 0;
    int line_no = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!apply_line(s, line))
            s.errors += "scenario line " + std::to_string(line_no) + " not understood\n";
    }
    return s;
}
