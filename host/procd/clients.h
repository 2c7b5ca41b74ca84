// The commands that talk to the supervisor over its socket.
#pragma once

// procd_call: the request on standard input, the answer on standard output
// (rc.common's way to the supervisor, as procd.sh's is `ubus call service`).
int procd_call_main(int argc, char** argv);
// logread [-l LINES] [-e PATTERN] [-f]: the system log stand-in's lines.
int logread_main(int argc, char** argv);
