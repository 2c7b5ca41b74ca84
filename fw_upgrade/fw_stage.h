// The staging file: the image as it lands on the box's storage. It is
// written under a temporary name beside the staging path and put in place
// only once whole and read back, so that whatever flashes the staged file
// never finds a cut image there, even after an upload was killed mid-write.
#pragma once

#include <climits>
#include <cstdio>

#include "handles.h"

class Staging {
public:
    Staging() = default;
    // An image not put in place goes with its temporary file.
    ~Staging();
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    // Creates the temporary file beside path, read and write, for the owner
    // alone, after removing one that a killed upload left (the caller holds
    // the upload lock, so no other run writes it). Whatever lies there then
    // (a link planted meanwhile) is neither followed nor reused. False when
    // it can't be created.
    bool create(const char* path);
    FILE* file() const { return file_.get(); }
    // Closes the file; close()'s result, so a lost write can still be seen.
    int close() { return file_.reset(); }
    // Gives the closed file the staging path, never over anything that
    // lies there. True when it is in place.
    bool place();

private:
    UniqueFile file_;
    char path_[PATH_MAX] = "";
    char temp_[PATH_MAX] = "";
};

// The staged image read back through file (open for reading, flushed, at
// any position): true when it holds exactly one image and its seven mark
// bytes read back as the mark.
bool staged_image_ok(FILE* file);
