// A file written piece by piece that replaces its target only when it is
// complete: readers and power cuts see the old file or the new one, and the
// writer needs no memory for the whole text.
#pragma once

#include "handles.h"

#include <climits>
#include <cstddef>
#include <memory>

class AtomicStream {
public:
    AtomicStream() = default;
    ~AtomicStream() { discard(); }
    AtomicStream(const AtomicStream&) = delete;
    AtomicStream& operator=(const AtomicStream&) = delete;

    // Creates a temporary file beside path. False (errno set) when it can't.
    bool open(const char* path);
    // The stream to write to; nullptr when not open.
    FILE* file() const { return file_.get(); }
    // Flushes and syncs the temporary file, gives it the mode of the file it
    // replaces where the file system allows (0644 for a new one) and renames
    // it over the target. Returns 0, or -1 with errno set; on failure the
    // target is untouched and the temporary file is gone.
    int commit();
    // Drops the temporary file (also done when the stream is destroyed uncommitted).
    void discard();

private:
    UniqueFile file_;
    std::unique_ptr<char[]> buf_;
    char path_[PATH_MAX] = "";
    char tmp_[PATH_MAX] = "";
};
