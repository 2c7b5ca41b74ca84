#include "cue_line.h"

#include "cue_alloc.h"

#include <cstring>

namespace {

// Reads fields off a line; every read checks the bytes that are left.
struct Cursor {
    const char* p;
    const char* end;

    bool at_end() const { return p == end; }
    bool take(char c) {
        if (p == end || *p != c) return false;
        p++;
        return true;
    }
    // A run of digits, possibly empty; the value wraps in the field's width.
    template <typename T>
    T digits() {
        T v = 0;
        while (p < end && *p >= '0' && *p <= '9') v = (T)(v * 10 + (*p++ - '0'));
        return v;
    }
    void capitals(const char** s, size_t* n) {
        *s = p;
        while (p < end && *p >= 'A' && *p <= 'Z') p++;
        *n = (size_t)(p - *s);
    }
    // A double-quoted text without escapes, closed on this line.
    bool quoted(const char** s, size_t* n) {
        if (!take('"')) return false;
        const char* q = (const char*)memchr(p, '"', (size_t)(end - p));
        if (!q) return false;
        *s = p;
        *n = (size_t)(q - p);
        p = q + 1;
        return true;
    }
};

// Replaces *dst with a new table block holding n bytes of s.
bool set_text(char** dst, const char* s, size_t n) {
    char* t = (char*)CUEAlloc(n + 1);
    if (!t) return false;
    memcpy(t, s, n);
    t[n] = '\0';
    CUERelease(*dst);
    *dst = t;
    return true;
}

bool parse_catalog(CUESheet* sheet, Cursor& c) {
    const char* s = c.p;
    c.digits<unsigned>();
    return c.at_end() && set_text(&sheet->catalog, s, (size_t)(c.p - s));
}

bool parse_quoted_line(char** dst, Cursor& c) {
    const char* s;
    size_t n;
    return c.quoted(&s, &n) && c.at_end() && set_text(dst, s, n);
}

bool parse_file(CUESheet* sheet, Cursor& c) {
    const char* name;
    size_t name_len;
    const char* type;
    size_t type_len;
    if (!c.quoted(&name, &name_len) || !c.take(' ')) return false;
    c.capitals(&type, &type_len);
    return c.at_end() && set_text(&sheet->file_name, name, name_len) &&
           set_text(&sheet->file_type, type, type_len);
}

bool parse_track(CUESheet* sheet, Cursor& c) {
    uint16_t number = c.digits<uint16_t>();
    if (!c.take(' ')) return false;
    const char* type;
    size_t type_len;
    c.capitals(&type, &type_len);
    if (!c.at_end()) return false;
    CUETrack* t = (CUETrack*)CUEAlloc(sizeof(CUETrack));
    if (!t) return false;
    // Linked first, so a later failure releases it with the sheet.
    t->number = number;
    t->prev = sheet->track;
    if (sheet->track) sheet->track->next = t;
    sheet->track = t;
    return set_text(&t->type, type, type_len);
}

bool parse_index(CUESheet* sheet, Cursor& c) {
    CUETrack* t = sheet->track;
    if (!t) return false;  // no track to hold it
    uint8_t number = c.digits<uint8_t>();
    if (!c.take(' ')) return false;
    uint8_t minutes = c.digits<uint8_t>();
    if (!c.take(':')) return false;
    uint8_t seconds = c.digits<uint8_t>();
    if (!c.take(':')) return false;
    uint8_t frames = c.digits<uint8_t>();
    if (!c.at_end()) return false;
    CUEIndex* x = (CUEIndex*)CUEAlloc(sizeof(CUEIndex));
    if (!x) return false;
    x->number = number;
    x->minutes = minutes;
    x->seconds = seconds;
    x->frames = frames;
    x->prev = t->index;
    if (t->index) t->index->next = x;
    t->index = x;
    return true;
}

}  // namespace

bool cue_parse_line(CUESheet* sheet, const char* line, size_t len) {
    size_t indent = 0;
    while (indent < len && line[indent] == ' ') indent++;
    const char* word = line + indent;
    const char* space = (const char*)memchr(word, ' ', len - indent);
    if (!space) return false;
    size_t word_len = (size_t)(space - word);
    if (word_len >= CUE_KEYWORD_MAX) return false;

    Cursor c{space + 1, line + len};
    auto is = [&](const char* k) {
        return strlen(k) == word_len && memcmp(word, k, word_len) == 0;
    };

    if (is("CATALOG")) return parse_catalog(sheet, c);
    if (is("PERFORMER") || is("TITLE")) {
        bool title = word_len == 5;
        if (indent == 0) return parse_quoted_line(title ? &sheet->title : &sheet->performer, c);
        if (!sheet->track) return false;  // indented, but no track to hold it
        return parse_quoted_line(title ? &sheet->track->title : &sheet->track->performer, c);
    }
    if (is("FILE")) return parse_file(sheet, c);
    if (is("TRACK")) return parse_track(sheet, c);
    if (is("INDEX")) return parse_index(sheet, c);
    return is("FLAGS") || is("REM") || is("CDTEXTFILE");
}
