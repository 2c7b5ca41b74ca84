// Reading and setting one UCI option, shared by wifi_survey, wan_watch and
// renderer_ctl. Built as its own library (box_uci_option) so that only the
// programs that use UCI link libuci.
#pragma once

#include <cstddef>

struct uci_context;

// The program's one UCI context. The caller allocates it (uci_alloc_context)
// before a pass and frees it after; the helpers only use it.
extern struct uci_context* g_uci_ctx;

// wifi_survey's copy prints the marker lines "<zzzzzzz>" (lookup failed) and
// "<yyyyyyyy>" (entry not found); the others print none.
extern bool g_uci_markers;

// Looks path ("pkg.section.option", extended syntax, cut in place: the caller
// writes it anew before every call) up. A string option is copied into value
// (size value_size) when it fits; a value that does not fit is refused with
// a message on stderr, result 1, value untouched. A section prints its type,
// a list its items joined by blanks; value is then untouched. Returns 0 when
// found, 1 otherwise.
int get_uci_option(char* path, char* value, size_t value_size);

// "pkg.section.option=value" (cut in place): sets and saves the change as
// pending, without committing. Returns 0, or 1 on any failure. Prints nothing.
int set_uci_option(char* assignment);
