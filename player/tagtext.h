// Tag search over the play-state text: pure functions over bytes with
// explicit lengths, shared by the reader and the writer.
#pragma once

#include <cstddef>

// Sizes of the working buffers: a whole document must stay below
// XML_DOC_SIZE bytes and a value below XML_VALUE_SIZE bytes. A value holds
// any URL the player can open (1023 bytes) and a title as long; the
// document holds one of each besides the other tags and the web
// interface's own text.
constexpr size_t XML_VALUE_SIZE = 1024;
constexpr size_t XML_DOC_SIZE = 4096;

// Finds the first occurrence of tag (the opening tag with its angle
// brackets) in doc[0..len). On success stores where the value starts and
// how long it is (it runs to the next '<' or the end) and returns true.
bool tag_find_value(const char* doc, size_t len, const char* tag, size_t* value_off,
                    size_t* value_len);

// Length of value up to its first '<': the part a writer may store without
// changing the document's structure.
size_t tag_value_cut(const char* value);

// Builds in out (size n) the document doc[0..len) with the value of tag
// replaced by value[0..value_len): the head up to and including the tag, the
// new value, then the old text from the '<' that ended the old value. Returns
// the new length, or -1 when the tag is missing, -2 when the result would not
// stay below n bytes (out is then untouched beyond a terminator).
long tag_replace_value(const char* doc, size_t len, const char* tag, const char* value,
                       size_t value_len, char* out, size_t n);
