// Command-line front of the settings tool: parses argv, opens the device
// and runs one command. Returns the exit status.
#pragma once

#include <cstdio>

constexpr const char* NOR_DEVICE = "/dev/mtdblock0";

int nor_run(int argc, char** argv, const char* device, FILE* out, FILE* err);
