#include <cstdio>
#include <unistd.h>

#include "renderer_config.h"
#include "renderer_pass.h"
#include "shell.h"
#include "start_address.h"

namespace {

FILE* open_pipe(const char* cmd) { return popen(cmd, "r"); }

}  // namespace

int main() {
    char start[RC_START_SIZE];
    read_start_address(start, sizeof start);
    const RendererOps ops = {open_pipe, pclose, run_shell, sleep};
    while (renderer_pass(ops, start) == RC_GO_ON) {
    }
    return 0;
}
