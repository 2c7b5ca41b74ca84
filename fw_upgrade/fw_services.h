// Stopping the box's services before the upload is taken in.
#pragma once

// What the CGI does to the world outside it; tests pass journaling fakes.
struct FwHooks {
    int (*shell)(const char* cmd);  // run through the shell and wait
    unsigned (*pause)(unsigned s);  // sleep for s seconds
};

// The fixed command list, with its pauses, in order.
void stop_services(const FwHooks& hooks);
