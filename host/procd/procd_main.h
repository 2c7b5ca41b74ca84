// The supervisor itself: `procd [-S LOG_KIB]`, in the foreground.
#pragma once

int procd_main(int argc, char** argv);
