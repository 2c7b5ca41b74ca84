#include "atomic_file.h"
#include "bounded.h"
#include "mounts.h"
#include "regular_file.h"
#include "shell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string make_temp_dir() {
    char tmpl[] = "/tmp/common_test.XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "";
}

std::string slurp(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string s;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

int count_entries(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    int n = 0;
    while (struct dirent* e = readdir(d))
        if (e->d_name[0] != '.') n++;
    closedir(d);
    return n;
}

TEST(Bounded, CutsAndReportsTheFullLength) {
    char buf[4];
    EXPECT_EQ(copy_bounded(buf, sizeof buf, "abcdef"), 6u);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(copy_bounded(buf, sizeof buf, "ab"), 2u);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(copy_bounded_n(buf, sizeof buf, "xyz-not-read", 3), 3u);
    EXPECT_STREQ(buf, "xyz");
}

TEST(Mounts, FirstUsbMountUpToTheSpace) {
    const char table[] =
        "/dev/root / squashfs ro 0 0\n"
        "/dev/sda1 /tmp/mnt/sda1 vfat rw 0 0\n"
        "/dev/sdb1 /tmp/mnt/sdb1 vfat rw 0 0\n";
    char out[256];
    ASSERT_EQ(find_usb_mount_in(table, sizeof table - 1, out, sizeof out), MOUNT_FOUND);
    EXPECT_STREQ(out, "/tmp/mnt/sda1");
}

TEST(Mounts, OnlyTheFirst4096BytesCount) {
    std::string table(5000, 'x');
    table += " /tmp/mnt/sda1 vfat rw 0 0\n";
    char out[256];
    EXPECT_EQ(find_usb_mount_in(table.data(), table.size(), out, sizeof out), MOUNT_NONE);
    // A mount point cut by the 4096-byte window ends at the window.
    std::string edge(4085, 'x');
    edge += " /tmp/mnt/sda1 vfat\n";
    ASSERT_EQ(find_usb_mount_in(edge.data(), edge.size(), out, sizeof out), MOUNT_FOUND);
    EXPECT_STREQ(out, "/tmp/mnt/s");
}

TEST(Mounts, EscapesStayAndOverlongIsRefused) {
    const char table[] = "/dev/sda1 /tmp/mnt/my\\040disk vfat rw 0 0\n";
    char out[256];
    ASSERT_EQ(find_usb_mount_in(table, sizeof table - 1, out, sizeof out), MOUNT_FOUND);
    EXPECT_STREQ(out, "/tmp/mnt/my\\040disk");
    char small[8];
    EXPECT_EQ(find_usb_mount_in(table, sizeof table - 1, small, sizeof small), MOUNT_TOO_LONG);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(find_usb_mount("/nonexistent/mounts", out, sizeof out), MOUNT_NO_TABLE);
}

TEST(AtomicFile, ReplacesWholeAndKeepsTheMode) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/state.xml";
    ASSERT_EQ(write_file_atomic(path.c_str(), "first version", 13), 0);
    EXPECT_EQ(slurp(path), "first version");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(write_file_atomic(path.c_str(), "v2", 2), 0);
    EXPECT_EQ(slurp(path), "v2");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(count_entries(dir), 1);  // no temporary left behind
    unlink(path.c_str());
    rmdir(dir.c_str());
}

TEST(AtomicFile, FailureLeavesTheOldFileAndNoTemporary) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/state.xml";
    ASSERT_EQ(write_file_atomic(path.c_str(), "old", 3), 0);
    // A directory in the target's place makes the rename fail after the write.
    std::string blocked = dir + "/sub";
    ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
    std::string inner = blocked + "/keep";
    ASSERT_EQ(write_file_atomic(inner.c_str(), "x", 1), 0);
    EXPECT_EQ(write_file_atomic(blocked.c_str(), "new", 3), -1);
    EXPECT_EQ(count_entries(dir), 2);
    EXPECT_EQ(slurp(path), "old");
    EXPECT_EQ(write_file_atomic((dir + "/missing/x").c_str(), "y", 1), -1);
    unlink(inner.c_str());
    rmdir(blocked.c_str());
    unlink(path.c_str());
    rmdir(dir.c_str());
}

TEST(Shell, ReadCommandIsBoundedAndStatusIsReturned) {
    char out[6];
    EXPECT_EQ(read_command("printf 'hello world'", out, sizeof out), 5);
    EXPECT_STREQ(out, "hello");
    EXPECT_EQ(run_shell("exit 3"), 3);
    EXPECT_EQ(run_shell("true"), 0);
}

TEST(RegularFile, FifoDirectoryAndMissingAreRefusedWithoutBlocking) {
    std::string dir = make_temp_dir();
    std::string reg = dir + "/song.cue", fifo = dir + "/fifo.cue";
    FILE* f = fopen(reg.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("TITLE x\n", f);
    fclose(f);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);

    UniqueFile r = fopen_regular(reg.c_str());
    ASSERT_TRUE(r);
    char line[16] = "";
    ASSERT_NE(fgets(line, sizeof line, r.get()), nullptr);
    EXPECT_STREQ(line, "TITLE x\n");
    EXPECT_TRUE(is_regular_file(reg.c_str()));

    // A FIFO with no writer would block a plain fopen for ever.
    EXPECT_FALSE(fopen_regular(fifo.c_str()));
    EXPECT_FALSE(is_regular_file(fifo.c_str()));
    EXPECT_FALSE(fopen_regular(dir.c_str()));
    EXPECT_FALSE(fopen_regular((dir + "/missing").c_str()));
    EXPECT_FALSE(is_regular_file((dir + "/missing").c_str()));
    unlink(reg.c_str());
    unlink(fifo.c_str());
    rmdir(dir.c_str());
}

}  // namespace

// A song of 2 GiB and more (a whole album as one image) is still a regular
// file on the box's 32-bit CPU, not an EOVERFLOW; a sparse file costs no disk.
TEST(RegularFile, LargeFileOpens) {
    std::string dir = make_temp_dir();
    std::string big = dir + "/album.ape";
    FILE* f = fopen(big.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    ASSERT_EQ(truncate(big.c_str(), 3LL << 30), 0);
    EXPECT_TRUE(is_regular_file(big.c_str()));
    EXPECT_TRUE(fopen_regular(big.c_str()));
    EXPECT_EQ(count_entries(dir), 1);
    unlink(big.c_str());
    rmdir(dir.c_str());
}
