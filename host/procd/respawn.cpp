#include "respawn.h"

bool respawn_gives_up(double runtime, int threshold, int retry, int& crashes) {
    crashes = runtime < threshold ? crashes + 1 : 0;
    return retry > 0 && crashes > retry;
}
