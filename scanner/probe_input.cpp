#include "probe_input.h"

#include "regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {

constexpr int IO_BUFFER_SIZE = 32768;

}  // namespace

bool BoundedInput::open(const char* path, int64_t budget) {
    fd_ = open_regular(path, O_RDONLY);
    if (!fd_) return false;
    left_ = budget;
    auto* buf = static_cast<unsigned char*>(av_malloc(IO_BUFFER_SIZE));
    if (!buf) return false;
    io_.reset(avio_alloc_context(buf, IO_BUFFER_SIZE, 0, this, &BoundedInput::read, nullptr,
                                 &BoundedInput::seek));
    if (!io_) av_free(buf);
    return io_ != nullptr;
}

int BoundedInput::read(void* self, uint8_t* buf, int size) {
    auto* in = static_cast<BoundedInput*>(self);
    if (in->left_ <= 0) return AVERROR_EOF;
    if (size > in->left_) size = static_cast<int>(in->left_);
    ssize_t n;
    do {
        n = ::read(in->fd_.get(), buf, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    in->left_ -= n;
    return static_cast<int>(n);
}

int64_t BoundedInput::seek(void* self, int64_t offset, int whence) {
    auto* in = static_cast<BoundedInput*>(self);
    if (whence & AVSEEK_SIZE) {
        struct stat st;
        return fstat(in->fd_.get(), &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
    }
    off_t at = lseek(in->fd_.get(), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}
