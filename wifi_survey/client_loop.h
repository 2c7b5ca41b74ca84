// The Wi-Fi client keeper: one 40 s pass at a time, it checks the client
// link and, when it is down, looks for the configured network and moves the
// radio to it.
#pragma once

#include "ap_match.h"
#include "scan.h"

#include <cstddef>

constexpr const char* STATUS_SCRIPT = "/usr/mips/cgi-bin/script/ClientStatus.sh";
constexpr const char* LINK_FLAG_FILE = "/tmp/client_is_connected";
constexpr const char* CLIENT_DISABLED = "Disabled";
constexpr int SCANS_PER_PASS = 10;
constexpr int MAX_ATTEMPTS = 3;

// What a pass needs from the box, so a test can vary it.
struct SurveyIo {
    int (*run)(const char* cmd);  // the shell, waited for
    void (*sleep_s)(unsigned seconds);
    int (*scan)(char* list, size_t size);  // a survey of wlan1 into list
    OptionReader read_option;
    int (*set_option)(char* assignment);  // set and save, not committed (cuts the text)
    bool (*link_flag_present)();
    bool (*wpa_running)();
    bool (*find)(const char* name);
    int (*hostapd_count)();  // access point daemons in the process list
    // Held around the restart of the DHCP client on wlan1, which the WAN
    // watcher restarts too (null: nothing to hold).
    void (*hold_wlan1_client)(bool on);
};

struct SurveyState {
    int attempts = 0;
    bool given_up = false;  // set after three attempts in a row, never cleared
    ClientConfig cfg{};     // kept across passes: an unreadable option keeps its old value
};

// One pass after its pause: steps from the status check to the reconnect.
void survey_pass(SurveyState& st, const SurveyIo& io);

// Moves the radio to the channel text and restarts the access point, the
// client daemon and the DHCP client on wlan1.
void reconnect(SurveyState& st, const SurveyIo& io, const char* channel);

// "ps | grep wpa_supplicant | grep -v grep" printed something.
bool wpa_supplicant_running();

// Lines of "ps | grep hostapd | grep -v grep": the access point daemons.
int hostapd_count();

// The daemon: for ever, a 40 s pause, a fresh UCI context, one pass.
[[noreturn]] void survey_forever(const SurveyIo& io);

// The box's own parts: the shell, sleep, the survey of wlan1, UCI.
SurveyIo box_survey_io();
