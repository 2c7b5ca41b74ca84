// One binary, three names (as BusyBox does it): /sbin/procd the supervisor,
// `logread` the system log, `procd_call` rc.common's way to the supervisor.
#include "clients.h"
#include "procd_main.h"

#include <cstring>

int main(int argc, char** argv) {
    const char* slash = strrchr(argv[0], '/');
    const char* name = slash ? slash + 1 : argv[0];
    if (strcmp(name, "logread") == 0) return logread_main(argc, argv);
    if (strcmp(name, "procd_call") == 0) return procd_call_main(argc, argv);
    return procd_main(argc, argv);
}
