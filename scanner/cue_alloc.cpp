#include "cue_alloc.h"

#include <cstdlib>

namespace {

struct Slot {
    void* ptr;
    size_t size;
};

// Zero-initialised static storage: the table is clear before first use.
Slot g_cue_slots[CUE_ALLOC_SLOTS];

}  // namespace

void* CUEAlloc(size_t size) {
    if (size == 0) return nullptr;
    for (Slot& s : g_cue_slots) {
        if (s.ptr || s.size) continue;
        void* p = calloc(1, size);
        if (!p) return nullptr;
        s.ptr = p;
        s.size = size;
        return p;
    }
    return nullptr;
}

void CUERelease(void* p) {
    if (!p) return;
    for (Slot& s : g_cue_slots) {
        if (s.ptr != p) continue;
        free(s.ptr);
        s.ptr = nullptr;
        s.size = 0;
        return;
    }
}

size_t CUEAllocInUse() {
    size_t n = 0;
    for (const Slot& s : g_cue_slots)
        if (s.ptr || s.size) n++;
    return n;
}
