/*
 * OpenWrt's configuration library, the subset the box's programs use, for
 * machines that lack the real one. Source-compatible: client code uses the
 * same names and macros and compiles unchanged against the real header.
 */
#ifndef BOX_UCI_H
#define BOX_UCI_H

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define UCI_CONFDIR "/etc/config"
#define UCI_SAVEDIR "/tmp/.uci"

enum {
    UCI_OK = 0,
    UCI_ERR_MEM,
    UCI_ERR_INVAL,
    UCI_ERR_NOTFOUND,
    UCI_ERR_IO,
    UCI_ERR_PARSE,
    UCI_ERR_DUPLICATE,
    UCI_ERR_UNKNOWN,
    UCI_ERR_LAST
};

struct uci_list {
    struct uci_list *next;
    struct uci_list *prev;
};

enum uci_type {
    UCI_TYPE_UNSPEC = 0,
    UCI_TYPE_DELTA = 1,
    UCI_TYPE_PACKAGE = 2,
    UCI_TYPE_SECTION = 3,
    UCI_TYPE_OPTION = 4,
    UCI_TYPE_PATH = 5,
    UCI_TYPE_BACKEND = 6,
    UCI_TYPE_ITEM = 7,
    UCI_TYPE_HOOK = 8,
};

enum uci_option_type {
    UCI_TYPE_STRING = 0,
    UCI_TYPE_LIST = 1,
};

enum uci_command {
    UCI_CMD_ADD,
    UCI_CMD_REMOVE,
    UCI_CMD_CHANGE,
    UCI_CMD_RENAME,
    UCI_CMD_REORDER,
    UCI_CMD_LIST_ADD,
    UCI_CMD_LIST_DEL,
};

struct uci_element {
    struct uci_list list;
    enum uci_type type;
    char *name;
};

struct uci_context {
    struct uci_list root; /* loaded packages */
    char *confdir;
    char *savedir;              /* where uci_save writes */
    struct uci_list delta_path; /* save dirs replayed on load, in order */
    int err;
    /* details of the last parse error, for uci_perror */
    const char *parse_reason;
    int parse_line;
    int parse_byte;
};

struct uci_package {
    struct uci_element e;
    struct uci_list sections;
    struct uci_context *ctx;
    bool has_delta;
    char *path;
    int n_section;
    struct uci_list delta; /* changes not yet saved */
    struct uci_list saved_delta;
};

struct uci_section {
    struct uci_element e;
    struct uci_list options;
    struct uci_package *package;
    bool anonymous;
    char *type;
};

struct uci_option {
    struct uci_element e;
    struct uci_section *section;
    enum uci_option_type type;
    union {
        struct uci_list list;
        char *string;
    } v;
};

/* A pending change; e.name is the option (NULL for the section itself). */
struct uci_delta {
    struct uci_element e;
    enum uci_command cmd;
    char *section;
    char *value;
};

struct uci_ptr {
    enum uci_type target;
    enum {
        UCI_LOOKUP_DONE = (1 << 0),
        UCI_LOOKUP_COMPLETE = (1 << 1),
        UCI_LOOKUP_EXTENDED = (1 << 2),
    } flags;

    struct uci_package *p;
    struct uci_section *s;
    struct uci_option *o;
    struct uci_element *last;

    const char *package;
    const char *section;
    const char *option;
    const char *value;
};

#ifndef container_of
#define container_of(ptr, type, member) ((type *)(((char *)(ptr)) - offsetof(type, member)))
#endif

#define uci_list_to_element(ptr) container_of(ptr, struct uci_element, list)
#define uci_to_package(ptr) container_of(ptr, struct uci_package, e)
#define uci_to_section(ptr) container_of(ptr, struct uci_section, e)
#define uci_to_option(ptr) container_of(ptr, struct uci_option, e)
#define uci_to_delta(ptr) container_of(ptr, struct uci_delta, e)

#define uci_foreach_element(_list, _ptr)                                    \
    for (_ptr = uci_list_to_element((_list)->next); &_ptr->list != (_list); \
         _ptr = uci_list_to_element(_ptr->list.next))

#define uci_foreach_element_safe(_list, _tmp, _ptr)                                              \
    for (_ptr = uci_list_to_element((_list)->next), _tmp = uci_list_to_element(_ptr->list.next); \
         &_ptr->list != (_list); _ptr = _tmp, _tmp = uci_list_to_element(_ptr->list.next))

struct uci_context *uci_alloc_context(void);
void uci_free_context(struct uci_context *ctx);

void uci_perror(struct uci_context *ctx, const char *prefix);

int uci_set_confdir(struct uci_context *ctx, const char *dir);
int uci_set_savedir(struct uci_context *ctx, const char *dir);
int uci_add_delta_path(struct uci_context *ctx, const char *dir);

int uci_load(struct uci_context *ctx, const char *name, struct uci_package **package);
int uci_unload(struct uci_context *ctx, struct uci_package *p);

int uci_lookup_ptr(struct uci_context *ctx, struct uci_ptr *ptr, char *str, bool extended);
int uci_set(struct uci_context *ctx, struct uci_ptr *ptr);
int uci_add_list(struct uci_context *ctx, struct uci_ptr *ptr);
int uci_delete(struct uci_context *ctx, struct uci_ptr *ptr);
int uci_save(struct uci_context *ctx, struct uci_package *p);
int uci_commit(struct uci_context *ctx, struct uci_package **p, bool overwrite);

#ifdef __cplusplus
}
#endif

#endif
