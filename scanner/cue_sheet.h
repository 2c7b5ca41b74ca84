// CUE sheets beside APE files: a strict line grammar read through one
// 2048-byte buffer, with all memory from the CUEAlloc table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t CUE_READ_CHUNK = 2048;
constexpr size_t CUE_KEYWORD_MAX = 52;  // buffer size: words of 52+ chars are no keyword

struct CUEIndex {
    uint8_t number;
    uint8_t minutes;
    uint8_t seconds;
    uint8_t frames;
    CUEIndex* prev;
    CUEIndex* next;
};

struct CUETrack {
    uint16_t number;
    char* type;
    char* performer;
    char* title;
    CUEIndex* index;  // handed out: the track's first index
    CUETrack* prev;
    CUETrack* next;
};

struct CUESheet {
    char* catalog;
    char* performer;
    char* title;
    char* file_name;
    char* file_type;
    CUETrack* track;  // handed out: the first track
};

// The sheet's path for an audio path ending in ".ape" (any case): the same
// path ending in ".cue". A CUEAlloc block, or nullptr.
char* CUESheetPath(const char* audio_path);

// The sheet beside audio_path, or nullptr when there is none or it breaks
// the grammar. Every handed-out track has at least one index.
CUESheet* CUESheetParse(const char* audio_path);

// The sheet read from an open file, from its start to the size that
// seeking to its end gives; a file that shrinks while read yields nothing.
CUESheet* CUESheetParseFile(FILE* f);

// The same grammar over bytes already in memory, read through the same
// 2048-byte chunks as a file would be.
CUESheet* CUESheetParseBytes(const char* data, size_t len);

void CUESheetFree(CUESheet* sheet);
void CUETrackFree(CUETrack* track);
void CUEIndexFree(CUEIndex* index);
