#include "uci_fixture.h"

#include <sys/stat.h>

UciDirs::UciDirs() { mkdir(conf.c_str(), 0755); }

void UciDirs::config(const char* package, const std::string& text) const {
    write_text(conf + "/" + package, text);
}

uci_context* UciDirs::context() const {
    uci_context* ctx = uci_alloc_context();
    uci_set_confdir(ctx, conf.c_str());
    uci_set_savedir(ctx, save.c_str());
    return ctx;
}

Capture::Capture(int fd) : fd_(fd), file_(tmpfile()) {
    fflush(nullptr);
    saved_ = dup(fd);
    dup2(fileno(file_), fd);
}

Capture::~Capture() {
    text();
    fclose(file_);
}

std::string Capture::text() {
    if (!done_) {
        fflush(nullptr);
        dup2(saved_, fd_);
        close(saved_);
        done_ = true;
    }
    rewind(file_);
    std::string s = read_all(file_);
    return s;
}
