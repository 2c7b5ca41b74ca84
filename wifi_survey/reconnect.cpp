#include "client_loop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const HOSTAPD_START = "hostapd -P /var/run/wifi-phy0.pid -B /var/run/hostapd-phy0.conf";

}  // namespace

void reconnect(SurveyState& st, const SurveyIo& io, const char* channel) {
    char cmd[128];
    int n = atoi(channel);

    memset(cmd, 0, sizeof cmd);
    if (channel[0]) {
        snprintf(cmd, sizeof cmd, "wireless.radio0.channel=%s", channel);
        io.set_option(cmd);
    }
    // Channels 1 to 7 take the secondary channel above, 8 and up the one below.
    snprintf(cmd, sizeof cmd, "wireless.radio0.htmode=%s", n < 8 ? "HT40+" : "HT40-");
    io.set_option(cmd);
    io.run("uci commit");

    printf("wifi_ssid_cur=%s wifi_encryption_cur=%s wifi_passwd_cur=%s channel_cur=%s \n\n",
           st.cfg.ssid, st.cfg.encryption, "", channel);

    io.run("killall -9 hostapd ");
    io.sleep_s(1);
    io.run("killall -9 wpa_supplicant >/dev/null 2>&1");
    io.sleep_s(1);

    snprintf(cmd, sizeof cmd, "sed -i \"s/channel=.*/channel=%d/\" /tmp/run/hostapd-phy0.conf", n);
    io.run(cmd);
    io.run(n < 8 ? "sed -e 's/HT40-/HT40+/g' -i /var/run/hostapd-phy0.conf"
                 : "sed -e 's/HT40+/HT40-/g' -i /var/run/hostapd-phy0.conf");
    io.run("sync");
    // An access point daemon started in the pauses above (the Wi-Fi
    // watchdog's "wifi up", finding none) would run beside ours on the one
    // radio; ours has the new channel, so any other goes first.
    io.run("killall -9 hostapd");
    io.run(HOSTAPD_START);
    io.sleep_s(1);

    io.run("ifconfig wlan1 up");
    io.run("/lib/wifi/wpa_supplicant_satrt.sh start");
    io.sleep_s(2);

    memset(cmd, 0, sizeof cmd);
    if (io.hold_wlan1_client) io.hold_wlan1_client(true);
    // "[u]dhcpc": the shell running the kill must not list itself, or once
    // process numbers wrap it kills itself before the client.
    if (io.find("dhcp-wlan1"))
        io.run("kill -9 `ps|grep '[u]dhcpc'|grep wlan1|awk -F \" \" '{print $1}'`");
    io.run("udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R &");
    if (io.hold_wlan1_client) io.hold_wlan1_client(false);

    // A "wifi up" already under way when ours started brings its own daemon
    // later still: one access point daemon, with the new channel, stays.
    if (io.hostapd_count && io.hostapd_count() > 1) {
        io.run("killall -9 hostapd");
        io.run(HOSTAPD_START);
    }

    if (++st.attempts == MAX_ATTEMPTS) {
        st.given_up = true;
        st.attempts = 0;
    }
}
