// Shared inside the stand-in library only: the tree, the file parser, the
// change store and the error helper.
#pragma once

#include "uci.h"

#include <cstddef>
#include <string>

// Circular doubly linked lists, as the header's macros walk them.
void list_init(uci_list* head);
void list_add_tail(uci_list* head, uci_list* node);
void list_del(uci_list* node);
bool list_empty(const uci_list* head);

// Stores err in ctx->err and returns it, so every call can end "return fail(...)".
int uci_fail(uci_context* ctx, int err);

// Name rules: option and section names [A-Za-z0-9_]; package names also '-';
// section types any printable non-blank ASCII.
bool valid_name(const char* s);
bool valid_package_name(const char* s);
bool valid_type(const char* s);

// The tree. Every function returns nullptr (or false) when memory runs out.
uci_package* tree_new_package(uci_context* ctx, const char* name);
void tree_free_package(uci_package* p);
void tree_clear_sections(uci_package* p);
uci_section* tree_find_section(uci_package* p, const char* name);
uci_option* tree_find_option(uci_section* s, const char* name);
// name nullptr makes an anonymous section named cfgXXYYYY.
uci_section* tree_add_section(uci_package* p, const char* type, const char* name);
bool tree_set_type(uci_section* s, const char* type);
uci_option* tree_set_string(uci_section* s, const char* name, const char* value);
uci_option* tree_add_item(uci_section* s, const char* name, const char* value);
void tree_del_items(uci_option* o, const char* value);
void tree_del_option(uci_option* o);
void tree_del_section(uci_section* s);

// One word of the file syntax starting at *pos (blanks before it skipped):
// unquoted, '...' literal, "..." with backslash escapes, concatenated.
// Returns 1 with the word in out, 0 at the end of the line or a comment (pos
// left on the newline), -1 on a syntax error (reason set).
int read_word(const char* data, size_t len, size_t* pos, std::string* out, const char** reason);

// Parses a whole config file into p (which should be empty). Returns UCI_OK
// or UCI_ERR_PARSE with the reason, line and byte stored in ctx.
int parse_config(uci_context* ctx, uci_package* p, const char* data, size_t len);

// The file as commit writes it.
std::string export_package(const uci_package* p);
// value in single quotes, each ' written as '\''.
void append_quoted(std::string* out, const char* value);

// The change store: one line per change, as uci_save writes them.
// Applies the lines of text that concern p; returns how many were applied.
int delta_apply_text(uci_package* p, const char* data, size_t len);
// Applies one change to p's tree; false when it does not fit the tree.
bool delta_apply(uci_package* p, uci_command cmd, const char* section, const char* option,
                 const char* value);
// Remembers a change made in memory, for uci_save. false when out of memory.
bool delta_record(uci_package* p, uci_command cmd, const char* section, const char* option,
                  const char* value);
void delta_format(const uci_package* p, const uci_delta* d, std::string* out);
void delta_clear(uci_list* list);

// Whole file through a descriptor (from offset 0); false on a read error.
bool read_fd(int fd, std::string* out);
// The save dirs to replay, in order, the save dir itself last.
int delta_dirs(uci_context* ctx, const char** dirs, int max);
std::string join_path(const char* dir, const char* name);
