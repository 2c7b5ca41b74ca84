#include "wan_state.h"

#include "wan_paths.h"

#include <cstring>

namespace {

const int LEASE_CHECK_PASS = 5;

void kill_eth0_client(WanSystem& sys) {
    if (sys.find_process(WAN_PROC_ETH0)) sys.run(WAN_CMD_KILL_ETH0);
}

void cable_in(WanState& st, WanSystem& sys) {
    kill_eth0_client(sys);
    sys.run(WAN_CMD_DELIF);
    sys.run(WAN_CMD_DHCP_ETH0);
    st.state = WAN_LEASE_WAIT;
    st.counter = 1;
}

void cable_out(WanState& st, WanSystem& sys) {
    sys.run(WAN_CMD_DELIF);
    kill_eth0_client(sys);
    sys.run(WAN_CMD_DHCP_ETH0);
    sys.hold_wlan1_client(true);
    if (sys.find_process(WAN_PROC_WLAN1)) sys.run(WAN_CMD_KILL_WLAN1);
    sys.run(WAN_CMD_DHCP_WLAN1);
    sys.hold_wlan1_client(false);
    st.state = WAN_LINK_LOST;
    st.counter = 0;
}

void lease_check(WanState& st, WanSystem& sys, int sock) {
    if (st.state != WAN_LEASE_WAIT) return;
    if (st.counter != LEASE_CHECK_PASS) {
        ++st.counter;
        return;
    }
    // No lease: the port goes back to serving the LAN.
    if (!sys.eth0_has_address(sock)) {
        kill_eth0_client(sys);
        sys.run(WAN_CMD_ADDIF);
    }
    st.state = WAN_SETTLED;
    st.counter = 1;
}

}  // namespace

void wan_step(WanState& st, bool link_now, const char* proto, WanSystem& sys, int sock) {
    bool dhcp = strcmp(proto, "dhcp") == 0;
    if (dhcp && link_now && !st.prev_link) {
        cable_in(st, sys);
    } else if (dhcp && !link_now && st.prev_link) {
        cable_out(st, sys);
    } else if (strcmp(proto, "static") == 0 || strcmp(proto, "pppoe") == 0) {
        st.state = WAN_IDLE;
        st.counter = 0;
    } else {
        lease_check(st, sys, sock);
    }
    st.prev_link = link_now;
}
