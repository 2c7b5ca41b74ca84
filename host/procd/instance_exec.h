// The child's side of an instance's start: signals back to their defaults,
// stdin on /dev/null, stdout/stderr on the log pipes (or /dev/null, when -1),
// its environment added, then exec. Never returns (127 when exec fails).
#pragma once

#include "instance_config.h"

[[noreturn]] void exec_instance(const InstanceConfig& s, int out_fd, int err_fd);
