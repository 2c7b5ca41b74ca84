#include "uci_cli_print.h"

#include "uci_internal.h"

#include <cstring>
#include <string>

void print_value_plain(FILE* out, const uci_option* o, const char* delim) {
    if (o->type == UCI_TYPE_STRING) {
        fprintf(out, "%s\n", o->v.string);
        return;
    }
    const char* sep = "";
    uci_element* e;
    uci_foreach_element(&o->v.list, e) {
        bool quote = strpbrk(e->name, " \t\r\n") != nullptr;
        fprintf(out, quote ? "%s'%s'" : "%s%s", sep, e->name);
        sep = delim;
    }
    fputc('\n', out);
}

// The name show prints for a section: anonymous ones as @type[N].
static std::string section_ref(uci_section* s, bool real_names) {
    if (!s->anonymous || real_names) return s->e.name;
    int index = 0;
    uci_element* e;
    uci_foreach_element(&s->package->sections, e) {
        if (e == &s->e) break;
        if (strcmp(uci_to_section(e)->type, s->type) == 0) index++;
    }
    return "@" + std::string(s->type) + "[" + std::to_string(index) + "]";
}

void show_option(FILE* out, uci_option* o, bool real_names) {
    uci_section* s = o->section;
    std::string line =
        std::string(s->package->e.name) + "." + section_ref(s, real_names) + "." + o->e.name + "=";
    if (o->type == UCI_TYPE_STRING) {
        append_quoted(&line, o->v.string);
    } else {
        const char* sep = "";
        uci_element* e;
        uci_foreach_element(&o->v.list, e) {
            line.append(sep);
            append_quoted(&line, e->name);
            sep = " ";
        }
    }
    fprintf(out, "%s\n", line.c_str());
}

void show_section(FILE* out, uci_section* s, bool real_names) {
    fprintf(out, "%s.%s=%s\n", s->package->e.name, section_ref(s, real_names).c_str(), s->type);
    uci_element* e;
    uci_foreach_element(&s->options, e) show_option(out, uci_to_option(e), real_names);
}

void show_package(FILE* out, uci_package* p, bool real_names) {
    uci_element* e;
    uci_foreach_element(&p->sections, e) show_section(out, uci_to_section(e), real_names);
}
