#include "cue_sheet.h"

#include "cue_alloc.h"

#include <cctype>
#include <cstring>

char* CUESheetPath(const char* audio_path) {
    if (!audio_path) return nullptr;
    size_t n = strlen(audio_path);
    if (n < 4) return nullptr;
    const char* ext = audio_path + n - 4;
    if (ext[0] != '.' || tolower((unsigned char)ext[1]) != 'a' ||
        tolower((unsigned char)ext[2]) != 'p' || tolower((unsigned char)ext[3]) != 'e')
        return nullptr;
    char* p = (char*)CUEAlloc(n + 1);
    if (!p) return nullptr;
    memcpy(p, audio_path, n - 3);
    memcpy(p + n - 3, "cue", 4);
    return p;
}

void CUEIndexFree(CUEIndex* index) { CUERelease(index); }

void CUETrackFree(CUETrack* track) {
    if (!track) return;
    CUEIndex* last = track->index;
    while (last && last->next) last = last->next;
    while (last) {
        CUEIndex* prev = last->prev;
        CUEIndexFree(last);
        last = prev;
    }
    CUERelease(track->type);
    CUERelease(track->performer);
    CUERelease(track->title);
    CUERelease(track);
}

void CUESheetFree(CUESheet* sheet) {
    if (!sheet) return;
    CUETrack* last = sheet->track;
    while (last && last->next) last = last->next;
    while (last) {
        CUETrack* prev = last->prev;
        CUETrackFree(last);
        last = prev;
    }
    CUERelease(sheet->catalog);
    CUERelease(sheet->performer);
    CUERelease(sheet->title);
    CUERelease(sheet->file_name);
    CUERelease(sheet->file_type);
    CUERelease(sheet);
}
