// uci_save and uci_commit: the pending-change store on disk and the config
// files. Every read-modify-write holds a lock, so that concurrent processes
// never lose a change: appends to a save file hold it exclusively; a commit
// holds the config dir (which a rename never replaces), then, once the other
// save dirs are read, the save file until it is emptied.
#include "uci_internal.h"
#include "uci_load.h"

#include "atomic_file.h"
#include "handles.h"
#include "regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

static int write_all(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t w = write(fd, s.data() + done, s.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return -1;
        done += (size_t)w;
    }
    return 0;
}

static int lock(int fd, int how) {
    while (flock(fd, how) != 0) {
        if (errno != EINTR) return -1;
    }
    return 0;
}

extern "C" int uci_save(uci_context* ctx, uci_package* p) {
    if (!ctx || !p) return uci_fail(ctx, UCI_ERR_INVAL);
    if (list_empty(&p->delta)) return uci_fail(ctx, UCI_OK);
    std::string lines;
    uci_element* e;
    uci_foreach_element(&p->delta, e) delta_format(p, uci_to_delta(e), &lines);

    if (mkdir(ctx->savedir, 0700) != 0 && errno != EEXIST) return uci_fail(ctx, UCI_ERR_IO);
    std::string path = join_path(ctx->savedir, p->e.name);
    UniqueFd fd = open_regular(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (!fd || lock(fd.get(), LOCK_EX) != 0 || write_all(fd.get(), lines) != 0)
        return uci_fail(ctx, UCI_ERR_IO);
    delta_clear(&p->delta);
    return uci_fail(ctx, UCI_OK);
}

// Moves q's sections into p, whose own are dropped; q is freed.
static void take_sections(uci_package* p, uci_package* q) {
    tree_clear_sections(p);
    while (!list_empty(&q->sections)) {
        uci_list* n = q->sections.next;
        list_del(n);
        list_add_tail(&p->sections, n);
        uci_to_section(uci_list_to_element(n))->package = p;
    }
    p->n_section = q->n_section;
    tree_free_package(q);
}

// Re-reads the file under the locks, so that changes committed by others
// since p was loaded are kept; `overwrite` makes no difference here.
extern "C" int uci_commit(uci_context* ctx, uci_package** package, bool overwrite) {
    (void)overwrite;
    if (!ctx || !package || !*package) return uci_fail(ctx, UCI_ERR_INVAL);
    uci_package* p = *package;

    UniqueFd dir(open(ctx->confdir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir || lock(dir.get(), LOCK_EX) != 0) return uci_fail(ctx, UCI_ERR_IO);
    UniqueFd saved = open_regular(join_path(ctx->savedir, p->e.name).c_str(), O_RDWR);

    uci_package* q;
    int r = load_package_file(ctx, p->e.name, &q);
    if (r != UCI_OK) return r;
    int changes = replay_saved(q, saved ? saved.get() : NO_SAVE_FILE);
    if (changes < 0) {
        tree_free_package(q);
        return uci_fail(ctx, UCI_ERR_IO);
    }
    struct stat st;
    bool saved_lines = saved && fstat(saved.get(), &st) == 0 && st.st_size > 0;
    uci_element* e;
    uci_foreach_element(&p->delta, e) {
        uci_delta* d = uci_to_delta(e);
        changes += delta_apply(q, d->cmd, d->section, d->e.name, d->value);
    }
    if (changes > 0) {
        std::string text = export_package(q);
        if (write_file_atomic(q->path, text.data(), text.size()) != 0) {
            tree_free_package(q);
            return uci_fail(ctx, UCI_ERR_IO);
        }
    }
    if (saved_lines && ftruncate(saved.get(), 0) != 0) {
        tree_free_package(q);
        return uci_fail(ctx, UCI_ERR_IO);
    }
    delta_clear(&p->delta);
    take_sections(p, q);
    p->has_delta = false;
    return uci_fail(ctx, UCI_OK);
}
