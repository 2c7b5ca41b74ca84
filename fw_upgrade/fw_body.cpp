#include "fw_body.h"

#include <cstring>

#include "bounded.h"

namespace {

struct TypeRule {
    const char* mark;
    size_t skip;  // the mark, then the "\r\n" of the empty line
};

constexpr TypeRule TYPE_RULES[] = {
    {"/octet-stream\r\n", 17}, {"/x-ns-proxy-autoconfig\r\n", 26},
    {"/macbinary\r\n", 14},    {"/x-macbinary\r\n", 16},
    {"/plain\r\n", 10},
};

constexpr const char* FILENAME_MARK = "filename=";
constexpr const char* NAME_MARK = "name";
constexpr size_t NAME_SKIP = 6;  // name="

size_t text_length(const uint8_t* body, size_t len) {
    const void* zero = memchr(body, 0, len);
    return zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - body) : len;
}

bool filename_rule(const uint8_t* text, size_t len, size_t* start) {
    long at = find_text(text, len, FILENAME_MARK);
    if (at < 0) return false;
    const void* quote = memchr(text + at, '"', len - at);
    if (!quote) {
        *start = static_cast<size_t>(at);
        return true;
    }
    size_t q = static_cast<size_t>(static_cast<const uint8_t*>(quote) - text);
    long eol = find_text(text + q, len - q, "\r\n");
    if (eol < 0) return false;
    *start = q + static_cast<size_t>(eol) + 4;
    return true;
}

}  // namespace

long find_text(const uint8_t* hay, size_t len, const char* needle) {
    size_t n = strlen(needle);
    if (n == 0 || n > len) return n == 0 ? 0 : -1;
    const uint8_t* p = hay;
    const uint8_t* last = hay + (len - n);
    while (p <= last) {
        p = static_cast<const uint8_t*>(memchr(p, needle[0], static_cast<size_t>(last - p) + 1));
        if (!p) return -1;
        if (memcmp(p, needle, n) == 0) return p - hay;
        ++p;
    }
    return -1;
}

bool find_data_start(const uint8_t* body, size_t len, size_t* start) {
    size_t text = text_length(body, len);
    for (const TypeRule& r : TYPE_RULES) {
        long at = find_text(body, text, r.mark);
        if (at >= 0) {
            *start = static_cast<size_t>(at) + r.skip;
            return true;
        }
    }
    return filename_rule(body, text, start);
}

bool locate_image(const uint8_t* body, size_t len, size_t* start) {
    size_t at;
    if (!find_data_start(body, len, &at)) return false;
    if (at > len || len - at < FW_IMAGE_SIZE) return false;
    *start = at;
    return true;
}

size_t capture_field_name(const uint8_t* body, size_t len, char (&name)[FW_NAME_MAX + 1]) {
    name[0] = '\0';
    size_t text = text_length(body, len);
    long at = find_text(body, text, NAME_MARK);
    if (at < 0 || text - static_cast<size_t>(at) < NAME_SKIP) return 0;
    size_t from = static_cast<size_t>(at) + NAME_SKIP;
    const void* quote = memchr(body + from, '"', text - from);
    if (!quote) return 0;
    size_t n = static_cast<size_t>(static_cast<const uint8_t*>(quote) - (body + from));
    copy_bounded_n(name, sizeof name, reinterpret_cast<const char*>(body + from), n);
    return strlen(name);
}
