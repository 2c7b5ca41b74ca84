// The context: directories, loaded packages, errors.
#include "uci_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

static const char* const ERROR_TEXT[] = {
    "Success",   "Out of memory", "Invalid argument", "Entry not found",
    "I/O error", "Parse error",   "Duplicate entry",  "Unknown error",
};

int uci_fail(uci_context* ctx, int err) {
    if (ctx) ctx->err = err;
    return err;
}

static uci_element* new_path(const char* dir) {
    uci_element* e = (uci_element*)calloc(1, sizeof(uci_element));
    if (!e) return nullptr;
    e->type = UCI_TYPE_PATH;
    if (!(e->name = strdup(dir))) {
        free(e);
        return nullptr;
    }
    return e;
}

static void free_path(uci_element* e) {
    list_del(&e->list);
    free(e->name);
    free(e);
}

extern "C" uci_context* uci_alloc_context(void) {
    uci_context* ctx = (uci_context*)calloc(1, sizeof(uci_context));
    if (!ctx) return nullptr;
    list_init(&ctx->root);
    list_init(&ctx->delta_path);
    ctx->confdir = strdup(UCI_CONFDIR);
    ctx->savedir = strdup(UCI_SAVEDIR);
    uci_element* dflt = new_path(UCI_SAVEDIR);
    if (!ctx->confdir || !ctx->savedir || !dflt) {
        free(dflt);
        uci_free_context(ctx);
        return nullptr;
    }
    list_add_tail(&ctx->delta_path, &dflt->list);
    return ctx;
}

extern "C" void uci_free_context(uci_context* ctx) {
    if (!ctx) return;
    uci_element *e, *tmp;
    uci_foreach_element_safe(&ctx->root, tmp, e) tree_free_package(uci_to_package(e));
    uci_foreach_element_safe(&ctx->delta_path, tmp, e) free_path(e);
    free(ctx->confdir);
    free(ctx->savedir);
    free(ctx);
}

extern "C" void uci_perror(uci_context* ctx, const char* prefix) {
    int err = ctx ? ctx->err : UCI_ERR_INVAL;
    if (err < 0 || err >= UCI_ERR_LAST) err = UCI_ERR_UNKNOWN;
    const char* sep = prefix ? ": " : "";
    if (!prefix) prefix = "";
    if (err == UCI_ERR_PARSE && ctx->parse_reason) {
        fprintf(stderr, "%s%s%s (%s) at line %d, byte %d\n", prefix, sep, ERROR_TEXT[err],
                ctx->parse_reason, ctx->parse_line, ctx->parse_byte);
    } else {
        fprintf(stderr, "%s%s%s\n", prefix, sep, ERROR_TEXT[err]);
    }
}

static int set_dir(uci_context* ctx, char** field, const char* dir) {
    if (!ctx || !dir || !*dir) return uci_fail(ctx, UCI_ERR_INVAL);
    char* copy = strdup(dir);
    if (!copy) return uci_fail(ctx, UCI_ERR_MEM);
    free(*field);
    *field = copy;
    return uci_fail(ctx, UCI_OK);
}

extern "C" int uci_set_confdir(uci_context* ctx, const char* dir) {
    return set_dir(ctx, &ctx->confdir, dir);
}

// Adds dir to the end of the replay order (moving it there if present).
extern "C" int uci_add_delta_path(uci_context* ctx, const char* dir) {
    if (!ctx || !dir || !*dir) return uci_fail(ctx, UCI_ERR_INVAL);
    uci_element *e, *tmp;
    uci_foreach_element_safe(&ctx->delta_path, tmp, e) {
        if (strcmp(e->name, dir) == 0) free_path(e);
    }
    if (!(e = new_path(dir))) return uci_fail(ctx, UCI_ERR_MEM);
    list_add_tail(&ctx->delta_path, &e->list);
    return uci_fail(ctx, UCI_OK);
}

// The new save dir is read after those already known, the default first.
extern "C" int uci_set_savedir(uci_context* ctx, const char* dir) {
    int r = uci_add_delta_path(ctx, dir);
    if (r != UCI_OK) return r;
    return set_dir(ctx, &ctx->savedir, dir);
}

int delta_dirs(uci_context* ctx, const char** dirs, int max) {
    int n = 0;
    uci_element* e;
    uci_foreach_element(&ctx->delta_path, e) {
        if (n < max - 1 && strcmp(e->name, ctx->savedir) != 0) dirs[n++] = e->name;
    }
    dirs[n++] = ctx->savedir;
    return n;
}

std::string join_path(const char* dir, const char* name) {
    std::string s = dir;
    s.push_back('/');
    s.append(name);
    return s;
}

bool read_fd(int fd, std::string* out) {
    out->clear();
    char buf[4096];
    off_t at = 0;
    for (;;) {
        ssize_t n = pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out->append(buf, (size_t)n);
        at += n;
    }
}
