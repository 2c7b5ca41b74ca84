#include "atomic_stream.h"

#include "atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Few large writes instead of many small ones, in a fixed amount of memory.
constexpr size_t STREAM_BUFFER = 64 * 1024;

}  // namespace

bool AtomicStream::open(const char* path) {
    discard();
    if (snprintf(path_, sizeof path_, "%s", path) >= (int)sizeof path_ ||
        snprintf(tmp_, sizeof tmp_, "%s.tmpXXXXXX", path) >= (int)sizeof tmp_) {
        tmp_[0] = '\0';
        errno = ENAMETOOLONG;
        return false;
    }
    UniqueFd fd(mkostemp(tmp_, O_CLOEXEC));
    if (!fd) {
        tmp_[0] = '\0';
        return false;
    }
    FILE* f = fdopen(fd.get(), "w");
    if (!f) {
        int err = errno;
        unlink(tmp_);
        tmp_[0] = '\0';
        errno = err;
        return false;
    }
    fd.release();
    file_.reset(f);
    buf_.reset(new char[STREAM_BUFFER]);
    setvbuf(f, buf_.get(), _IOFBF, STREAM_BUFFER);
    return true;
}

int AtomicStream::commit() {
    if (!file_) {
        errno = EBADF;
        return -1;
    }
    errno = 0;
    mode_t mode = 0644;
    struct stat st;
    if (stat(path_, &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
    int err = 0;
    // Best effort: a FAT disk refuses most mode changes, and the file is
    // worth having there all the same.
    (void)!fchmod(fileno(file_.get()), mode);
    if (fflush(file_.get()) != 0 || ferror(file_.get()) || fsync(fileno(file_.get())) != 0)
        err = errno ? errno : EIO;
    if (file_.reset() != 0 && !err) err = errno;
    if (!err && rename(tmp_, path_) != 0) err = errno;
    if (err) {
        discard();
        errno = err;
        return -1;
    }
    tmp_[0] = '\0';
    buf_.reset();
    sync_dir_of(path_);
    return 0;
}

void AtomicStream::discard() {
    file_.reset();
    buf_.reset();
    if (tmp_[0]) unlink(tmp_);
    tmp_[0] = '\0';
}
