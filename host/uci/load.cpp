// Loading a package: its config file, then the pending changes of every save
// dir in order.
#include "uci_internal.h"
#include "uci_load.h"

#include "handles.h"
#include "regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

// Two names for one file (say "-t /tmp/.uci/") are read once: replaying a
// file twice would add list items twice, and a shared lock on the file the
// caller holds exclusively would never come.
static bool seen_before(int fd, struct stat* seen, int* n_seen) {
    struct stat st;
    if (fstat(fd, &st) != 0) return true;
    for (int i = 0; i < *n_seen; i++) {
        if (seen[i].st_dev == st.st_dev && seen[i].st_ino == st.st_ino) return true;
    }
    seen[(*n_seen)++] = st;
    return false;
}

int replay_saved(uci_package* p, int savedir_fd) {
    uci_context* ctx = p->ctx;
    const char* dirs[16];
    int n = delta_dirs(ctx, dirs, 16);
    struct stat seen[16];
    int n_seen = 0;
    if (savedir_fd >= 0) seen_before(savedir_fd, seen, &n_seen);
    int applied = 0;
    std::string text;
    for (int i = 0; i < n; i++) {
        bool own = i == n - 1;
        if (own && savedir_fd == NO_SAVE_FILE) continue;
        UniqueFd fd;
        int use = savedir_fd;
        if (!own || savedir_fd < 0) {
            fd = open_regular(join_path(dirs[i], p->e.name).c_str(), O_RDONLY);
            if (!fd || seen_before(fd.get(), seen, &n_seen)) continue;
            // A writer appends under an exclusive lock: never read half a line.
            flock(fd.get(), LOCK_SH);
            use = fd.get();
        } else {
            // Locked only now, with no other save file held: waiting for one
            // while holding it could deadlock with a process whose save dir
            // and extra dir are ours the other way round.
            while (flock(savedir_fd, LOCK_EX) != 0) {
                if (errno != EINTR) return -1;
            }
        }
        if (read_fd(use, &text)) applied += delta_apply_text(p, text.data(), text.size());
    }
    return applied;
}

int load_package_file(uci_context* ctx, const char* name, uci_package** out) {
    *out = nullptr;
    if (!valid_package_name(name)) return uci_fail(ctx, UCI_ERR_INVAL);
    std::string path = join_path(ctx->confdir, name);
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd)
        return uci_fail(ctx, errno == ENOENT || errno == ENOTDIR ? UCI_ERR_NOTFOUND : UCI_ERR_IO);
    struct stat st;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return uci_fail(ctx, UCI_ERR_IO);
    std::string text;
    if (!read_fd(fd.get(), &text)) return uci_fail(ctx, UCI_ERR_IO);

    uci_package* p = tree_new_package(ctx, name);
    if (!p || !(p->path = strdup(path.c_str()))) {
        if (p) tree_free_package(p);
        return uci_fail(ctx, UCI_ERR_MEM);
    }
    int r = parse_config(ctx, p, text.data(), text.size());
    if (r != UCI_OK) {
        tree_free_package(p);
        return r;
    }
    *out = p;
    return uci_fail(ctx, UCI_OK);
}

uci_package* find_loaded(uci_context* ctx, const char* name) {
    uci_element* e;
    uci_foreach_element(&ctx->root, e) {
        if (strcmp(e->name, name) == 0) return uci_to_package(e);
    }
    return nullptr;
}

extern "C" int uci_load(uci_context* ctx, const char* name, uci_package** package) {
    if (!ctx || !name || !package) return uci_fail(ctx, UCI_ERR_INVAL);
    if ((*package = find_loaded(ctx, name))) return uci_fail(ctx, UCI_OK);
    // Shared with commits, which hold the config dir exclusively: read
    // between a commit's rename and its emptying of the save file, the old
    // config without its pending changes would show values already replaced,
    // and a set back to such a value would be taken as no change and lost.
    UniqueFd dir(open(ctx->confdir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        while (flock(dir.get(), LOCK_SH) != 0 && errno == EINTR) {
        }
    }
    uci_package* p;
    int r = load_package_file(ctx, name, &p);
    if (r != UCI_OK) return r;
    if (replay_saved(p, -1) > 0) p->has_delta = true;
    list_add_tail(&ctx->root, &p->e.list);
    *package = p;
    return uci_fail(ctx, UCI_OK);
}

extern "C" int uci_unload(uci_context* ctx, uci_package* p) {
    if (!ctx || !p) return uci_fail(ctx, UCI_ERR_INVAL);
    tree_free_package(p);
    return uci_fail(ctx, UCI_OK);
}
