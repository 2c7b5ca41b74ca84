#include "fw_stop_wait.h"

#include "handles.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// /proc/PID/stat is "PID (COMM) STATE ...": the name as the kernel keeps
// it (15 characters at most) and the state, read with one call.
bool live_with_name(const char* proc_root, const char* pid, const char* name) {
    char path[512];
    int n = snprintf(path, sizeof path, "%s/%s/stat", proc_root, pid);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path) return false;
    UniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    char buf[256];
    ssize_t got = read(fd.get(), buf, sizeof buf - 1);
    if (got <= 0) return false;
    buf[got] = '\0';
    char* open_paren = strchr(buf, '(');
    char* close_paren = strrchr(buf, ')');
    if (!open_paren || !close_paren || close_paren < open_paren || close_paren[1] != ' ')
        return false;
    size_t len = static_cast<size_t>(close_paren - open_paren - 1);
    size_t want = strnlen(name, 15);
    if (len != want || memcmp(open_paren + 1, name, len) != 0) return false;
    char state = close_paren[2];
    return state != 'Z' && state != 'X';
}

}  // namespace

bool fw_process_runs(const char* proc_root, const char* name) {
    UniqueDir dir(opendir(proc_root));
    if (!dir) return false;
    while (dirent* e = readdir(dir.get()))
        if (isdigit(static_cast<unsigned char>(e->d_name[0])) &&
            live_with_name(proc_root, e->d_name, name))
            return true;
    return false;
}

bool fw_wait_gone(const char* proc_root, const char* name, unsigned max_ms) {
    for (unsigned waited = 0;; waited += FW_STOP_POLL_MS) {
        if (!fw_process_runs(proc_root, name)) return true;
        if (waited >= max_ms) return false;
        usleep(FW_STOP_POLL_MS * 1000);
    }
}
