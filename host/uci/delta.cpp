// The pending-change store: one line per change in <savedir>/<package>, such
// as "wireless.radio0.channel='6'" or "-wireless.radio0.channel".
#include "uci_internal.h"

#include <cstdlib>
#include <cstring>

static const char DELTA_PREFIX[] = {
    '+',  // UCI_CMD_ADD
    '-',  // UCI_CMD_REMOVE
    0,    // UCI_CMD_CHANGE
    '@',  // UCI_CMD_RENAME
    '^',  // UCI_CMD_REORDER
    '|',  // UCI_CMD_LIST_ADD
    '~',  // UCI_CMD_LIST_DEL
};

bool delta_apply(uci_package* p, uci_command cmd, const char* section, const char* option,
                 const char* value) {
    if (!valid_name(section) || (option && !valid_name(option))) return false;
    uci_section* s = tree_find_section(p, section);
    switch (cmd) {
    case UCI_CMD_ADD:
    case UCI_CMD_CHANGE:
        if (!value) return false;
        if (option) return s && tree_set_string(s, option, value);
        if (!valid_type(value)) return false;
        if (s) return tree_set_type(s, value);
        if (!(s = tree_add_section(p, value, section))) return false;
        // An added section keeps the generated name it was saved under.
        s->anonymous = cmd == UCI_CMD_ADD;
        return true;
    case UCI_CMD_REMOVE:
        if (!s) return false;
        if (!option) {
            tree_del_section(s);
            return true;
        }
        if (uci_option* o = tree_find_option(s, option)) {
            tree_del_option(o);
            return true;
        }
        return false;
    case UCI_CMD_LIST_ADD:
        return s && option && value && tree_add_item(s, option, value);
    case UCI_CMD_LIST_DEL:
        if (!s || !option || !value) return false;
        if (uci_option* o = tree_find_option(s, option)) {
            tree_del_items(o, value);
            return true;
        }
        return false;
    default:
        return false;  // renames and reorders are not kept by this store
    }
}

static uci_command command_of(char c) {
    for (int i = 0; i < (int)sizeof DELTA_PREFIX; i++) {
        if (DELTA_PREFIX[i] && DELTA_PREFIX[i] == c) return (uci_command)i;
    }
    return UCI_CMD_CHANGE;
}

// One line: [prefix]pkg.section[.option][=value], the whole of it one word.
static bool apply_line(uci_package* p, const char* data, size_t len, size_t* pos) {
    std::string word;
    const char* reason;
    if (read_word(data, len, pos, &word, &reason) <= 0 || word.empty()) return false;
    uci_command cmd = command_of(word[0]);
    char* path = &word[cmd == UCI_CMD_CHANGE ? 0 : 1];
    char* value = strchr(path, '=');
    if (value) *value++ = '\0';
    char* section = strchr(path, '.');
    if (!section) return false;
    *section++ = '\0';
    char* option = strchr(section, '.');
    if (option) *option++ = '\0';
    if (strcmp(path, p->e.name) != 0) return false;
    return delta_apply(p, cmd, section, option, value);
}

int delta_apply_text(uci_package* p, const char* data, size_t len) {
    int applied = 0;
    size_t pos = 0;
    while (pos < len) {
        if (apply_line(p, data, len, &pos)) applied++;
        const char* nl = (const char*)memchr(data + pos, '\n', len - pos);
        if (!nl) break;
        pos = (size_t)(nl - data) + 1;
    }
    return applied;
}

bool delta_record(uci_package* p, uci_command cmd, const char* section, const char* option,
                  const char* value) {
    uci_delta* d = (uci_delta*)calloc(1, sizeof(uci_delta));
    if (!d) return false;
    d->e.type = UCI_TYPE_DELTA;
    d->cmd = cmd;
    d->section = strdup(section);
    d->e.name = option ? strdup(option) : nullptr;
    d->value = value ? strdup(value) : nullptr;
    if (!d->section || (option && !d->e.name) || (value && !d->value)) {
        free(d->section);
        free(d->e.name);
        free(d->value);
        free(d);
        return false;
    }
    list_add_tail(&p->delta, &d->e.list);
    p->has_delta = true;
    return true;
}

void delta_format(const uci_package* p, const uci_delta* d, std::string* out) {
    if (DELTA_PREFIX[d->cmd]) out->push_back(DELTA_PREFIX[d->cmd]);
    out->append(p->e.name).append(".").append(d->section);
    if (d->e.name) out->append(".").append(d->e.name);
    if (d->value) {
        out->push_back('=');
        append_quoted(out, d->value);
    }
    out->push_back('\n');
}

void delta_clear(uci_list* list) {
    uci_element *e, *tmp;
    uci_foreach_element_safe(list, tmp, e) {
        uci_delta* d = uci_to_delta(e);
        list_del(&e->list);
        free(d->section);
        free(d->value);
        free(e->name);
        free(d);
    }
}
