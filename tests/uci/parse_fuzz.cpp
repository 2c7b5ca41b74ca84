// The config file reader and the pending-change reader over arbitrary bytes:
// no crash, no leak, and whatever reads back is written so that it reads back
// the same.
#include "uci_internal.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

static uci_package* parse(uci_context* ctx, const char* data, size_t len) {
    uci_package* p = tree_new_package(ctx, "fuzz");
    if (parse_config(ctx, p, data, len) == UCI_OK) return p;
    tree_free_package(p);
    return nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uci_context* ctx = uci_alloc_context();
    const char* text = (const char*)data;
    if (uci_package* p = parse(ctx, text, size)) {
        std::string once = export_package(p);
        uci_package* again = parse(ctx, once.data(), once.size());
        if (!again || export_package(again) != once) {
            fprintf(stderr, "written config does not read back:\n%s", once.c_str());
            abort();
        }
        tree_free_package(again);
        // The same bytes as a save file replayed onto what they described.
        delta_apply_text(p, text, size);
        export_package(p);
        tree_free_package(p);
    }
    const char base[] = "config t 'a'\n\toption o '1'\n\tlist l 'x'\nconfig t\n";
    if (uci_package* p = parse(ctx, base, sizeof base - 1)) {
        delta_apply_text(p, text, size);
        tree_free_package(p);
    }
    uci_free_context(ctx);
    return 0;
}
