#include "list_words.h"

#include <cstring>

ListWords::ListWords(const char* text, size_t len) {
    // Runs between double quotes. An escaped quote splits a string here,
    // which only sends that name on to the full search.
    const char* end = text + len;
    words_.reserve(len / 32);  // a list entry holds four strings in ~150 bytes
    const char* p = (const char*)memchr(text, '"', len);
    while (p) {
        const char* start = p + 1;
        const char* q = (const char*)memchr(start, '"', (size_t)(end - start));
        if (!q) break;
        std::string_view run(start, (size_t)(q - start));
        words_.insert(run);
        size_t slash = run.rfind('/');
        if (slash != std::string_view::npos) words_.insert(run.substr(slash + 1));
        p = (const char*)memchr(q + 1, '"', (size_t)(end - q - 1));
    }
}
