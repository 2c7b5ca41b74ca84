// The body parsing over arbitrary bytes: the data start, the image bounds
// and the field name must stay inside the body; the escaped name holds no
// markup.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fw_body.h"
#include "fw_html.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char name[FW_NAME_MAX + 1];
    size_t n = capture_field_name(data, size, name);
    if (n > FW_NAME_MAX || strlen(name) != n) abort();
    // As the answer shows it: whole, with no markup character left bare.
    char shown[FW_NAME_HTML_SIZE];
    size_t k = html_escape(name, shown, sizeof shown);
    if (k < n || k >= sizeof shown || strlen(shown) != k || strpbrk(shown, "<>\"'")) abort();
    size_t start;
    if (find_data_start(data, size, &start) && start > size + 2) abort();
    if (locate_image(data, size, &start) && (start > size || size - start < FW_IMAGE_SIZE)) abort();
    return 0;
}
