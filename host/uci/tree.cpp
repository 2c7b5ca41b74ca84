// The in-memory tree: packages, sections, options and list items.
#include "uci_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void list_init(uci_list* head) { head->next = head->prev = head; }

void list_add_tail(uci_list* head, uci_list* node) {
    node->prev = head->prev;
    node->next = head;
    head->prev->next = node;
    head->prev = node;
}

void list_del(uci_list* node) {
    node->prev->next = node->next;
    node->next->prev = node->prev;
    list_init(node);
}

bool list_empty(const uci_list* head) { return head->next == head; }

static bool valid_chars(const char* s, bool dash, bool any_printable) {
    if (!s || !*s) return false;
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')
            continue;
        if (c == '-' && dash) continue;
        if (any_printable && c > 32 && c < 127) continue;
        return false;
    }
    return true;
}

bool valid_name(const char* s) { return valid_chars(s, false, false); }
bool valid_package_name(const char* s) { return valid_chars(s, true, false); }
bool valid_type(const char* s) { return valid_chars(s, true, true); }

// Allocates an element of `size` bytes with its name copied (or none).
static uci_element* new_element(size_t size, uci_type type, const char* name) {
    uci_element* e = (uci_element*)calloc(1, size);
    if (!e) return nullptr;
    list_init(&e->list);
    e->type = type;
    if (name && !(e->name = strdup(name))) {
        free(e);
        return nullptr;
    }
    return e;
}

static void free_element(uci_element* e) {
    list_del(&e->list);
    free(e->name);
    free(e);
}

uci_package* tree_new_package(uci_context* ctx, const char* name) {
    uci_element* e = new_element(sizeof(uci_package), UCI_TYPE_PACKAGE, name);
    if (!e) return nullptr;
    uci_package* p = uci_to_package(e);
    p->ctx = ctx;
    list_init(&p->sections);
    list_init(&p->delta);
    list_init(&p->saved_delta);
    return p;
}

static void free_value(uci_option* o) {
    if (o->type == UCI_TYPE_STRING) {
        free(o->v.string);
    } else {
        uci_element *e, *tmp;
        uci_foreach_element_safe(&o->v.list, tmp, e) free_element(e);
    }
}

void tree_del_option(uci_option* o) {
    free_value(o);
    free_element(&o->e);
}

void tree_del_section(uci_section* s) {
    uci_element *e, *tmp;
    uci_foreach_element_safe(&s->options, tmp, e) tree_del_option(uci_to_option(e));
    free(s->type);
    free_element(&s->e);
}

void tree_clear_sections(uci_package* p) {
    uci_element *e, *tmp;
    uci_foreach_element_safe(&p->sections, tmp, e) tree_del_section(uci_to_section(e));
    p->n_section = 0;
}

void tree_free_package(uci_package* p) {
    tree_clear_sections(p);
    delta_clear(&p->delta);
    delta_clear(&p->saved_delta);
    free(p->path);
    free_element(&p->e);
}

uci_section* tree_find_section(uci_package* p, const char* name) {
    uci_element* e;
    uci_foreach_element(&p->sections, e) {
        if (strcmp(e->name, name) == 0) return uci_to_section(e);
    }
    return nullptr;
}

uci_option* tree_find_option(uci_section* s, const char* name) {
    uci_element* e;
    uci_foreach_element(&s->options, e) {
        if (strcmp(e->name, name) == 0) return uci_to_option(e);
    }
    return nullptr;
}

// djb hash of the type (signed chars, as the box's library adds them).
static unsigned type_hash(const char* type) {
    unsigned h = 5381;
    for (const char* c = type; *c; c++) h = ((h << 5) + h) + (unsigned)(int)(signed char)*c;
    return h & 0x7FFFFFFF;
}

uci_section* tree_add_section(uci_package* p, const char* type, const char* name) {
    char anon[32];
    int pos = ++p->n_section;
    if (!name) {
        snprintf(anon, sizeof anon, "cfg%02x%04x", (unsigned)pos & 0xffffffu,
                 type_hash(type) & 0xffff);
        name = anon;
    }
    uci_element* e = new_element(sizeof(uci_section), UCI_TYPE_SECTION, name);
    if (!e) return nullptr;
    uci_section* s = uci_to_section(e);
    list_init(&s->options);
    s->package = p;
    s->anonymous = (name == anon);
    if (!(s->type = strdup(type))) {
        free_element(e);
        return nullptr;
    }
    list_add_tail(&p->sections, &e->list);
    return s;
}

bool tree_set_type(uci_section* s, const char* type) {
    char* t = strdup(type);
    if (!t) return false;
    free(s->type);
    s->type = t;
    return true;
}

static uci_option* new_option(uci_section* s, const char* name) {
    uci_element* e = new_element(sizeof(uci_option), UCI_TYPE_OPTION, name);
    if (!e) return nullptr;
    uci_option* o = uci_to_option(e);
    o->section = s;
    list_add_tail(&s->options, &e->list);
    return o;
}

uci_option* tree_set_string(uci_section* s, const char* name, const char* value) {
    char* v = strdup(value);
    if (!v) return nullptr;
    uci_option* o = tree_find_option(s, name);
    if (o) {
        free_value(o);
    } else if (!(o = new_option(s, name))) {
        free(v);
        return nullptr;
    }
    o->type = UCI_TYPE_STRING;
    o->v.string = v;
    return o;
}

uci_option* tree_add_item(uci_section* s, const char* name, const char* value) {
    uci_option* o = tree_find_option(s, name);
    if (!o) {
        if (!(o = new_option(s, name))) return nullptr;
        o->type = UCI_TYPE_LIST;
        list_init(&o->v.list);
    } else if (o->type == UCI_TYPE_STRING) {
        // An option given again as a list item becomes a list, its value first.
        char* old = o->v.string;
        o->type = UCI_TYPE_LIST;
        list_init(&o->v.list);
        uci_element* first = new_element(sizeof(uci_element), UCI_TYPE_ITEM, old);
        free(old);
        if (!first) return nullptr;
        list_add_tail(&o->v.list, &first->list);
    }
    uci_element* item = new_element(sizeof(uci_element), UCI_TYPE_ITEM, value);
    if (!item) return nullptr;
    list_add_tail(&o->v.list, &item->list);
    return o;
}

void tree_del_items(uci_option* o, const char* value) {
    if (o->type != UCI_TYPE_LIST) return;
    uci_element *e, *tmp;
    uci_foreach_element_safe(&o->v.list, tmp, e) {
        if (strcmp(e->name, value) == 0) free_element(e);
    }
}
