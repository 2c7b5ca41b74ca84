// The renderer's process line comes from the process list: any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "renderer_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char out[20];
    const char* line = reinterpret_cast<const char*>(data);
    bool found = renderer_address(line, size, out, sizeof out);
    if (strlen(out) >= sizeof out || (!found && out[0] != '\0')) __builtin_trap();
    return 0;
}
