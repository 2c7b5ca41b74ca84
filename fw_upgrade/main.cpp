#include <cstdlib>
#include <unistd.h>

#include "fw_consts.h"
#include "fw_upgrade.h"
#include "shell.h"

int main() {
    const FwHooks hooks = {run_shell, sleep};
    const FwSetup setup = {FW_STAGING, FW_LOCK, FW_IDLE_MS};
    return fw_upgrade_run(getenv(FW_LENGTH_VAR), STDIN_FILENO, stdout, setup, hooks);
}
