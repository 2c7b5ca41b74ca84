// What the wireless driver stand-in plays: its range record, its scripted
// answers, and the scan results as the kernel's event stream. Parsed from
// a small text file (see README.md).
#pragma once

#include <string>

struct WlanScenario {
    bool has_range = true;
    int we_version = 22;
    int max_qual[3] = {70, 0, 0};  // quality, level, noise
    int trigger_errno = 0;         // answer to SIOCSIWSCAN; 0 accepts it
    int eagain = 0;                // first reads after a trigger answered EAGAIN
    int e2big = 0;                 // then this many answered E2BIG
    int e2big_hint = 0;            // with this length (0: none)
    bool size_hint = false;        // results too large: report the length needed
    int read_errno = 0;            // every read fails so (after the above)
    std::string events;            // the scan results, encoded
    std::string errors;            // lines not understood, for the journal
};

// Parses a scenario text; unknown lines are noted in errors and skipped.
WlanScenario parse_scenario(const std::string& text);

// The errno named by text ("EPERM", "EIO", ... or a number); -1 if unknown.
int errno_from_name(const std::string& text);
const char* errno_name(int err);
