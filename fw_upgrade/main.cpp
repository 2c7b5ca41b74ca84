#include <cstdlib>
#include <unistd.h>

#include "fw_consts.h"
#include "fw_upgrade.h"
#include "shell.h"

int main()
{
    const FwHooks hooks = {run_shell, sleep};
    return fw_upgrade_run(getenv(FW_LENGTH_VAR), STDIN_FILENO, stdout, FW_STAGING, hooks);
}
