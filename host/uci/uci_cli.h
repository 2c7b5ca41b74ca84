// The `uci` command: get, set, delete, add_list, show, changes and commit
// over the stand-in library, with the box's options -c, -P, -t, -p, -d, -q, -X.
#pragma once

// Runs one command line; returns the exit status (0; 1 when the command
// failed, with the library's message on stderr; 255 for a usage error).
int uci_cli(int argc, char** argv);
