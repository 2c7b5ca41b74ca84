// Strings as the disk list writes them: JSON escapes for the bytes that
// would break the text (quote, backslash, control characters), every other
// byte (UTF-8 or not) unchanged, so plain names stay byte for byte.
#pragma once

#include <cstddef>
#include <cstdio>

// Length of s once escaped.
size_t json_escaped_len(const char* s);

// Writes s escaped into out, zero-terminated, and returns the escaped
// length. When that length is cap or more, out holds nothing usable (an
// empty text): the caller tests the length against its limit anyway.
size_t json_escape(const char* s, char* out, size_t cap);

// Writes s escaped to f; false on a write error.
bool json_escape_put(FILE* f, const char* s);
