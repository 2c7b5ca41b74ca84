#include "client_loop.h"

#include "shell.h"

#include <cstdio>
#include <cstring>

namespace {

void stop_wpa_supplicant(const SurveyIo& io) {
    if (io.wpa_running()) io.run("killall -9 wpa_supplicant >/dev/null 2>&1");
}

}  // namespace

bool wpa_supplicant_running() {
    char out[512];
    return read_command("ps | grep wpa_supplicant | grep -v grep", out, sizeof out) > 0;
}

int hostapd_count() {
    char out[4096];
    long n = read_command("ps | grep hostapd | grep -v grep", out, sizeof out);
    int lines = 0;
    for (long i = 0; i < n; i++)
        if (out[i] == '\n') lines++;
    return lines;
}

void survey_pass(SurveyState& st, const SurveyIo& io) {
    io.run(STATUS_SCRIPT);
    bool link_up = io.link_flag_present();
    if (link_up) printf("xxxxxxxxxxxxxxxxxxxxxxxxxx\n");
    io.run("rm -f /tmp/client_is_connected");

    io.read_option(OPT_CLIENT_SSID, st.cfg.ssid, sizeof st.cfg.ssid);
    bool disabled = strcmp(st.cfg.ssid, CLIENT_DISABLED) == 0;
    if (st.given_up || link_up || disabled) {
        if (disabled) stop_wpa_supplicant(io);
        st.attempts = 0;
        return;
    }

    static char list[AP_LIST_SIZE];
    memset(list, 0, sizeof list);
    for (int i = 0; i < SCANS_PER_PASS; i++) {
        printf("cgi_scan start !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n");
        io.scan(list, sizeof list);
        printf("cgi_scan end !!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!\n");
        io.sleep_s(1);
        if (list[0]) break;
    }
    if (!list[0]) return;  // ten empty scans leave the counter alone

    char channel[5] = "";
    if (!match_ap_list(list, strnlen(list, sizeof list), io.read_option, &st.cfg, channel,
                       sizeof channel)) {
        stop_wpa_supplicant(io);
        st.attempts = 0;
        return;
    }
    reconnect(st, io, channel);
}
