#include "renderer_pass.h"

#include <cstdlib>
#include <cstring>

#include "pipe_query.h"
#include "renderer_config.h"
#include "renderer_line.h"

namespace {

// Drops one trailing line feed, carriage return or blank.
void trim_address(char* address) {
    size_t len = strlen(address);
    if (len > 0 && strchr("\n\r ", address[len - 1])) address[len - 1] = '\0';
}

// The box's current address; false when neither query printed a line. A
// pipe that cannot be opened counts as an answer: an empty address.
bool current_address(const RendererOps& ops, char* cur, size_t n) {
    int got = query_last(ops, RC_QUERY_WWAN, cur, n);
    if (got == 0) got = query_first(ops, RC_QUERY_LAN, cur, n);
    if (got == 0) return false;
    if (got < 0) cur[0] = '\0';
    trim_address(cur);
    return true;
}

long renderer_count(const RendererOps& ops) {
    char line[RC_CURRENT_SIZE];
    if (query_first(ops, RC_QUERY_COUNT, line, sizeof line) != 1) return -1;
    return strtol(line, nullptr, 10);
}

}  // namespace

RendererPassResult renderer_pass(const RendererOps& ops, const char* start) {
    char line[RC_LINE_SIZE];
    if (query_first_with(ops, RC_QUERY_RENDERER, RC_NAME_MARK, line, sizeof line) != 1) {
        ops.run(RC_RESTART_RENDERER);
    } else {
        char cur[RC_CURRENT_SIZE];
        if (!current_address(ops, cur, sizeof cur)) return RC_NO_ADDRESS;
        if (strcmp(cur, start) != 0 && renderer_count(ops) != RC_RENDERER_COUNT) {
            ops.run(RC_RESTART_RENDERER);
            ops.sleep(RC_PASS_PAUSE_S);
            return RC_GO_ON;
        }
        // A renderer without an address argument cannot be serving the
        // current one: restart it like a stale one.
        char served[RC_LINE_SIZE];
        if (!renderer_address(line, strlen(line), served, sizeof served) ||
            strcmp(served, cur) != 0)
            ops.run(RC_RESTART_RENDERER);
    }
    ops.sleep(RC_PASS_PAUSE_S);
    char any[RC_LINE_SIZE];
    if (query_first(ops, RC_QUERY_AIRPLAY, any, sizeof any) != 1) ops.run(RC_RESTART_AIRPLAY);
    return RC_GO_ON;
}
