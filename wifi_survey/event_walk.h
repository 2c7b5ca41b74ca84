// The walk over the driver's scan events: one AP list entry per cell.
#pragma once

#include <cstddef>
#include <iwlib.h>

#include "cell_record.h"

class ApList;

// libiw may look at a few bytes past a truncated last event; a result
// buffer keeps this many zero bytes beyond the data so such looks stay
// inside it.
constexpr size_t SCAN_BUFFER_SLACK = 16;

// Walks the events in data[0, len) (with SCAN_BUFFER_SLACK readable bytes
// after them), updating rec and appending finished cells to list, which
// begin() has opened; closes the list. Payloads that reach past len are
// ignored.
void walk_scan_events(char* data, size_t len, const iw_range& range, CellRecord& rec, ApList& list);
