// One line of a CUE sheet, applied to the sheet being built.
#pragma once

#include "cue_sheet.h"

#include <cstddef>

// line holds len bytes without the CR LF that ended it. While a sheet is
// built, sheet->track is its last track and each track's index its last
// index. Returns false when the line breaks the grammar (or no memory).
bool cue_parse_line(CUESheet* sheet, const char* line, size_t len);
