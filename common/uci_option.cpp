#include "uci_option.h"

#include "bounded.h"

#include <cstdio>
#include <cstring>
#include <uci.h>

struct uci_context* g_uci_ctx = nullptr;
bool g_uci_markers = false;

// The library's uci_perror adds to a static buffer on every call and
// overruns it after about 127 reports; a daemon reports once per pass, so
// the same line is written here directly.
static void report_not_found() { fputs("uci: Entry not found\n", stderr); }

static void print_list(const struct uci_option* o) {
    const char* sep = "";
    struct uci_element* e;
    uci_foreach_element(&o->v.list, e) {
        printf("%s%s", sep, e->name);
        sep = " ";
    }
    printf("\n");
}

static int read_option(const struct uci_ptr& ptr, char* value, size_t value_size) {
    const struct uci_option* o = ptr.o;
    switch (o->type) {
    case UCI_TYPE_STRING: {
        size_t len = strlen(o->v.string);
        // A cut value would be another, wrong value (an address, a network name).
        if (!fits_bounded(value_size, len)) {
            fprintf(stderr, "uci: value of %s.%s.%s too long (%zu bytes, buffer %zu)\n",
                    ptr.package, ptr.section, ptr.option, len, value_size);
            return 1;
        }
        memcpy(value, o->v.string, len + 1);
        return 0;
    }
    case UCI_TYPE_LIST:
        print_list(o);
        return 0;
    default:
        printf("<unknown>\n");
        return 0;
    }
}

int get_uci_option(char* path, char* value, size_t value_size) {
    struct uci_ptr ptr;
    if (uci_lookup_ptr(g_uci_ctx, &ptr, path, true) != UCI_OK) {
        if (g_uci_markers) printf("<zzzzzzz>\n");
        return 1;
    }
    if (!(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE)) {
        g_uci_ctx->err = UCI_ERR_NOTFOUND;  // as uci_perror would have reported it
        report_not_found();
        if (g_uci_markers) printf("<yyyyyyyy>\n");
        return 1;
    }
    switch (ptr.last->type) {
    case UCI_TYPE_SECTION:
        printf("%s\n", ptr.s->type);
        return 0;
    case UCI_TYPE_OPTION:
        return read_option(ptr, value, value_size);
    default:
        return 0;
    }
}

int set_uci_option(char* assignment) {
    struct uci_ptr ptr;
    if (uci_lookup_ptr(g_uci_ctx, &ptr, assignment, true) != UCI_OK) return 1;
    if (uci_set(g_uci_ctx, &ptr) != UCI_OK) return 1;
    return uci_save(g_uci_ctx, ptr.p) != UCI_OK ? 1 : 0;
}
