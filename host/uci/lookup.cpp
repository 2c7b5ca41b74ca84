// Looking a path up: "pkg[.section[.option]][=value]", cut in place, with the
// extended section form "@type[N]".
#include "uci_internal.h"
#include "uci_load.h"

#include <cstdlib>
#include <cstring>

// Splits str in place into ptr's package, section, option and value.
static int parse_ptr(uci_ptr* ptr, char* str) {
    char* value = strchr(str, '=');
    if (value) {
        *value++ = '\0';
        ptr->value = value;
    }
    char* parts[3] = {str, nullptr, nullptr};
    int n = 1;
    for (char* c = str; *c; c++) {
        if (*c != '.') continue;
        if (n == 3) return UCI_ERR_PARSE;
        *c = '\0';
        parts[n++] = c + 1;
    }
    ptr->package = parts[0];
    ptr->section = parts[1];
    ptr->option = parts[2];
    if (!valid_package_name(ptr->package)) return UCI_ERR_PARSE;
    if (ptr->section && *ptr->section != '@' && !valid_name(ptr->section)) return UCI_ERR_PARSE;
    if (ptr->option && !valid_name(ptr->option)) return UCI_ERR_PARSE;
    return UCI_OK;
}

// "@type[N]": the N-th section of that type (any type for "@[N]"), from the
// end for negative N. Sets *found to nullptr when there is no such section.
static int lookup_extended(uci_package* p, const char* ref, uci_section** found) {
    *found = nullptr;
    const char* open = strchr(ref, '[');
    if (!open) return UCI_ERR_INVAL;
    size_t type_len = (size_t)(open - ref - 1);
    char* end;
    long idx = strtol(open + 1, &end, 10);
    if (*end != ']' || end[1] != '\0') return UCI_ERR_INVAL;

    auto matches = [&](uci_section* s) {
        return type_len == 0 ||
               (strlen(s->type) == type_len && memcmp(s->type, ref + 1, type_len) == 0);
    };
    long count = 0;
    uci_element* e;
    uci_foreach_element(&p->sections, e) count += matches(uci_to_section(e));
    if (idx < 0) idx += count;
    if (idx < 0 || idx >= count) return UCI_OK;
    uci_foreach_element(&p->sections, e) {
        uci_section* s = uci_to_section(e);
        if (matches(s) && idx-- == 0) {
            *found = s;
            break;
        }
    }
    return UCI_OK;
}

extern "C" int uci_lookup_ptr(uci_context* ctx, uci_ptr* ptr, char* str, bool extended) {
    if (!ctx || !ptr) return uci_fail(ctx, UCI_ERR_INVAL);
    if (str) {
        memset(ptr, 0, sizeof *ptr);
        int r = parse_ptr(ptr, str);
        if (r != UCI_OK) {
            memset(ptr, 0, sizeof *ptr);
            return uci_fail(ctx, r);
        }
    }
    if (!ptr->package) return uci_fail(ctx, UCI_ERR_INVAL);
    bool ext = ptr->section && ptr->section[0] == '@';
    if (ext && !extended) return uci_fail(ctx, UCI_ERR_INVAL);

    ptr->flags = (decltype(ptr->flags))(ext ? uci_ptr::UCI_LOOKUP_EXTENDED : 0);
    ptr->p = nullptr;
    ptr->s = nullptr;
    ptr->o = nullptr;
    ptr->last = nullptr;
    int r = uci_load(ctx, ptr->package, &ptr->p);
    if (r != UCI_OK) return r;
    ptr->last = &ptr->p->e;
    ptr->target = ptr->option    ? UCI_TYPE_OPTION
                  : ptr->section ? UCI_TYPE_SECTION
                                 : UCI_TYPE_PACKAGE;

    bool complete = true;
    if (ptr->section) {
        if (ext) {
            if ((r = lookup_extended(ptr->p, ptr->section, &ptr->s)) != UCI_OK)
                return uci_fail(ctx, r);
            if (ptr->s) ptr->section = ptr->s->e.name;
        } else {
            ptr->s = tree_find_section(ptr->p, ptr->section);
        }
        if (ptr->s) {
            ptr->last = &ptr->s->e;
            if (ptr->option) {
                ptr->o = tree_find_option(ptr->s, ptr->option);
                if (ptr->o) ptr->last = &ptr->o->e;
                complete = ptr->o != nullptr;
            }
        } else {
            complete = false;
        }
    }
    int flags =
        ptr->flags | uci_ptr::UCI_LOOKUP_DONE | (complete ? uci_ptr::UCI_LOOKUP_COMPLETE : 0);
    ptr->flags = (decltype(ptr->flags))flags;
    return uci_fail(ctx, UCI_OK);
}
