// The procd stand-in's request parser over arbitrary bytes: no read outside
// the input, every word it keeps inside its config, and the bounds held.
#include "instance_config.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static InstanceConfig configs[4];
    const char* err = nullptr;
    int n = parse_instances(reinterpret_cast<const char*>(data), size, configs, 4, &err);
    if (n < -1 || n > 4 || (n == -1 && !err)) abort();
    for (int i = 0; i < n; ++i) {
        const InstanceConfig& s = configs[i];
        if (s.argc > ARGS_MAX || s.envc > ENVS_MAX || s.text_len > TEXT_MAX) abort();
        for (size_t a = 0; a < s.argc; ++a)
            if (s.argv[a] + strlen(s.arg(a)) >= s.text_len) abort();
        for (size_t e = 0; e < s.envc; ++e)
            if (!strchr(s.env_at(e), '=')) abort();
        if (!memchr(s.name, '\0', sizeof s.name) || s.term_timeout <= 0) abort();
    }
    return 0;
}
