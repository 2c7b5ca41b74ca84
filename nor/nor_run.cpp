#include "nor_run.h"

#include <cerrno>
#include <cstring>

#include "handles.h"
#include "nor_commands.h"

namespace {

void print_usage(FILE* out) {
    fputs(
        "usage: user config tool\n"
        "config parameters are: ssid_name encryption ssid_password network_mode wan_mode\n"
        "                       stc_ip stc_mask stc_gw stc_dns1 stc_dns2\n"
        "                       smb_password smb_enable smb_anonymous_en\n"
        "                       ftp_password ftp_enable ftp_anonymous_en dms_enable dms_name\n"
        "\tset \t\t: nor set parameter=value \n"
        "\tget \t\t: nor get parameter \n"
        "\treset \t\t: clear user config data \n"
        "\tshow \t\t: print all user config data \n",
        out);
}

}  // namespace

int nor_run(int argc, char** argv, const char* device, FILE* out, FILE* err) {
    if (argc < 2) {
        print_usage(out);
        return 1;
    }
    const char* command = argv[1];
    const char* arg = argc > 2 ? argv[2] : nullptr;

    // Opened before the command is looked at: a missing device wins.
    UniqueFile dev(fopen(device, "rb+"));
    if (!dev) return 1;

    int status;
    if (strcmp(command, "get") == 0) {
        status = nor_get(dev.get(), arg, out, err);
    } else if (strcmp(command, "set") == 0) {
        status = nor_set(dev.get(), arg, err);
    } else if (strcmp(command, "reset") == 0) {
        status = nor_reset(dev.get(), err);
    } else if (strcmp(command, "show") == 0) {
        status = nor_show(dev.get(), out, err);
    } else {
        print_usage(out);
        return 1;
    }
    if (dev.reset() != 0 && status == 0) {
        fprintf(err, "nor: closing %s failed: %s\n", device, strerror(errno));
        status = 1;
    }
    return status;
}
