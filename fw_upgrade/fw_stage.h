// The staging file: the image as it lands on the box's storage.
#pragma once

#include <cstdio>

// The staged image read back through file (open for reading, flushed, at
// any position): true when it holds exactly one image and its seven mark
// bytes read back as the mark.
bool staged_image_ok(FILE* file);
