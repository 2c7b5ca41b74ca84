// The supervisor's socket: one request per connection (the client writes it
// and shuts its side), one answer; "log ... follow" keeps the connection and
// sends each new log line as it comes.
//
// Requests (first line, then lines of the request):
//   set SERVICE        + instance lines (see spec.h)   -> "ok" | "error ..."
//   delete SERVICE     -> "ok" at once; the stop goes on in the background
//   list [SERVICE]     -> "ok", then "SERVICE INSTANCE STATE PID CRASHES" each,
//                         STATE running|stopping|respawning|crashloop|stopped
//   log LINES [follow] + an optional line with an extended regular expression
//                      -> "ok", then the last LINES (0: all) matching lines
#pragma once

#include "log_ring.h"
#include "supervisor.h"

#include <poll.h>

// Runs the supervisor on `listen_fd` until SIGTERM/SIGINT (`sig_fd`, a
// signalfd); returns the exit status.
int serve(int listen_fd, int sig_fd, Supervisor& sup, LogRing& ring);
