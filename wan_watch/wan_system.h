// What the watcher does to the world, behind one interface so that the pass
// logic can be driven by a journaling fake in tests.
#pragma once

#include <cstddef>

class WanSystem {
public:
    // Creates this pass's UCI context; false when it could not be created.
    virtual bool begin_pass() = 0;
    // Releases the context made by begin_pass (if any).
    virtual void end_pass() = 0;
    // Whether eth0 shows RUNNING (a cable with a live peer).
    virtual bool eth0_running() = 0;
    // Reads the WAN protocol into proto (size n); leaves it untouched when
    // the option cannot be read.
    virtual void read_proto(char* proto, size_t n) = 0;
    // An AF_INET stream socket for the address query, or -1.
    virtual int open_socket() = 0;
    // Whether eth0 has an IPv4 address (SIOCGIFADDR on sock).
    virtual bool eth0_has_address(int sock) = 0;
    virtual bool find_process(const char* name) = 0;
    // Runs a command through the shell; its outcome is not looked at.
    virtual void run(const char* cmd) = 0;
    // Held around the restart of the DHCP client on wlan1, which another
    // daemon restarts too. Fakes may leave it alone.
    virtual void hold_wlan1_client(bool on) { (void)on; }
    // The pause between passes. The box's version always returns true; a
    // test's may return false to end the loop.
    virtual bool pause() = 0;

protected:
    ~WanSystem() = default;
};
