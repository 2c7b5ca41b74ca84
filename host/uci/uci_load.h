// Package loading steps shared by uci_load and uci_commit.
#pragma once

#include "uci_internal.h"

// Reads and parses <confdir>/<name> into a new package (not yet in ctx).
int load_package_file(uci_context* ctx, const char* name, uci_package** out);
// Replays the pending changes of every save dir onto p, the save dir last
// (read through savedir_fd when it is >= 0, which is then locked exclusively
// once the other dirs are read, and left locked for the caller).
// Returns how many changes applied, -1 when that lock fails.
int replay_saved(uci_package* p, int savedir_fd);
// savedir_fd of a commit that found no save file: one written after that is
// not read, as the commit could not empty it and would apply it twice.
const int NO_SAVE_FILE = -2;
uci_package* find_loaded(uci_context* ctx, const char* name);
