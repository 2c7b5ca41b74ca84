// The config file as commit writes it.
#include "uci_internal.h"

#include <cstring>

void append_quoted(std::string* out, const char* value) {
    out->push_back('\'');
    for (const char* c = value; *c; c++) {
        if (*c == '\'')
            out->append("'\\''");
        else
            out->push_back(*c);
    }
    out->push_back('\'');
}

// Plain types are written bare; anything the reader would take apart is quoted.
static void append_type(std::string* out, const char* type) {
    for (const char* c = type; *c; c++) {
        bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                     (*c >= '0' && *c <= '9') || *c == '_' || *c == '-';
        if (!plain) return append_quoted(out, type);
    }
    out->append(type);
}

std::string export_package(const uci_package* p) {
    std::string out = "\n";
    uci_element* se;
    uci_foreach_element(&p->sections, se) {
        uci_section* s = uci_to_section(se);
        out.append("config ");
        append_type(&out, s->type);
        if (!s->anonymous) {
            out.push_back(' ');
            append_quoted(&out, se->name);
        }
        out.push_back('\n');
        uci_element* oe;
        uci_foreach_element(&s->options, oe) {
            uci_option* o = uci_to_option(oe);
            if (o->type == UCI_TYPE_STRING) {
                out.append("\toption ").append(oe->name).push_back(' ');
                append_quoted(&out, o->v.string);
                out.push_back('\n');
                continue;
            }
            uci_element* item;
            uci_foreach_element(&o->v.list, item) {
                out.append("\tlist ").append(oe->name).push_back(' ');
                append_quoted(&out, item->name);
                out.push_back('\n');
            }
        }
        out.push_back('\n');
    }
    return out;
}
