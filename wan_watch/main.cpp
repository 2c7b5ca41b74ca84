#include "box_system.h"
#include "wan_loop.h"
#include "wan_paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    char* proto = static_cast<char*>(malloc(WAN_PROTO_SIZE));
    if (!proto) {
        puts("ip malloc error");
        return 1;
    }
    memset(proto, 0, WAN_PROTO_SIZE);
    BoxWanSystem sys;
    int rc = wan_watch_run(sys, proto, stdout);
    free(proto);
    return rc;
}
