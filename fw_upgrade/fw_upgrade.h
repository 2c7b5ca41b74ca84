// One run of the upload CGI: answer header, services stopped, body read,
// image found, tested and staged. Returns the exit status (0 staged, 1 not).
#pragma once

#include <cstdio>

#include "fw_services.h"

// Where the run keeps its files and how long it waits for the client.
struct FwSetup {
    const char* staging;  // where the image goes
    const char* lock;     // held for the whole run: one upload at a time
    int idle_ms;          // the body read gives up after this long without a byte
};

// content_length: the CONTENT_LENGTH value (null when unset); in: the body;
// out: the answer.
int fw_upgrade_run(const char* content_length, int in, FILE* out, const FwSetup& setup,
                   const FwHooks& hooks);
