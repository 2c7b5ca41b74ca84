// Tag search and replacement over arbitrary document bytes.
#include "tagtext.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* doc = (const char*)data;
    static const char* const tags[] = {"<url>", "<position>", "<startposition>", "<loop>"};
    char out[XML_DOC_SIZE];
    for (const char* tag : tags) {
        size_t off = 0, len = 0;
        if (tag_find_value(doc, size, tag, &off, &len)) {
            if (off + len > size) __builtin_trap();
            if (off + len < size && doc[off + len] != '<') __builtin_trap();
        }
        long n = tag_replace_value(doc, size, tag, "12", 2, out, sizeof out);
        if (n >= (long)sizeof out) __builtin_trap();
        if (n >= 0 && strlen(out) > (size_t)n) __builtin_trap();
    }
    return 0;
}
