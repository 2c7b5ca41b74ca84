// The record of the cell being read from the scan events, and its entry in
// the AP list.
#pragma once

#include <cstddef>
#include <iwlib.h>

class ApList;

// ESSID bytes taken from one event (the name buffer holds one more, zero).
constexpr size_t ESSID_COPY_MAX = 128;

struct CellRecord {
    // Name, address, channel and level keep their values until the next
    // event of their kind, also from one scan to the next.
    char name[ESSID_COPY_MAX + 1] = {};
    char address[13] = {};
    int channel = 0;
    int level = 0;
    // Cleared at the start of the stream and at each new cell.
    bool encrypted = false;
    unsigned security = 0;
    unsigned cipher = 0;
};

void clear_security(CellRecord& rec);

// Takes the level (dBm, -192..63) from a quality event when the flags and
// the range record say it is a usable signal level; else keeps the old one.
void apply_signal(CellRecord& rec, const iw_quality& qual, const iw_range& range);

// Stores a hardware address as 12 upper-case hex digits.
void store_address(CellRecord& rec, const sockaddr& ap);

// Appends the record's entry to the list; a record without a name (hidden
// network) is not listed. False when the list had no room for it.
bool write_out(const CellRecord& rec, ApList& list);
