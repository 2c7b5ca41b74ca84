#include "fw_services.h"

#include "fw_consts.h"
#include "fw_init_stop.h"

namespace {

// A null command is a pause of `seconds`.
struct Step {
    const char* cmd;
    unsigned seconds;
};

constexpr Step STEPS[] = {
    {"rm -f /tmp/fwupgrade", 0},
    {"sync", 0},
    {"killall -9 perl", 0},
    {"killall -9 hairtunes", 0},
    {"killall -9 pravik", 0},
    // The player first gets the default signal, to write its state and go.
    {"killall dorvu", 0},
    {nullptr, 1},
    {"killall -9 dorvu", 0},
    {"killall -9 zentrac", 0},
    {"killall -9 minidlna", 0},
    {"killall -9 velmar", 0},
    {"killall -9 avahi-daemon", 0},
    {"killall -9 telnetd", 0},
    {"killall -9 miniupnpd", 0},
    {"killall -9 wpa_supplicant", 0},
    {"killall -9 holbit", 0},
    {"killall -9 udhcpc", 0},
    {"killall -9 hotplug2", 0},
    {"killall -9 dbus-daemon", 0},
    {"killall -9 ferrow", 0},
    {"killall -9 logger", 0},
    {"sync", 0},
    {"sync", 0},
    {"echo 3 > /proc/sys/vm/drop_caches", 0},
    {nullptr, 2},
    {"echo 3 > /proc/sys/vm/drop_caches", 0},
    {nullptr, 2},
};

}  // namespace

void stop_services(const FwHooks& hooks) {
    stop_init_services(hooks, FW_INIT_DIR);
    for (const Step& s : STEPS) {
        if (s.cmd)
            hooks.shell(s.cmd);
        else
            hooks.pause(s.seconds);
    }
}
