#include "fw_stage.h"

#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "atomic_file.h"
#include "fw_consts.h"
#include "fw_image.h"

Staging::~Staging() {
    file_.reset();
    if (temp_[0]) unlink(temp_);
}

bool Staging::create(const char* path) {
    if (snprintf(path_, sizeof path_, "%s", path) >= static_cast<int>(sizeof path_) ||
        snprintf(temp_, sizeof temp_, "%s%s", path, FW_STAGING_PART) >=
            static_cast<int>(sizeof temp_)) {
        temp_[0] = '\0';
        return false;
    }
    // unlink never follows a link: a planted one goes, not what it names.
    unlink(temp_);
    // Not inherited by the shell commands run on failure.
    UniqueFd fd(open(temp_, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) {
        temp_[0] = '\0';
        return false;
    }
    file_.reset(fdopen(fd.get(), "w+b"));
    if (file_) fd.release();
    return static_cast<bool>(file_);
}

bool Staging::place() {
    // link, unlike rename, fails when anything (a planted link) lies at
    // the staging path, and the name appears with the whole file behind it.
    if (file_ || !temp_[0] || link(temp_, path_) != 0) return false;
    unlink(temp_);
    temp_[0] = '\0';
    sync_dir_of(path_);
    return true;
}

bool staged_image_ok(FILE* file) {
    // A file cut or grown by another writer, or by a full disk, is no image,
    // whatever its mark says.
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || st.st_size != static_cast<off_t>(FW_IMAGE_SIZE))
        return false;
    if (fseek(file, FW_MARK_OFFSET, SEEK_SET) != 0) return false;
    uint8_t back[FW_MARK_LEN];
    if (fread(back, 1, FW_MARK_LEN, file) != FW_MARK_LEN) return false;
    char mark[FW_MARK_LEN + 1] = {};
    fill_name_mark(mark, back, FW_MARK_LEN);
    return name_mark_ok(mark);
}
