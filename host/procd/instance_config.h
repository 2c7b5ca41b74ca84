// What an init script's start_service describes for one instance, as the
// request text of rc.common carries it, and the parser of that text.
#pragma once

#include <cstddef>

constexpr size_t NAME_MAX_LEN = 64;
constexpr size_t ARGS_MAX = 32;
constexpr size_t ENVS_MAX = 16;
constexpr size_t TEXT_MAX = 2048;  // all words of command and env together
constexpr int DEFAULT_TERM_TIMEOUT = 5;
// `respawn` without values, as procd.sh fills them in.
constexpr int DEFAULT_RESPAWN_THRESHOLD = 3600;
constexpr int DEFAULT_RESPAWN_TIMEOUT = 5;
constexpr int DEFAULT_RESPAWN_RETRY = 5;

struct InstanceConfig {
    char name[NAME_MAX_LEN];
    // Words live in `text`, NUL-separated; argv/env hold offsets into it.
    char text[TEXT_MAX];
    size_t text_len;
    unsigned short argv[ARGS_MAX];
    size_t argc;
    unsigned short env[ENVS_MAX];
    size_t envc;
    bool respawn;
    int threshold, timeout, retry;
    bool log_stdout, log_stderr;
    int term_timeout;

    const char* arg(size_t i) const { return text + argv[i]; }
    const char* env_at(size_t i) const { return text + env[i]; }
};

void config_init(InstanceConfig& s, const char* name);
bool config_equal(const InstanceConfig& a, const InstanceConfig& b);

// Parses the instance lines of a "set" request (the text after its first
// line): "instance NAME", "arg WORD", "respawn T TO R", "stdout 1",
// "stderr 1", "term_timeout S", "env NAME=VALUE", "end". Fills up to `max`
// configs and returns their number, or -1 with `err` set when the text does not
// fit the bounds (too many instances, words or bytes).
int parse_instances(const char* text, size_t len, InstanceConfig* out, size_t max,
                    const char** err);
