// The read-back of the staging file: files cut short or grown by another
// writer, or a full disk, must not count as a staged image.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

#include "fw_consts.h"
#include "fw_stage.h"
#include "handles.h"
#include "test_files.h"

namespace {

class StagedFile : public ::testing::Test {
protected:
    TempDir dir;

    // A file of size bytes (sparse past the head) that begins with head.
    bool check(const std::string& head, off_t size) {
        UniqueFile f(fopen(dir.file("fwupgrade").c_str(), "w+b"));
        EXPECT_TRUE(f);
        if (!f) return false;
        size_t n = std::min<size_t>(head.size(), static_cast<size_t>(size));
        EXPECT_EQ(fwrite(head.data(), 1, n, f.get()), n);
        EXPECT_EQ(fflush(f.get()), 0);
        EXPECT_EQ(ftruncate(fileno(f.get()), size), 0);
        return staged_image_ok(f.get());
    }
};

const std::string GOOD_HEAD = std::string("\x27\x05\x19\x56", 4) + "OpenWrt" + "linux";

TEST_F(StagedFile, WholeImageWithItsMark) {
    EXPECT_TRUE(check(GOOD_HEAD, FW_IMAGE_SIZE));
    EXPECT_FALSE(check("\x27\x05\x19\x56OpenWRT", FW_IMAGE_SIZE));
    EXPECT_FALSE(check("", FW_IMAGE_SIZE));  // zeros where the mark belongs
}

TEST_F(StagedFile, CutOrGrownFileIsRefused) {
    // Cut before, inside and just after the mark, and one byte short.
    for (off_t size : {0, 4, 8, 11, 4096, static_cast<int>(FW_IMAGE_SIZE) - 1})
        EXPECT_FALSE(check(GOOD_HEAD, size)) << size;
    EXPECT_FALSE(check(GOOD_HEAD, FW_IMAGE_SIZE + 1));
}

}  // namespace
