// The box's fixed names and command lines, in one place.
#pragma once

#define WAN_PROTO_PATH "network.wan.proto"
#define WAN_IFNAME "eth0"

#define WAN_CMD_LINK "ifconfig eth0 | grep RUNNING"
#define WAN_CMD_DELIF "brctl delif br-lan eth0"
#define WAN_CMD_ADDIF "brctl addif br-lan eth0"
// "[u]dhcpc" keeps the shell that runs a kill out of its own list: its line
// holds both words otherwise, and once process numbers wrap it comes first
// and kills itself before the clients.
#define WAN_CMD_KILL_ETH0 "kill -9 `ps|grep '[u]dhcpc'|grep eth0|awk -F \" \" '{print $1}'`"
#define WAN_CMD_KILL_WLAN1 "kill -9 `ps|grep '[u]dhcpc'|grep wlan1|awk -F \" \" '{print $1}'`"
#define WAN_CMD_DHCP_ETH0 "udhcpc -t 0 -i eth0 -b -p /var/run/dhcp-eth0.pid -O rootpath -R &"
#define WAN_CMD_DHCP_WLAN1 "udhcpc -t 0 -i wlan1 -b -p /var/run/dhcp-wlan1.pid -O rootpath -R &"
#define WAN_CMD_COMMIT "uci commit"

// Names that find_process looks for in the process list.
#define WAN_PROC_ETH0 "eth0"
#define WAN_PROC_WLAN1 "dhcp-wlan1"

// Pause between passes, in microseconds.
#define WAN_PASS_PAUSE_US 250000

// Sizes of the protocol and path buffers.
#define WAN_PROTO_SIZE 16
#define WAN_PATH_SIZE 64
