#include "pipe_query.h"

#include <cstring>

#include "bounded.h"
#include "renderer_config.h"

namespace {

class Pipe {
public:
    Pipe(const RendererOps& ops, const char* cmd) : ops_(ops), f_(ops.open_pipe(cmd)) {
        if (!f_) perror("popen");
    }
    ~Pipe() {
        if (f_) ops_.close_pipe(f_);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    FILE* get() const { return f_; }

private:
    const RendererOps& ops_;
    FILE* f_;
};

enum Pick { FIRST, FIRST_WITH, LAST };

int query(const RendererOps& ops, const char* cmd, Pick pick, const char* mark, char* line,
          size_t n) {
    Pipe p(ops, cmd);
    if (!p.get()) return -1;
    char piece[RC_LINE_SIZE];
    int found = 0;
    while (fgets(piece, sizeof piece, p.get())) {
        if (pick == FIRST_WITH && !strstr(piece, mark)) continue;
        copy_bounded(line, n, piece);
        found = 1;
        if (pick != LAST) break;
    }
    return found;
}

}  // namespace

int query_first_with(const RendererOps& ops, const char* cmd, const char* mark, char* line,
                     size_t n) {
    return query(ops, cmd, FIRST_WITH, mark, line, n);
}

int query_first(const RendererOps& ops, const char* cmd, char* line, size_t n) {
    return query(ops, cmd, FIRST, nullptr, line, n);
}

int query_last(const RendererOps& ops, const char* cmd, char* line, size_t n) {
    return query(ops, cmd, LAST, nullptr, line, n);
}
