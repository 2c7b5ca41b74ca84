// Any bytes through the CUE grammar: no crash, a handed-out sheet is in its
// documented state, and every parser block is back in the table afterwards.
#include "cue_alloc.h"
#include "cue_sheet.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CUESheet* s = CUESheetParseBytes((const char*)data, size);
    if (s) {
        if (!s->track || s->track->prev) abort();
        for (const CUETrack* t = s->track; t; t = t->next)
            if (!t->index || t->index->prev || (t->next && t->next->prev != t)) abort();
    }
    CUESheetFree(s);
    if (CUEAllocInUse() != 0) abort();
    return 0;
}
