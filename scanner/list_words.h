// The strings of a list text, and the file names at the end of its paths,
// for a quick look-up: a name found here surely occurs in the text, so
// only the names not found need the full substring search.
#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_set>

class ListWords {
public:
    ListWords(const char* text, size_t len);
    bool has(std::string_view name) const { return words_.count(name) != 0; }

private:
    std::unordered_set<std::string_view> words_;
};
