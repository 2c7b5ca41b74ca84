#include "box_system.h"
#include "handles.h"
#include "wan_loop.h"
#include "wan_paths.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
    MallocPtr<char> proto(static_cast<char*>(malloc(WAN_PROTO_SIZE)));
    if (!proto) {
        puts("ip malloc error");
        return 1;
    }
    memset(proto.get(), 0, WAN_PROTO_SIZE);
    BoxWanSystem sys;
    return wan_watch_run(sys, proto.get(), stdout);
}
