// Text from the request placed into the answer page.
#pragma once

#include <cstddef>

#include "fw_consts.h"

// Room for a field name of FW_NAME_MAX characters, each one an entity.
constexpr size_t FW_NAME_HTML_SIZE = FW_NAME_MAX * 6 + 1;

// Copies text into out (n >= 1 bytes, always terminated) with & < > " '
// written as entities, so that it shows as text and never as markup. What
// does not fit is cut before the first entity or character that does not
// fit whole. Returns the length written.
size_t html_escape(const char* text, char* out, size_t n);
