// Runs one cgi_scan on an interface and prints the AP list it wrote, for
// end-to-end checks and for looking at a scenario by hand.
#include <cstdio>

#include "scan.h"

int main(int argc, char** argv) {
    static char list[AP_LIST_SIZE];
    int rc = cgi_scan(argc > 1 ? argv[1] : "wlan1", list);
    printf("%s\n", list);
    return rc == 0 ? 0 : 1;
}
