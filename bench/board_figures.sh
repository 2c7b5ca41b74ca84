#!/usr/bin/env bash
# The whole box on the emulated MIPS board: boot, the stick's plug to the
# first sample, CPU idle and playing mp3/flac/m4a/wma (from the guest's own
# accounting under -icount), MemAvailable and VmRSS. Prints figures only;
# see bench/board_figures.py for the goals.
#   bench/board_figures.sh [SECONDS]   (needs build-mips; builds the board)
cd "$(dirname "$0")/.." && exec python3 bench/board_figures.py "$@"
