#include "instance_config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void config_init(InstanceConfig& s, const char* name) {
    memset(&s, 0, sizeof s);
    snprintf(s.name, sizeof s.name, "%s", name);
    s.term_timeout = DEFAULT_TERM_TIMEOUT;
}

bool config_equal(const InstanceConfig& a, const InstanceConfig& b) {
    if (a.argc != b.argc || a.envc != b.envc || a.respawn != b.respawn ||
        a.log_stdout != b.log_stdout || a.log_stderr != b.log_stderr ||
        a.term_timeout != b.term_timeout)
        return false;
    if (a.respawn && (a.threshold != b.threshold || a.timeout != b.timeout || a.retry != b.retry))
        return false;
    for (size_t i = 0; i < a.argc; ++i)
        if (strcmp(a.arg(i), b.arg(i)) != 0) return false;
    for (size_t i = 0; i < a.envc; ++i)
        if (strcmp(a.env_at(i), b.env_at(i)) != 0) return false;
    return true;
}

namespace {

bool add_word(InstanceConfig& s, unsigned short* slots, size_t& count, size_t max, const char* w,
              size_t n) {
    if (count >= max || s.text_len + n + 1 > sizeof s.text) return false;
    slots[count++] = static_cast<unsigned short>(s.text_len);
    memcpy(s.text + s.text_len, w, n);
    s.text[s.text_len + n] = '\0';
    s.text_len += n + 1;
    return true;
}

// Up to three integers in `rest` (not NUL-terminated) into vals; missing or
// malformed ones keep what vals holds.
void parse_ints(const char* rest, size_t n, int* vals, int count) {
    char buf[64];
    if (n >= sizeof buf) n = sizeof buf - 1;
    memcpy(buf, rest, n);
    buf[n] = '\0';
    char* p = buf;
    for (int i = 0; i < count; ++i) {
        char* end;
        long v = strtol(p, &end, 10);
        if (end == p) break;
        if (v >= 0 && v <= 1000000) vals[i] = static_cast<int>(v);
        p = end;
    }
}

void parse_respawn(InstanceConfig& s, const char* rest, size_t n) {
    int vals[3] = {DEFAULT_RESPAWN_THRESHOLD, DEFAULT_RESPAWN_TIMEOUT, DEFAULT_RESPAWN_RETRY};
    parse_ints(rest, n, vals, 3);
    s.respawn = true;
    s.threshold = vals[0];
    s.timeout = vals[1];
    s.retry = vals[2];
}

}  // namespace

int parse_instances(const char* text, size_t len, InstanceConfig* out, size_t max,
                    const char** err) {
    size_t count = 0;
    InstanceConfig* cur = nullptr;
    size_t pos = 0;
    while (pos < len) {
        const char* line = text + pos;
        const char* nl = static_cast<const char*>(memchr(line, '\n', len - pos));
        size_t n = nl ? static_cast<size_t>(nl - line) : len - pos;
        pos += n + 1;
        if (memchr(line, '\0', n)) {
            *err = "NUL byte in the request";
            return -1;
        }
        const char* sp = static_cast<const char*>(memchr(line, ' ', n));
        size_t wlen = sp ? static_cast<size_t>(sp - line) : n;
        const char* rest = sp ? sp + 1 : line + n;
        size_t rlen = n - (sp ? wlen + 1 : wlen);
        auto is = [&](const char* w) { return wlen == strlen(w) && memcmp(line, w, wlen) == 0; };
        if (is("instance")) {
            if (count >= max) {
                *err = "too many instances";
                return -1;
            }
            cur = &out[count++];
            char name[NAME_MAX_LEN];
            if (rlen == 0)
                snprintf(name, sizeof name, "instance%zu", count);
            else if (rlen < sizeof name)
                snprintf(name, sizeof name, "%.*s", static_cast<int>(rlen), rest);
            else {
                *err = "instance name too long";
                return -1;
            }
            config_init(*cur, name);
        } else if (!cur) {
            continue;
        } else if (is("arg")) {
            if (!add_word(*cur, cur->argv, cur->argc, ARGS_MAX, rest, rlen)) {
                *err = "command too long";
                return -1;
            }
        } else if (is("env")) {
            if (!memchr(rest, '=', rlen)) continue;
            if (!add_word(*cur, cur->env, cur->envc, ENVS_MAX, rest, rlen)) {
                *err = "environment too long";
                return -1;
            }
        } else if (is("respawn")) {
            parse_respawn(*cur, rest, rlen);
        } else if (is("stdout")) {
            cur->log_stdout = rlen == 1 && rest[0] == '1';
        } else if (is("stderr")) {
            cur->log_stderr = rlen == 1 && rest[0] == '1';
        } else if (is("term_timeout")) {
            int v = 0;
            parse_ints(rest, rlen, &v, 1);
            if (v > 0) cur->term_timeout = v;
        }
    }
    return static_cast<int>(count);
}
