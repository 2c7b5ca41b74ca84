// The `uci` command of the stand-in (see uci_cli.h).
#include "uci_cli.h"

int main(int argc, char** argv) { return uci_cli(argc, argv); }
