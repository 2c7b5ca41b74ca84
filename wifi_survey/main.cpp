#include "client_loop.h"

#include <cstdio>

int main() {
    // Progress lines reach a log or pipe in order with the commands' own.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    survey_forever(box_survey_io());
}
