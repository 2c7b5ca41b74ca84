#include "box_system.h"

#include "bounded.h"
#include "find_process.h"
#include "shell.h"
#include "uci_option.h"
#include "wan_paths.h"

#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The link test reads at most this much of the pipe's output.
const size_t LINK_OUTPUT_SIZE = 4096;

}  // namespace

BoxWanSystem::~BoxWanSystem() { end_pass(); }

bool BoxWanSystem::begin_pass() {
    end_pass();
    uci_.reset(uci_alloc_context());
    g_uci_ctx = uci_.get();
    return g_uci_ctx != nullptr;
}

void BoxWanSystem::end_pass() {
    g_uci_ctx = nullptr;
    uci_.reset();
}

bool BoxWanSystem::eth0_running() {
    char out[LINK_OUTPUT_SIZE];
    return read_command(WAN_CMD_LINK, out, sizeof out) > 0;
}

void BoxWanSystem::read_proto(char* proto, size_t n) {
    char path[WAN_PATH_SIZE];
    copy_bounded(path, sizeof path, WAN_PROTO_PATH);
    get_uci_option(path, proto, n);
}

int BoxWanSystem::open_socket() { return socket(AF_INET, SOCK_STREAM, 0); }

bool BoxWanSystem::eth0_has_address(int sock) {
    struct ifreq req;
    memset(&req, 0, sizeof req);
    copy_bounded(req.ifr_name, sizeof req.ifr_name, WAN_IFNAME);
    req.ifr_addr.sa_family = AF_INET;
    return ioctl(sock, SIOCGIFADDR, &req) == 0;
}

bool BoxWanSystem::find_process(const char* name) { return ::find_process(name); }

void BoxWanSystem::run(const char* cmd) {
    fflush(stdout);  // keep our lines in order with the commands' own output
    run_shell(cmd);
}

bool BoxWanSystem::pause() {
    usleep(WAN_PASS_PAUSE_US);
    return true;
}

void BoxWanSystem::hold_wlan1_client(bool on) {
    if (on)
        wlan1_lock_.lock();
    else
        wlan1_lock_.unlock();
}
