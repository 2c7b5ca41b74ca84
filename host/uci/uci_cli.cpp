#include "uci_cli.h"

#include "uci_cli_print.h"
#include "uci_internal.h"

#include "handles.h"
#include "regular_file.h"
#include "uci_context.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <vector>

namespace {

const int USAGE_STATUS = 255;

struct Cli {
    uci_context* ctx;
    const char* app;
    const char* delim = " ";
    bool quiet = false;
    bool real_names = false;
    bool no_commit = false;

    int fail(int err = -1) {
        if (err >= 0) ctx->err = err;
        if (!quiet) uci_perror(ctx, app);
        return 1;
    }

    // Looks arg up; 1 (reported) when that fails or, with need_complete, when
    // the entry is missing.
    int lookup(char* arg, uci_ptr* ptr, bool need_complete) {
        if (uci_lookup_ptr(ctx, ptr, arg, true) != UCI_OK) return fail();
        if (need_complete && !(ptr->flags & uci_ptr::UCI_LOOKUP_COMPLETE))
            return fail(UCI_ERR_NOTFOUND);
        return 0;
    }

    int get(char* arg) {
        uci_ptr ptr;
        if (lookup(arg, &ptr, true)) return 1;
        if (ptr.last->type == UCI_TYPE_SECTION)
            printf("%s\n", ptr.s->type);
        else if (ptr.last->type == UCI_TYPE_OPTION)
            print_value_plain(stdout, ptr.o, delim);
        return 0;
    }

    // set, delete and add_list: one change, saved as pending.
    int change(char* arg, int (*op)(uci_context*, uci_ptr*), bool need_complete) {
        uci_ptr ptr;
        if (lookup(arg, &ptr, need_complete)) return 1;
        if (op(ctx, &ptr) != UCI_OK || uci_save(ctx, ptr.p) != UCI_OK) return fail();
        return 0;
    }

    int show(char* arg) {
        if (!arg) {
            for (const std::string& name : packages()) {
                uci_package* p;
                if (uci_load(ctx, name.c_str(), &p) != UCI_OK) return fail();
                show_package(stdout, p, real_names);
            }
            return 0;
        }
        uci_ptr ptr;
        if (lookup(arg, &ptr, true)) return 1;
        if (ptr.last->type == UCI_TYPE_PACKAGE) show_package(stdout, ptr.p, real_names);
        if (ptr.last->type == UCI_TYPE_SECTION) show_section(stdout, ptr.s, real_names);
        if (ptr.last->type == UCI_TYPE_OPTION) show_option(stdout, ptr.o, real_names);
        return 0;
    }

    // The pending lines of every save dir, as stored.
    int changes(const char* arg) {
        const char* dirs[16];
        int n = delta_dirs(ctx, dirs, 16);
        std::vector<std::string> names = arg ? std::vector<std::string>{arg} : packages();
        for (const std::string& name : names) {
            if (!valid_package_name(name.c_str())) return fail(UCI_ERR_INVAL);
            for (int i = 0; i < n; i++) {
                UniqueFd fd = open_regular(join_path(dirs[i], name.c_str()).c_str(), O_RDONLY);
                std::string text;
                if (!fd || flock(fd.get(), LOCK_SH) != 0 || !read_fd(fd.get(), &text)) continue;
                fwrite(text.data(), 1, text.size(), stdout);
            }
        }
        return 0;
    }

    int commit(const char* arg) {
        // State dirs (-P) hold runtime values that never go to the config.
        if (no_commit) return 0;
        std::vector<std::string> names = arg ? std::vector<std::string>{arg} : packages();
        for (const std::string& name : names) {
            uci_package* p;
            if (uci_load(ctx, name.c_str(), &p) != UCI_OK || uci_commit(ctx, &p, false) != UCI_OK)
                return fail();
        }
        return 0;
    }

    // The packages of the config dir, in name order.
    std::vector<std::string> packages() {
        std::vector<std::string> names;
        UniqueDir d(opendir(ctx->confdir));
        while (struct dirent* e = d ? readdir(d.get()) : nullptr) {
            struct stat st;
            if (!valid_package_name(e->d_name)) continue;
            if (stat(join_path(ctx->confdir, e->d_name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            names.push_back(e->d_name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

int usage(const char* app) {
    fprintf(stderr,
            "Usage: %s [<options>] <command> [<arguments>]\n\n"
            "Commands:\n"
            "\tget      <config>.<section>[.<option>]\n"
            "\tset      <config>.<section>[.<option>]=<value>\n"
            "\tdelete   <config>.<section>[.<option>]\n"
            "\tadd_list <config>.<section>.<option>=<value>\n"
            "\tshow     [<config>[.<section>[.<option>]]]\n"
            "\tchanges  [<config>]\n"
            "\tcommit   [<config>]\n\n"
            "Options:\n"
            "\t-c <path>  set the search path for config files (default: " UCI_CONFDIR
            ")\n"
            "\t-d <str>   set the delimiter for list values in uci get\n"
            "\t-P <path>  add a search path for config change files and use as default\n"
            "\t-p <path>  add a search path for config change files\n"
            "\t-t <path>  set the save path for config change files\n"
            "\t-q         quiet mode (don't print error messages)\n"
            "\t-X         do not use extended syntax on 'show'\n",
            app);
    return USAGE_STATUS;
}

}  // namespace

int uci_cli(int argc, char** argv) {
    const char* app = argc > 0 ? argv[0] : "uci";
    UciContext ctx(uci_alloc_context());
    if (!ctx) {
        fprintf(stderr, "%s: Out of memory\n", app);
        return 1;
    }
    Cli cli{ctx.get(), app};
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1]; i++) {
        char opt = argv[i][1];
        const char* value = nullptr;
        if (strchr("cdPpt", opt)) {
            value = argv[i][2] ? argv[i] + 2 : (i + 1 < argc ? argv[++i] : nullptr);
            if (!value) return usage(app);
        } else if (argv[i][2]) {
            return usage(app);
        }
        int r = UCI_OK;
        switch (opt) {
        case 'c':
            r = uci_set_confdir(cli.ctx, value);
            break;
        case 'd':
            cli.delim = value;
            break;
        case 'P':
            cli.no_commit = true;
            r = uci_set_savedir(cli.ctx, value);
            break;
        case 'p':
            r = uci_add_delta_path(cli.ctx, value);
            break;
        case 't':
            r = uci_set_savedir(cli.ctx, value);
            break;
        case 'q':
            cli.quiet = true;
            break;
        case 'X':
            cli.real_names = true;
            break;
        default:
            return usage(app);
        }
        if (r != UCI_OK) return cli.fail();
    }
    if (i >= argc) return usage(app);
    const char* cmd = argv[i++];
    int nargs = argc - i;
    char* arg = nargs > 0 ? argv[i] : nullptr;
    bool one = nargs == 1, at_most_one = nargs <= 1;

    if (!strcmp(cmd, "get") && one) return cli.get(arg);
    if (!strcmp(cmd, "set") && one) return cli.change(arg, uci_set, false);
    if (!strcmp(cmd, "delete") && one) return cli.change(arg, uci_delete, true);
    if (!strcmp(cmd, "add_list") && one) return cli.change(arg, uci_add_list, false);
    if (!strcmp(cmd, "show") && at_most_one) return cli.show(arg);
    if (!strcmp(cmd, "changes") && at_most_one) return cli.changes(arg);
    if (!strcmp(cmd, "commit") && at_most_one) return cli.commit(arg);
    return usage(app);
}
