// The watcher's world on the box: shell commands, libuci, the eth0 socket.
#pragma once

#include "client_lock.h"
#include "uci_context.h"
#include "wan_system.h"

class BoxWanSystem final : public WanSystem {
public:
    BoxWanSystem() = default;
    ~BoxWanSystem();
    BoxWanSystem(const BoxWanSystem&) = delete;
    BoxWanSystem& operator=(const BoxWanSystem&) = delete;

    bool begin_pass() override;
    void end_pass() override;
    bool eth0_running() override;
    void read_proto(char* proto, size_t n) override;
    int open_socket() override;
    bool eth0_has_address(int sock) override;
    bool find_process(const char* name) override;
    void run(const char* cmd) override;
    bool pause() override;
    void hold_wlan1_client(bool on) override;

private:
    ClientLock wlan1_lock_{WLAN1_CLIENT_LOCK};
    // The pass's UCI context, lent to the helpers as g_uci_ctx.
    UciContext uci_;
};
