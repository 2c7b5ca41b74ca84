#include "name_matcher.h"

NameMatcher::NameMatcher() : nodes_(1), root_next_(256, -1) {}

int32_t NameMatcher::child_of(int32_t node, unsigned char c) const {
    if (node == 0) return root_next_[c];
    for (int32_t x = nodes_[node].child; x != -1; x = nodes_[x].sibling)
        if (nodes_[x].ch == c) return x;
    return -1;
}

size_t NameMatcher::add(const std::string& name) {
    int32_t node = 0;
    for (unsigned char c : name) {
        int32_t next = child_of(node, c);
        if (next == -1) {
            next = (int32_t)nodes_.size();
            Node n;
            n.ch = c;
            n.sibling = nodes_[node].child;
            nodes_.push_back(n);
            nodes_[node].child = next;
            if (node == 0) root_next_[c] = next;
        }
        node = next;
    }
    nodes_[node].terminal = true;
    name_node_.push_back(node);
    return name_node_.size() - 1;
}

void NameMatcher::build_links() {
    // Breadth first, so every node's fail target is finished before it.
    std::vector<int32_t> queue;
    queue.reserve(nodes_.size());
    for (int32_t x = nodes_[0].child; x != -1; x = nodes_[x].sibling) {
        nodes_[x].fail = 0;
        queue.push_back(x);
    }
    for (size_t i = 0; i < queue.size(); i++) {
        int32_t u = queue[i];
        for (int32_t v = nodes_[u].child; v != -1; v = nodes_[v].sibling) {
            unsigned char c = nodes_[v].ch;
            int32_t f = nodes_[u].fail;
            int32_t target = 0;
            for (;;) {
                int32_t x = child_of(f, c);
                if (x != -1) {
                    target = x;
                    break;
                }
                if (f == 0) break;
                f = nodes_[f].fail;
            }
            nodes_[v].fail = target;
            nodes_[v].out = nodes_[target].terminal ? target : nodes_[target].out;
            queue.push_back(v);
        }
    }
}

int32_t NameMatcher::step(int32_t node, unsigned char c) const {
    for (;;) {
        int32_t x = child_of(node, c);
        if (x != -1) return x;
        if (node == 0) return 0;
        node = nodes_[node].fail;
    }
}

void NameMatcher::mark(int32_t node) {
    // A node already seen had its whole suffix chain marked then.
    int32_t x = nodes_[node].terminal ? node : nodes_[node].out;
    while (x != -1 && !nodes_[x].seen) {
        nodes_[x].seen = true;
        x = nodes_[x].out;
    }
}

void NameMatcher::scan(const char* text, size_t len) {
    build_links();
    int32_t node = 0;
    for (size_t i = 0; i < len; i++) {
        node = step(node, (unsigned char)text[i]);
        if (node != 0) mark(node);
    }
}

bool NameMatcher::found(size_t id) const { return nodes_[name_node_[id]].seen; }

bool NameMatcher::all_found() const {
    for (int32_t n : name_node_)
        if (!nodes_[n].seen) return false;
    return true;
}
