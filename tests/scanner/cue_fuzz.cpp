// Any bytes through the CUE grammar, read three ways: from memory, from a
// sheet file beside an APE name (the scanner's own path), and from a file
// whose size changes while it is read, as a sheet being copied or cut
// would. No crash, a handed-out sheet is in its documented state, the file
// gives what memory gives, and every parser block is back in the table.
#include "cue_alloc.h"
#include "cue_sheet.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void check_state(const CUESheet* s) {
    if (!s) return;
    if (!s->track || s->track->prev) abort();
    for (const CUETrack* t = s->track; t; t = t->next)
        if (!t->index || t->index->prev || (t->next && t->next->prev != t)) abort();
}

// What the scanner takes from a sheet, as text to compare.
std::string describe(const CUESheet* s) {
    if (!s) return "none";
    std::string d;
    for (const CUETrack* t = s->track; t; t = t->next) {
        char nums[48];
        snprintf(nums, sizeof nums, "%u %u:%u ", t->number, t->index->minutes, t->index->seconds);
        d += nums;
        d += t->title ? t->title : "-";
        d += '\n';
    }
    return d;
}

std::string g_dir;

void remove_dir() {
    unlink((g_dir + "/album.cue").c_str());
    rmdir(g_dir.c_str());
}

const std::string& sheet_dir() {
    if (g_dir.empty()) {
        char d[] = "/tmp/cue-fuzz-XXXXXX";
        if (!mkdtemp(d)) abort();
        g_dir = d;
        atexit(remove_dir);
    }
    return g_dir;
}

// A file that grows (by its own bytes again) or shrinks to new_len when it
// has been read change_at times.
struct Shifting {
    std::string data;
    size_t pos;
    int reads;
    int change_at;
    size_t new_len;
};

ssize_t shifting_read(void* c, char* buf, size_t n) {
    Shifting* f = (Shifting*)c;
    if (f->reads++ == f->change_at) {
        std::string grown = f->data;
        while (grown.size() < f->new_len) grown += f->data;
        grown.resize(f->new_len);
        f->data = grown;
    }
    if (f->pos >= f->data.size()) return 0;
    if (n > f->data.size() - f->pos) n = f->data.size() - f->pos;
    memcpy(buf, f->data.data() + f->pos, n);
    f->pos += n;
    return (ssize_t)n;
}

int shifting_seek(void* c, off64_t* off, int whence) {
    Shifting* f = (Shifting*)c;
    off64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? (off64_t)f->pos
                                        : (off64_t)f->data.size();
    if (base + *off < 0) return -1;
    f->pos = (size_t)(base + *off);
    *off = (off64_t)f->pos;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CUESheet* mem = CUESheetParseBytes((const char*)data, size);
    check_state(mem);
    std::string want = describe(mem);
    CUESheetFree(mem);

    std::string base = sheet_dir() + "/album";
    FILE* out = fopen((base + ".cue").c_str(), "wb");
    if (!out || fwrite(data, 1, size, out) != size || fclose(out) != 0) abort();
    CUESheet* file = CUESheetParse((base + ".ape").c_str());
    check_state(file);
    if (describe(file) != want) abort();
    CUESheetFree(file);

    if (size >= 2) {
        Shifting sh{std::string((const char*)data, size), 0, 0, data[0] % 4, size * data[1] / 128};
        cookie_io_functions_t io = {shifting_read, nullptr, shifting_seek, nullptr};
        FILE* f = fopencookie(&sh, "r", io);
        if (!f) abort();
        setvbuf(f, nullptr, _IONBF, 0);  // each chunk the parser asks for is one read
        CUESheet* shifting = CUESheetParseFile(f);
        check_state(shifting);
        CUESheetFree(shifting);
        fclose(f);
    }
    if (CUEAllocInUse() != 0) abort();
    return 0;
}
