// procd's respawn bookkeeping (instance_exit): a run shorter than THRESHOLD
// counts a crash, a longer one resets the count; the instance is given up
// when the count exceeds RETRY and RETRY is above 0. With RETRY 5 it is
// started five more times after its first quick death and left at the sixth.
#pragma once

// Updates `crashes` for an end after `runtime` seconds; true: give up.
bool respawn_gives_up(double runtime, int threshold, int retry, int& crashes);
