#include "fw_stage.h"

#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>

#include "fw_consts.h"
#include "fw_image.h"

UniqueFile create_staging(const char* path)
{
    // Not inherited by the shell commands run on failure.
    UniqueFd fd(open(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return UniqueFile();
    UniqueFile file(fdopen(fd.get(), "w+b"));
    if (file) fd.release();
    return file;
}

bool staged_image_ok(FILE* file)
{
    // A file cut or grown by another writer, or by a full disk, is no image,
    // whatever its mark says.
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || st.st_size != static_cast<off_t>(FW_IMAGE_SIZE)) return false;
    if (fseek(file, FW_MARK_OFFSET, SEEK_SET) != 0) return false;
    uint8_t back[FW_MARK_LEN];
    if (fread(back, 1, FW_MARK_LEN, file) != FW_MARK_LEN) return false;
    char mark[FW_MARK_LEN + 1] = {};
    fill_name_mark(mark, back, FW_MARK_LEN);
    return name_mark_ok(mark);
}
