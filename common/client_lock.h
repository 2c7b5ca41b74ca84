// The DHCP client on wlan1 is restarted by two daemons (the Wi-Fi client
// keeper after a reconnect, the WAN watcher when the cable goes). Each holds
// this lock from its kill of the old client to the start of the new one, so
// the two restarts never both find the old client and both start one.
#pragma once

#include "handles.h"

constexpr const char* WLAN1_CLIENT_LOCK = "/var/lock/dhcp-wlan1.lock";

class ClientLock {
public:
    // The path is copied; a longer one than 255 bytes leaves the lock unusable.
    explicit ClientLock(const char* path);
    // Waits for the lock. False when the lock file cannot be opened: the
    // caller goes on unlocked, as it always did.
    bool lock();
    // Takes the lock only if it is free now.
    bool try_lock();
    void unlock() { fd_.reset(); }
    bool held() const { return static_cast<bool>(fd_); }

private:
    bool take(bool wait);
    char path_[256];
    UniqueFd fd_;
};
