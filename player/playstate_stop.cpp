// The last write of the play-state file when the daemon ends, also from a
// fault handler: system calls and byte copies only, buffers on the stack.
#include "playstate.h"

#include "atomic_file.h"
#include "tagtext.h"
#include "write_all.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char STOPPED_TEXT[] = "STOPPED";

// Appends the decimal digits of v at out[at..n); returns the new length.
size_t append_number(char* out, size_t at, size_t n, long v) {
    char digits[24];
    size_t k = 0;
    do {
        digits[k++] = (char)('0' + v % 10);
        v /= 10;
    } while (v > 0 && k < sizeof digits);
    while (k > 0 && at + 1 < n) out[at++] = digits[--k];
    out[at] = '\0';
    return at;
}

// Reads the whole regular file at path into doc (size n, terminated);
// refuses anything else and a file that does not fit.
long read_doc(const char* path, char* doc, size_t n, struct stat* st) {
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    size_t len = 0;
    bool ok = fstat(fd, st) == 0 && S_ISREG(st->st_mode) && (size_t)st->st_size < n;
    while (ok) {
        ssize_t r = read(fd, doc + len, n - 1 - len);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) ok = false;
        if (r <= 0) break;
        len += (size_t)r;
        if (len == n - 1) ok = false;  // grew past what fits
    }
    close(fd);
    if (!ok) return -1;
    doc[len] = '\0';
    return (long)len;
}

void sync_folder_of(const char* path) {
    char dir[PATH_MAX];
    const char* slash = strrchr(path, '/');
    size_t len = slash ? (size_t)(slash - path) : 0;
    if (len == 0 || len >= sizeof dir) return;
    memcpy(dir, path, len);
    dir[len] = '\0';
    int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

bool full_disk(int err) { return err == ENOSPC || err == EDQUOT; }

}  // namespace

int overwrite_value_in_place(const char* tag, const char* value) {
    char target[PATH_MAX];
    if (resolve_links(playstate_path(), target, sizeof target) != 0) return -1;
    int fd = open(target, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    char doc[XML_DOC_SIZE];
    struct stat st;
    long len = -1;
    // Read through the descriptor that will write: the bytes checked are
    // the bytes overwritten.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (size_t)st.st_size < sizeof doc) {
        ssize_t r = pread(fd, doc, (size_t)st.st_size, 0);
        if (r == st.st_size) len = (long)r;
    }
    size_t off = 0, vlen = 0, want = strlen(value);
    bool ok = len >= 0 && tag_find_value(doc, (size_t)len, tag, &off, &vlen) && vlen == want;
    if (ok && memcmp(doc + off, value, want) != 0) {
        // Last look right before the write: a file the web interface is
        // rewriting at this moment (shorter, or other bytes there) is left
        // to it rather than written into.
        char now[XML_VALUE_SIZE];
        struct stat again;
        ok = want <= sizeof now && fstat(fd, &again) == 0 && again.st_size == st.st_size &&
             pread(fd, now, want, (off_t)off) == (ssize_t)want &&
             memcmp(now, doc + off, want) == 0 &&
             pwrite(fd, value, want, (off_t)off) == (ssize_t)want && fsync(fd) == 0;
    }
    if (close(fd) != 0) ok = false;
    return ok ? 0 : -1;
}

int write_stopped_to_file() {
    char target[PATH_MAX];
    if (resolve_links(playstate_path(), target, sizeof target) != 0) return -1;
    char doc[XML_DOC_SIZE];
    struct stat st;
    long len = read_doc(target, doc, sizeof doc, &st);
    if (len < 0) return -1;
    char edited[XML_DOC_SIZE];
    long n = tag_replace_value(doc, (size_t)len, "<playstate>", STOPPED_TEXT,
                               sizeof STOPPED_TEXT - 1, edited, sizeof edited);
    if (n < 0) return -1;

    // Named like the other temporary files, so a start-up removes it if
    // this process dies before the rename.
    char tmp[PATH_MAX];
    size_t tlen = strlen(target);
    const char* mark = ATOMIC_SIGNAL_MARK;
    if (tlen + sizeof ATOMIC_SIGNAL_MARK + 24 > sizeof tmp) return -1;
    memcpy(tmp, target, tlen);
    memcpy(tmp + tlen, mark, sizeof ATOMIC_SIGNAL_MARK);
    append_number(tmp, tlen + sizeof ATOMIC_SIGNAL_MARK - 1, sizeof tmp, (long)getpid());
    int fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST && unlink(tmp) == 0)
        fd = open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return full_disk(errno) ? overwrite_value_in_place("<playstate>", STOPPED_TEXT) : -1;
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
        // not privileged: the file stays ours
    }
    bool ok =
        fchmod(fd, st.st_mode & 07777) == 0 && write_all(fd, edited, (size_t)n) && fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (close(fd) != 0) ok = false;
    if (!ok || rename(tmp, target) != 0) {
        unlink(tmp);
        return full_disk(err) ? overwrite_value_in_place("<playstate>", STOPPED_TEXT) : -1;
    }
    sync_folder_of(target);
    return 0;
}
