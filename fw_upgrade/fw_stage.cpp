#include "fw_stage.h"

#include <cstdint>
#include <sys/stat.h>

#include "fw_consts.h"
#include "fw_image.h"

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
