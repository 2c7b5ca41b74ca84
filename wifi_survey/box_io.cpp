// The daemon's parts on the box: the shell, sleep, the survey of wlan1, the
// UCI helpers and the process list.
#include "client_loop.h"

#include "client_lock.h"
#include "find_process.h"
#include "handles.h"
#include "scan.h"
#include "shell.h"
#include "uci_context.h"
#include "uci_option.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

void sleep_seconds(unsigned s) { sleep(s); }

int scan_wlan1(char* list, size_t size) { return cgi_scan("wlan1", list, size); }

// The lookup cuts its text in place: the path is written anew for each read.
int read_option(const char* path, char* buf, size_t n) {
    char path_buf[512];
    memset(path_buf, 0, sizeof path_buf);
    snprintf(path_buf, sizeof path_buf, "%s", path);
    return get_uci_option(path_buf, buf, n);
}

ClientLock g_wlan1_lock(WLAN1_CLIENT_LOCK);

void hold_wlan1_client(bool on) {
    if (on)
        g_wlan1_lock.lock();
    else
        g_wlan1_lock.unlock();
}

bool link_flag_present() { return bool(UniqueFile(fopen(LINK_FLAG_FILE, "r"))); }

}  // namespace

SurveyIo box_survey_io() {
    SurveyIo io;
    io.run = run_shell;
    io.sleep_s = sleep_seconds;
    io.scan = scan_wlan1;
    io.read_option = read_option;
    io.set_option = set_uci_option;
    io.link_flag_present = link_flag_present;
    io.wpa_running = wpa_supplicant_running;
    io.find = find_process;
    io.hostapd_count = hostapd_count;
    io.hold_wlan1_client = hold_wlan1_client;
    return io;
}

void survey_forever(const SurveyIo& io) {
    SurveyState st;
    g_uci_markers = true;
    for (;;) {
        io.sleep_s(40);
        UciContext ctx(uci_alloc_context());
        if (!ctx) continue;  // out of memory: try again next pass
        g_uci_ctx = ctx.get();
        survey_pass(st, io);
        g_uci_ctx = nullptr;
    }
}
