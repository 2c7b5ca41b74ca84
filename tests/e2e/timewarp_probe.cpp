// Sleeps once with the named call and prints how long it took in ms, for
// the time stand-in's test: probe sleep|usleep|nanosleep|clock_rel|clock_abs SECONDS
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static double now_ms() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const char* how = argv[1];
    double secs = atof(argv[2]);
    struct timespec len = {static_cast<time_t>(secs),
                           static_cast<long>((secs - static_cast<long>(secs)) * 1e9)};
    double start = now_ms();
    int r = 0;
    if (!strcmp(how, "sleep")) {
        r = static_cast<int>(sleep(static_cast<unsigned>(secs)));
    } else if (!strcmp(how, "usleep")) {
        r = usleep(static_cast<useconds_t>(secs * 1e6));
    } else if (!strcmp(how, "nanosleep")) {
        r = nanosleep(&len, nullptr);
    } else if (!strcmp(how, "clock_rel")) {
        r = clock_nanosleep(CLOCK_MONOTONIC, 0, &len, nullptr);
    } else if (!strcmp(how, "clock_abs")) {
        struct timespec until;
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += len.tv_sec;
        until.tv_nsec += len.tv_nsec;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec++;
            until.tv_nsec -= 1000000000L;
        }
        r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    } else {
        return 2;
    }
    printf("%.0f\n", now_ms() - start);
    return r == 0 ? 0 : 1;
}
