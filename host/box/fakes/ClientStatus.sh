#!/bin/sh
# The Wi-Fi client status script: creates /tmp/client_is_connected while
# /box/out/fake/ClientStatus.sh.up exists.
. /box/lib/standin.sh
act() { [ -e "$ctl.up" ] && : >/tmp/client_is_connected; }
standin "$@"
