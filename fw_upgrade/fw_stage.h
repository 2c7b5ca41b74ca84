// The staging file: the image as it lands on the box's storage.
#pragma once

#include <cstdio>

#include "handles.h"

// Creates the staging file at path, read and write, for the owner alone.
// Whatever already lies there (a link planted meanwhile, a file) is neither
// followed nor reused: the result is then empty and the path untouched.
UniqueFile create_staging(const char* path);

// The staged image read back through file (open for reading, flushed, at
// any position): true when it holds exactly one image and its seven mark
// bytes read back as the mark.
bool staged_image_ok(FILE* file);
