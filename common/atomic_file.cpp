#include "atomic_file.h"

#include "bounded.h"
#include "handles.h"
#include "write_all.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

static constexpr char TMP_MARK[] = ".tmp";
static constexpr int MAX_LINK_HOPS = 40;
static constexpr size_t TMP_RANDOM_CHARS = 6;  // the "XXXXXX" that mkostemp fills
static constexpr size_t PID_DIGITS_MAX = 10;

static bool is_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether what follows "<name>.tmp" is of our own making: the six letters
// and digits of write_file_atomic, or "sig" and a process number.
static bool is_own_temp_rest(const char* rest) {
    static const size_t sig_len = sizeof ATOMIC_SIGNAL_MARK - sizeof TMP_MARK;
    const char* sig = ATOMIC_SIGNAL_MARK + sizeof TMP_MARK - 1;
    size_t n = strlen(rest);
    if (strncmp(rest, sig, sig_len) == 0 && n > sig_len && n <= sig_len + PID_DIGITS_MAX &&
        strspn(rest + sig_len, "0123456789") == n - sig_len)
        return true;
    if (n != TMP_RANDOM_CHARS) return false;
    for (size_t i = 0; i < n; i++)
        if (!is_alnum(rest[i])) return false;
    return true;
}

void sync_dir_of(const char* path) {
    char dir[PATH_MAX];
    copy_bounded(dir, sizeof dir, path);
    UniqueFd d(open(dirname(dir), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d) fsync(d.get());
}

int resolve_links(const char* path, char* out, size_t n) {
    size_t len = strlen(path);
    if (len >= n) return -1;
    memcpy(out, path, len + 1);
    for (int hop = 0; hop < MAX_LINK_HOPS; hop++) {
        char link[PATH_MAX];
        ssize_t got = readlink(out, link, sizeof link);
        if (got < 0) return 0;  // not a link (or gone): this is the file
        if ((size_t)got >= sizeof link) return -1;
        size_t keep = 0;  // a relative target is taken from the link's folder
        if (link[0] != '/') {
            const char* slash = strrchr(out, '/');
            keep = slash ? (size_t)(slash - out) + 1 : 0;
        }
        if (keep + (size_t)got >= n) return -1;
        memcpy(out + keep, link, (size_t)got);
        out[keep + (size_t)got] = '\0';
    }
    return -1;
}

int write_file_atomic(const char* path, const void* data, size_t len, unsigned options,
                      bool (*may_replace)()) {
    char target[PATH_MAX];
    if ((options & ATOMIC_FOLLOW_LINKS)
            ? resolve_links(path, target, sizeof target) != 0
            : copy_bounded(target, sizeof target, path) >= sizeof target) {
        errno = ENAMETOOLONG;
        return -1;
    }
    char tmp[PATH_MAX];
    if (snprintf(tmp, sizeof tmp, "%s%sXXXXXX", target, TMP_MARK) >= (int)sizeof tmp) {
        errno = ENAMETOOLONG;
        return -1;
    }
    UniqueFd fd(mkstemp(tmp));
    if (!fd) return -1;

    mode_t mode = 0644;
    struct stat st;
    bool old = stat(target, &st) == 0;
    if (old) mode = st.st_mode & 07777;
    // Only a privileged process may give the file away; otherwise it stays ours.
    if (old && (options & ATOMIC_KEEP_OWNER) && fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
    }

    int err = 0;
    if (fchmod(fd.get(), mode) != 0 || !write_all(fd.get(), data, len) || fsync(fd.get()) != 0)
        err = errno;
    if (fd.reset() != 0 && !err) err = errno;
    if (!err && may_replace && !may_replace()) err = ECANCELED;
    if (!err && rename(tmp, target) != 0) err = errno;
    if (err) {
        unlink(tmp);
        errno = err;
        return -1;
    }
    sync_dir_of(target);
    return 0;
}

int remove_atomic_leftovers(const char* path, unsigned options) {
    char target[PATH_MAX];
    if ((options & ATOMIC_FOLLOW_LINKS)
            ? resolve_links(path, target, sizeof target) != 0
            : copy_bounded(target, sizeof target, path) >= sizeof target)
        return 0;
    char dir_buf[PATH_MAX], base_buf[PATH_MAX];
    copy_bounded(dir_buf, sizeof dir_buf, target);
    copy_bounded(base_buf, sizeof base_buf, target);
    const char* dir = dirname(dir_buf);
    char prefix[PATH_MAX];
    if (snprintf(prefix, sizeof prefix, "%s%s", basename(base_buf), TMP_MARK) >= (int)sizeof prefix)
        return 0;
    size_t plen = strlen(prefix);
    UniqueDir d(opendir(dir));
    if (!d) return 0;
    int removed = 0;
    while (const dirent* e = readdir(d.get())) {
        if (strncmp(e->d_name, prefix, plen) != 0 || !is_own_temp_rest(e->d_name + plen)) continue;
        // Only files: we never leave a link or a directory behind.
        struct stat st;
        if (fstatat(dirfd(d.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        if (unlinkat(dirfd(d.get()), e->d_name, 0) == 0) removed++;
    }
    return removed;
}
