#include "cue_alloc.h"
#include "cue_line.h"
#include "cue_sheet.h"

#include "handles.h"
#include "regular_file.h"

#include <cstdio>
#include <cstring>

namespace {

// Where the chunks come from: the sheet file, or bytes in memory.
struct CueSource {
    void* ctx;
    size_t (*read)(void* ctx, char* buf, size_t n);
    bool (*seek_back)(void* ctx, size_t n);
};

size_t file_read(void* ctx, char* buf, size_t n) { return fread(buf, 1, n, (FILE*)ctx); }
bool file_seek_back(void* ctx, size_t n) { return fseek((FILE*)ctx, -(long)n, SEEK_CUR) == 0; }

struct Bytes {
    const char* data;
    size_t len;
    size_t pos;
};

size_t bytes_read(void* ctx, char* buf, size_t n) {
    Bytes* b = (Bytes*)ctx;
    if (n > b->len - b->pos) n = b->len - b->pos;
    memcpy(buf, b->data + b->pos, n);
    b->pos += n;
    return n;
}

bool bytes_seek_back(void* ctx, size_t n) {
    Bytes* b = (Bytes*)ctx;
    if (n > b->pos) return false;
    b->pos -= n;
    return true;
}

// The scanner reads each track's first index, so a sheet without tracks
// or a track without an index is refused. Otherwise the pointers go back
// to the first track and each track's first index.
bool hand_out(CUESheet* sheet) {
    CUETrack* t = sheet->track;
    if (!t) return false;
    for (; t; t = t->prev) {
        if (!t->index) return false;
        while (t->index->prev) t->index = t->index->prev;
        if (!t->prev) sheet->track = t;
    }
    return true;
}

enum ChunkResult { CHUNK_DONE, CHUNK_REREAD, CHUNK_REJECT };

// Parses the complete lines of one chunk. A line whose CR LF lies beyond
// the chunk is read again from its start with the next chunk; only a line
// that cannot fit the whole buffer is refused for its length.
ChunkResult parse_chunk(CUESheet* sheet, const char* buf, size_t got, size_t pos, bool last,
                        size_t* reread) {
    while (pos < got) {
        size_t e = pos;
        while (e < got && buf[e] != '\r' && buf[e] != '\n') e++;
        bool cut = e == got || (buf[e] == '\r' && e + 1 == got);
        if (cut && !last) {
            if (pos == 0) return CHUNK_REJECT;
            *reread = got - pos;
            return CHUNK_REREAD;
        }
        if (cut || buf[e] != '\r' || buf[e + 1] != '\n') return CHUNK_REJECT;
        if (!cue_parse_line(sheet, buf + pos, e - pos)) return CHUNK_REJECT;
        pos = e + 2;
    }
    return CHUNK_DONE;
}

CUESheet* parse_source(CueSource& src, size_t size) {
    if (size == 0) return nullptr;
    CUESheet* sheet = (CUESheet*)CUEAlloc(sizeof(CUESheet));
    if (!sheet) return nullptr;
    char buf[CUE_READ_CHUNK];
    memset(buf, 0, sizeof buf);
    size_t left = size;
    bool head = true;
    bool ok = true;
    while (ok && left > 0) {
        size_t want = left < sizeof buf ? left : sizeof buf;
        size_t got = src.read(src.ctx, buf, want);
        if (got != want) {  // the file shrank while it was read
            ok = false;
            break;
        }
        left -= got;
        size_t pos = 0;
        // A byte order mark can only stand at the head of the file; skipping
        // high bytes at every chunk would make lines depend on where chunks fall.
        if (head) {
            while (pos < got && ((unsigned char)buf[pos] & 0x80)) pos++;
            head = false;
        }
        size_t reread = 0;
        ChunkResult r = parse_chunk(sheet, buf, got, pos, left == 0, &reread);
        if (r == CHUNK_REJECT) ok = false;
        if (r == CHUNK_REREAD) {
            ok = src.seek_back(src.ctx, reread);
            left += reread;
        }
    }
    if (ok && hand_out(sheet)) return sheet;
    CUESheetFree(sheet);
    return nullptr;
}

}  // namespace

CUESheet* CUESheetParseBytes(const char* data, size_t len) {
    Bytes b{data, len, 0};
    CueSource src{&b, bytes_read, bytes_seek_back};
    return parse_source(src, len);
}

CUESheet* CUESheetParseFile(FILE* f) {
    if (!f || fseek(f, 0, SEEK_END) != 0) return nullptr;
    long size = ftell(f);
    if (size <= 0 || fseek(f, 0, SEEK_SET) != 0) return nullptr;
    CueSource src{f, file_read, file_seek_back};
    return parse_source(src, (size_t)size);
}

CUESheet* CUESheetParse(const char* audio_path) {
    char* path = CUESheetPath(audio_path);
    if (!path) return nullptr;
    // A FIFO or device named like the sheet would block the scan for ever.
    UniqueFile f = fopen_regular(path);
    CUERelease(path);
    return CUESheetParseFile(f.get());
}
