// A file handed to FFmpeg through a reader that stops after a fixed number
// of bytes: whatever a demuxer or parser makes of a hostile file (a frame
// header followed by megabytes of zeros is buffered whole while the parser
// looks for the next frame), it can never hold more than it was given.
#pragma once

#include "ffmpeg_handles.h"
#include "handles.h"

#include <cstdint>

class BoundedInput {
public:
    BoundedInput() = default;
    BoundedInput(const BoundedInput&) = delete;
    BoundedInput& operator=(const BoundedInput&) = delete;

    // Opens path (a regular file only, never blocking) for at most budget
    // bytes of reads in all. False when it can't be opened.
    bool open(const char* path, int64_t budget);
    // For AVFormatContext::pb with AVFMT_FLAG_CUSTOM_IO; it must outlive
    // the format context.
    AVIOContext* io() const { return io_.get(); }

private:
    static int read(void* self, uint8_t* buf, int size);
    static int64_t seek(void* self, int64_t offset, int whence);

    UniqueFd fd_;
    int64_t left_ = 0;
    IoContextPtr io_;
};
