#include "fw_stage.h"

#include <cstdint>
#include <cstring>

#include "fw_consts.h"
#include "fw_image.h"

bool staged_image_ok(FILE* file)
{
    // Only an image whose mark passed is ever staged.
    char mark[FW_MARK_LEN + 1];
    memcpy(mark, FW_MARK, sizeof mark);
    if (fseek(file, FW_MARK_OFFSET, SEEK_SET) != 0) return false;
    uint8_t back[FW_MARK_LEN];
    size_t n = fread(back, 1, FW_MARK_LEN, file);
    fill_name_mark(mark, back, n);
    return name_mark_ok(mark);
}
