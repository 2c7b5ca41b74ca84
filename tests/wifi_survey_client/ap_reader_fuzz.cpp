#include "ap_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy so any read past the list is caught.
    char* list = (char*)malloc(size ? size : 1);
    if (size) memcpy(list, data, size);
    size_t cursor = 0;
    ApEntry e;
    while (cursor < size) {
        size_t before = cursor;
        if (read_ap_entry(list, size, &cursor, &e) == ApRead::NoEntry) break;
        if (cursor <= before) abort();  // the walk must always move on
        if (strlen(e.name) > AP_NAME_MAX || strlen(e.channel) > 4) abort();
    }
    free(list);
    return 0;
}
