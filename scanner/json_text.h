// Strings as the disk list writes them: JSON escapes for the bytes that
// would break the text (quote, backslash, control characters), every other
// byte (UTF-8 or not) unchanged, so plain names stay byte for byte.
#pragma once

#include <cstddef>
#include <string>

void json_escape_append(std::string& out, const char* s);

// Length of s once escaped.
size_t json_escaped_len(const char* s);
