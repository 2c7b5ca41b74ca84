// Finds which of many names occur in one text, as strstr would for each,
// in one pass over the text (an Aho-Corasick automaton), so confirming a
// list stays linear in the size of the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class NameMatcher {
public:
    NameMatcher();
    // Adds a non-empty name; returns its id (0, 1, ...).
    size_t add(const std::string& name);
    // Runs over text (len bytes) and records which names occur in it.
    void scan(const char* text, size_t len);
    bool found(size_t id) const;
    bool all_found() const;

private:
    struct Node {
        int32_t fail = 0;
        int32_t out = -1;  // nearest proper suffix node that ends a name
        int32_t child = -1;
        int32_t sibling = -1;
        bool terminal = false;
        bool seen = false;
        unsigned char ch = 0;
    };
    int32_t child_of(int32_t node, unsigned char c) const;
    int32_t step(int32_t node, unsigned char c) const;
    void build_links();
    void mark(int32_t node);

    std::vector<Node> nodes_;
    std::vector<int32_t> root_next_;  // the root's children, all 256 at hand
    std::vector<int32_t> name_node_;
};
