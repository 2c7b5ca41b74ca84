// One run of the upload CGI: answer header, services stopped, body read,
// image found, tested and staged. Returns the exit status (0 staged, 1 not).
#pragma once

#include <cstdio>

#include "fw_services.h"

// content_length: the CONTENT_LENGTH value (null when unset); in: the body;
// out: the answer; staging: where the image goes.
int fw_upgrade_run(const char* content_length, int in, FILE* out, const char* staging,
                   const FwHooks& hooks);
