#include "wan_loop.h"

#include "handles.h"
#include "wan_paths.h"
#include "wan_state.h"

int wan_watch_run(WanSystem& sys, char* proto, FILE* out) {
    WanState st;
    for (;;) {
        bool have_ctx = sys.begin_pass();
        bool link_now = sys.eth0_running();
        // Without a context the lookup cannot run; the buffer keeps the
        // last pass's value, as it does for an unreadable option.
        if (have_ctx) sys.read_proto(proto, WAN_PROTO_SIZE);
        UniqueFd sock(sys.open_socket());
        if (!sock) {
            fputs("got the bug !\n", out);
            fflush(out);
            return 0;
        }
        wan_step(st, link_now, proto, sys, sock.get());
        sock.reset();
        sys.run(WAN_CMD_COMMIT);
        sys.end_pass();
        if (!sys.pause()) return 0;
    }
}
