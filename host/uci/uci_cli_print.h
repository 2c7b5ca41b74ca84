// How the `uci` command prints values, sections and packages.
#pragma once

#include "uci.h"

#include <cstdio>

// "get": a string as it is; list items joined by delim, an item holding a
// blank, tab, CR or LF in single quotes.
void print_value_plain(FILE* out, const uci_option* o, const char* delim);
// "show": every line "pkg.section=type" and "pkg.section.option='value'";
// anonymous sections as @type[N] unless real_names.
void show_package(FILE* out, uci_package* p, bool real_names);
void show_section(FILE* out, uci_section* s, bool real_names);
void show_option(FILE* out, uci_option* o, bool real_names);
