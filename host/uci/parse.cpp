// The config file reader: a pure function over the file's bytes.
#include "uci_internal.h"

#include <cstring>
#include <vector>

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int read_word(const char* data, size_t len, size_t* pos, std::string* out, const char** reason) {
    size_t i = *pos;
    while (i < len && is_blank(data[i])) i++;
    if (i < len && data[i] == '#') {
        while (i < len && data[i] != '\n') i++;
    }
    *pos = i;
    if (i >= len || data[i] == '\n') return 0;

    out->clear();
    while (i < len && !is_blank(data[i]) && data[i] != '\n') {
        char c = data[i++];
        if (c == '\0') {
            *reason = "invalid character";
            *pos = i - 1;
            return -1;
        }
        if (c == '\'') {
            size_t end = i;
            while (end < len && data[end] != '\'') end++;
            if (end >= len) {
                *reason = "unterminated '";
                *pos = i - 1;
                return -1;
            }
            if (memchr(data + i, '\0', end - i)) {
                *reason = "invalid character";
                *pos = i;
                return -1;
            }
            out->append(data + i, end - i);
            i = end + 1;
        } else if (c == '"') {
            for (;;) {
                if (i >= len) {
                    *reason = "unterminated \"";
                    *pos = i;
                    return -1;
                }
                char d = data[i++];
                if (d == '"') break;
                if (d == '\\' && i < len) d = data[i++];
                if (d == '\0') {
                    *reason = "invalid character";
                    *pos = i - 1;
                    return -1;
                }
                out->push_back(d);
            }
        } else if (c == '\\') {
            // A backslash before the line end joins the next line.
            if (i < len && data[i] == '\n') {
                i++;
                continue;
            }
            if (i < len && data[i] != '\0') out->push_back(data[i++]);
        } else if (c == '#') {
            // A comment may start inside a bare word too: the word ends there.
            i--;
            break;
        } else {
            out->push_back(c);
        }
    }
    *pos = i;
    return 1;
}

namespace {

struct Parser {
    uci_context* ctx;
    uci_package* p;
    uci_section* section = nullptr;
    const char* reason = nullptr;
    size_t where = 0;

    bool command(std::vector<std::string>& w) {
        const std::string& cmd = w[0];
        size_t n = w.size();
        if (cmd == "package" || cmd == "p") {
            if (n != 2) return error(n < 2 ? "missing name" : "too many arguments");
            if (!valid_package_name(w[1].c_str())) return error("invalid package name");
            return true;
        }
        if (cmd == "config" || cmd == "c") {
            if (n < 2) return error("missing section type");
            if (n > 3) return error("too many arguments");
            if (!valid_type(w[1].c_str())) return error("invalid section type");
            const char* name = nullptr;
            if (n == 3) {
                if (!valid_name(w[2].c_str())) return error("invalid section name");
                name = w[2].c_str();
                section = tree_find_section(p, name);
                if (section) return tree_set_type(section, w[1].c_str()) || error("out of memory");
            }
            section = tree_add_section(p, w[1].c_str(), name);
            return section || error("out of memory");
        }
        bool option = cmd == "option" || cmd == "o";
        if (option || cmd == "list" || cmd == "l") {
            if (!section) return error("option/list command found before the first section");
            if (n < 3) return error(n < 2 ? "missing name" : "missing value");
            if (n > 3) return error("too many arguments");
            if (!valid_name(w[1].c_str())) return error("invalid option name");
            uci_option* o = option ? tree_set_string(section, w[1].c_str(), w[2].c_str())
                                   : tree_add_item(section, w[1].c_str(), w[2].c_str());
            return o || error("out of memory");
        }
        return error("invalid command");
    }

    bool error(const char* why) {
        reason = why;
        return false;
    }
};

}  // namespace

int parse_config(uci_context* ctx, uci_package* p, const char* data, size_t len) {
    Parser ps{ctx, p};
    std::vector<std::string> words;
    std::string word;
    size_t pos = 0;
    bool ok = true;
    while (ok && pos < len) {
        words.clear();
        size_t start = pos;
        int r;
        while ((r = read_word(data, len, &pos, &word, &ps.reason)) > 0) words.push_back(word);
        if (r < 0) {
            ok = false;
            start = pos;
        } else if (!words.empty()) {
            ok = ps.command(words);
        }
        if (ok && pos < len) pos++;  // the newline
        ps.where = start;
    }
    if (ok) return UCI_OK;

    int line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < ps.where && i < len; i++) {
        if (data[i] == '\n') {
            line++;
            line_start = i + 1;
        }
    }
    ctx->parse_reason = ps.reason;
    ctx->parse_line = line;
    ctx->parse_byte = (int)(ps.where - line_start) + 1;
    return uci_fail(ctx, UCI_ERR_PARSE);
}
