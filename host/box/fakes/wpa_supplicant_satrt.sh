#!/bin/sh
# The Wi-Fi client start script: "start" leaves a wpa_supplicant daemon for wlan1.
. /box/lib/standin.sh
act() { [ "$1" = start ] && start_daemon wpa_supplicant; }
standin "$@"
