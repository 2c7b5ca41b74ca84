#include <cstdio>

#include "nor_run.h"

int main(int argc, char** argv) { return nor_run(argc, argv, NOR_DEVICE, stdout, stderr); }
