#include "start_address.h"

#include <cstring>

#include "bounded.h"
#include "renderer_config.h"
#include "uci_context.h"
#include "uci_option.h"

void read_start_address(char* start, size_t n) {
    start[0] = '\0';
    {
        UciContext ctx(uci_alloc_context());
        if (ctx) {
            char path[RC_PATH_SIZE];
            copy_bounded(path, sizeof path, RC_LAN_OPTION);
            g_uci_ctx = ctx.get();
            g_uci_markers = false;
            get_uci_option(path, start, n);
            g_uci_ctx = nullptr;
        }
    }
    if (strlen(start) < RC_MIN_ADDRESS) copy_bounded(start, n, RC_DEFAULT_ADDRESS);
}
