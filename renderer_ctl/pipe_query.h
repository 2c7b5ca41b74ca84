// One command's output read line by line (lines of at most RC_LINE_SIZE - 1
// bytes, longer ones come in pieces). Each returns 1 when a line was taken,
// 0 when the command printed none, -1 when the pipe could not be opened
// ("popen" and the system error on stderr). A taken line keeps its line
// feed and is cut to n - 1 bytes.
#pragma once

#include <cstddef>

#include "renderer_ops.h"

// The first line that holds mark.
int query_first_with(const RendererOps& ops, const char* cmd, const char* mark, char* line,
                     size_t n);
int query_first(const RendererOps& ops, const char* cmd, char* line, size_t n);
int query_last(const RendererOps& ops, const char* cmd, char* line, size_t n);
