#include "renderer_line.h"

#include <cstring>

#include "bounded.h"
#include "renderer_config.h"

namespace {

// The line keeps its line feed; it ends the argument as a blank does.
bool ends_argument(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

bool renderer_address(const char* line, size_t len, char* out, size_t n) {
    out[0] = '\0';
    const size_t mark_len = strlen(RC_ADDRESS_MARK);
    for (size_t i = 0; i + mark_len <= len; ++i) {
        if (memcmp(line + i, RC_ADDRESS_MARK, mark_len) != 0) continue;
        size_t from = i + mark_len, to = from;
        while (to < len && !ends_argument(line[to])) ++to;
        copy_bounded_n(out, n, line + from, to - from);
        return true;
    }
    return false;
}
