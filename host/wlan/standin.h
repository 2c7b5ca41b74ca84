// The wireless driver stand-in: what a process sees of the interface
// "wlan1" through the wireless-extension requests on a PC, which has no
// such interface. Scenario, scripted answers and journal: README.md.
//
// Settings, read from the environment at each request:
//   BOX_WLAN_DIR   folder of "scenario" (read again whenever it changes) and
//                  "journal" (default /box/out/wlan inside the box sandbox,
//                  else /tmp/wlan)
#pragma once

// The interface the stand-in plays.
constexpr char WLAN_STANDIN_IFNAME[] = "wlan1";

// True for a wireless-extension request naming the stand-in's interface.
bool wlan_standin_owns(unsigned long request, const void* arg);
// Answers such a request: 0, or -1 with errno set.
int wlan_standin_ioctl(unsigned long request, void* arg);
