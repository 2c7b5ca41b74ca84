// Changing the tree through a looked-up pointer; each change is remembered
// for uci_save.
#include "uci_internal.h"

#include <cstring>

static int changed(uci_context* ctx, uci_package* p, uci_command cmd, const char* section,
                   const char* option, const char* value) {
    return uci_fail(ctx, delta_record(p, cmd, section, option, value) ? UCI_OK : UCI_ERR_MEM);
}

extern "C" int uci_delete(uci_context* ctx, uci_ptr* ptr) {
    if (!ctx || !ptr || !ptr->p || !ptr->section) return uci_fail(ctx, UCI_ERR_INVAL);
    uci_section* s = tree_find_section(ptr->p, ptr->section);
    // Nothing there, nothing to delete: no change is recorded.
    if (!s) return uci_fail(ctx, UCI_OK);
    const char* section = s->e.name;
    if (ptr->option) {
        uci_option* o = tree_find_option(s, ptr->option);
        if (!o) return uci_fail(ctx, UCI_OK);
        // Recorded first: the option's name is freed with it.
        int r = changed(ctx, ptr->p, UCI_CMD_REMOVE, section, ptr->option, nullptr);
        if (r == UCI_OK) tree_del_option(o);
        ptr->o = nullptr;
        ptr->last = &s->e;
        return r;
    }
    int r = changed(ctx, ptr->p, UCI_CMD_REMOVE, section, nullptr, nullptr);
    if (r == UCI_OK) tree_del_section(s);
    ptr->s = nullptr;
    ptr->o = nullptr;
    ptr->last = &ptr->p->e;
    return r;
}

extern "C" int uci_set(uci_context* ctx, uci_ptr* ptr) {
    if (!ctx || !ptr || !ptr->p || !ptr->section || !ptr->value)
        return uci_fail(ctx, UCI_ERR_INVAL);
    if (!ptr->value[0]) return uci_delete(ctx, ptr);
    uci_section* s = tree_find_section(ptr->p, ptr->section);

    if (ptr->option) {
        if (!s || !valid_name(ptr->option)) return uci_fail(ctx, UCI_ERR_INVAL);
        uci_option* o = tree_find_option(s, ptr->option);
        if (o && o->type == UCI_TYPE_STRING && strcmp(o->v.string, ptr->value) == 0) {
            ptr->o = o;
            ptr->last = &o->e;
            return uci_fail(ctx, UCI_OK);
        }
        if (!(o = tree_set_string(s, ptr->option, ptr->value))) return uci_fail(ctx, UCI_ERR_MEM);
        ptr->s = s;
        ptr->o = o;
        ptr->last = &o->e;
        return changed(ctx, ptr->p, UCI_CMD_CHANGE, s->e.name, ptr->option, ptr->value);
    }

    if (!valid_type(ptr->value)) return uci_fail(ctx, UCI_ERR_INVAL);
    if (s && strcmp(s->type, ptr->value) == 0) {
        ptr->s = s;
        ptr->last = &s->e;
        return uci_fail(ctx, UCI_OK);
    }
    if (s) {
        if (!tree_set_type(s, ptr->value)) return uci_fail(ctx, UCI_ERR_MEM);
    } else {
        if (!valid_name(ptr->section)) return uci_fail(ctx, UCI_ERR_INVAL);
        if (!(s = tree_add_section(ptr->p, ptr->value, ptr->section)))
            return uci_fail(ctx, UCI_ERR_MEM);
    }
    ptr->s = s;
    ptr->last = &s->e;
    return changed(ctx, ptr->p, UCI_CMD_CHANGE, s->e.name, nullptr, ptr->value);
}

extern "C" int uci_add_list(uci_context* ctx, uci_ptr* ptr) {
    if (!ctx || !ptr || !ptr->p || !ptr->section || !ptr->option || !ptr->value)
        return uci_fail(ctx, UCI_ERR_INVAL);
    uci_section* s = tree_find_section(ptr->p, ptr->section);
    if (!s || !valid_name(ptr->option)) return uci_fail(ctx, UCI_ERR_INVAL);
    uci_option* o = tree_add_item(s, ptr->option, ptr->value);
    if (!o) return uci_fail(ctx, UCI_ERR_MEM);
    ptr->o = o;
    ptr->last = &o->e;
    return changed(ctx, ptr->p, UCI_CMD_LIST_ADD, s->e.name, ptr->option, ptr->value);
}
