// The body parsing over arbitrary bytes: the data start, the image bounds
// and the field name must stay inside the body.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fw_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char name[FW_NAME_MAX + 1];
    size_t n = capture_field_name(data, size, name);
    if (n > FW_NAME_MAX || strlen(name) != n) abort();
    size_t start;
    if (find_data_start(data, size, &start) && start > size + 2) abort();
    if (locate_image(data, size, &start) && (start > size || size - start < FW_IMAGE_SIZE)) abort();
    return 0;
}
