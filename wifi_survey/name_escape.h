// Network names as attribute values of the AP list. A name comes from any
// access point in radio range, so it must not be able to close its quotes
// and forge the attributes after it: '&', '"', '<' and '>' become entities,
// control bytes (below 0x20, and 0x7F) become "&#xHH;", every other byte
// (UTF-8 included) is written unchanged.
#pragma once

#include <cstddef>

// The longest form of one byte ("&quot;", "&#x1F;").
constexpr size_t NAME_ESCAPE_MAX_PER_BYTE = 6;

// Writes the escaped form of name[0, len) into out (size out_size > 0),
// terminated, never cutting an escape in half. Returns the length written;
// it is shorter than the full form only when out_size is too small.
size_t escape_name(const char* name, size_t len, char* out, size_t out_size);
