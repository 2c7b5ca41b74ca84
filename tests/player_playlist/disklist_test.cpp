// Finding and reading the disk list, with a fake mounts table and a disk
// directory under /tmp/mnt.
#include "disklist.h"
#include "player.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void write_file(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

class DiskList : public ::testing::Test {
protected:
    void SetUp() override {
        mkdir("/tmp/mnt", 0755);
        char tmpl[] = "/tmp/mnt/dl_testXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        disk_ = tmpl;
        char mtmpl[] = "/tmp/dl_mountsXXXXXX";
        int fd = mkstemp(mtmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        mounts_ = mtmpl;
    }
    void TearDown() override {
        unlink((disk_ + "/.udisklist").c_str());
        for (const std::string& d : extra_dirs_) {
            unlink((d + "/.udisklist").c_str());
            rmdir(d.c_str());
        }
        rmdir(disk_.c_str());
        unlink(mounts_.c_str());
        free(g_disk_list_text);
        g_disk_list_text = nullptr;
    }
    std::string mount_line(const std::string& dir) {
        return "/dev/sda1 " + dir + " vfat rw,relatime 0 0\n";
    }
    // Reads the list through the fake table; "<null>" when there is none.
    std::string read_list() {
        char* text = getudisklist_from(mounts_.c_str());
        std::string s = text ? text : "<null>";
        free(text);
        return s;
    }

    std::string disk_, mounts_;
    std::vector<std::string> extra_dirs_;
};

TEST_F(DiskList, ReadsTheListOfTheFirstUsbMount) {
    const std::string list = "{\"Playlist\":[{\"url\":\"" + disk_ + "/a.mp3\"}]}";
    write_file(disk_ + "/.udisklist", list);
    std::string second = disk_ + "_2";
    mkdir(second.c_str(), 0755);
    extra_dirs_.push_back(second);
    write_file(second + "/.udisklist", "{}");
    write_file(mounts_, "proc /proc proc rw 0 0\ntmpfs /tmp tmpfs rw 0 0\n" + mount_line(disk_) +
                            mount_line(second));
    EXPECT_EQ(read_list(), list);
    EXPECT_EQ(std::string(g_disk_list_path), disk_ + "/.udisklist");
}

TEST_F(DiskList, NoTableNoMountOrNoFileMeansNoList) {
    write_file(disk_ + "/.udisklist", "{}");
    write_file(mounts_, "proc /proc proc rw 0 0\n/dev/sda1 /mnt/usb vfat rw 0 0\n");
    EXPECT_EQ(read_list(), "<null>");

    // Only the first 4096 bytes of the table are looked at.
    write_file(mounts_, std::string(4096, '#') + mount_line(disk_));
    EXPECT_EQ(read_list(), "<null>");

    write_file(mounts_, mount_line(disk_ + "/nothing"));
    EXPECT_EQ(read_list(), "<null>");

    unlink(mounts_.c_str());
    EXPECT_EQ(read_list(), "<null>");
}

TEST_F(DiskList, MountPointMustLeaveRoomForTheListName) {
    const size_t room = DISK_LIST_PATH_SIZE - 1 - (sizeof DISK_LIST_NAME - 1);
    ASSERT_GT(room, disk_.size() + 1);
    std::string fits = disk_ + "/" + std::string(room - disk_.size() - 1, 'f');
    std::string too_long = disk_ + "/" + std::string(room - disk_.size(), 'g');
    for (const std::string& d : {fits, too_long}) {
        ASSERT_EQ(mkdir(d.c_str(), 0755), 0) << d;
        extra_dirs_.push_back(d);
        write_file(d + "/.udisklist", "list of " + d.substr(d.size() - 1));
    }
    write_file(mounts_, mount_line(fits));
    EXPECT_EQ(read_list(), "list of f");
    EXPECT_EQ(strlen(g_disk_list_path), (size_t)DISK_LIST_PATH_SIZE - 1);

    write_file(mounts_, mount_line(too_long));
    EXPECT_EQ(read_list(), "<null>");
    EXPECT_STREQ(g_disk_list_path, "");
}

}  // namespace
