/* Body of a stand-in daemon: it only waits to be killed. The launcher execs it
 * under the daemon's name and arguments, so `ps` shows the real command line. */
#include <unistd.h>

int main(void) {
    for (;;) pause();
}
