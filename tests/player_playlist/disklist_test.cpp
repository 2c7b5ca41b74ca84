// Finding and reading the disk list through a fake mounts table, with the
// disk folders under /tmp/mnt.
#include "disklist.h"
#include "player.h"
#include "playlist.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

void write_file(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    fputs(text.c_str(), f);
    fclose(f);
}

std::string mount_line(const std::string& dir) { return "/dev/sda1 " + dir + " vfat rw 0 0\n"; }

class DiskList : public ::testing::Test {
protected:
    void SetUp() override {
        mkdir("/tmp/mnt", 0755);
        char tmpl[] = "/tmp/mnt/dl_testXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        disk_ = tmpl;
        mounts_ = disk_ + ".mounts";
        dirs_ = {disk_};
    }
    void TearDown() override {
        for (auto d = dirs_.rbegin(); d != dirs_.rend(); ++d) {
            unlink((*d + "/.udisklist").c_str());
            rmdir(d->c_str());
        }
        unlink(mounts_.c_str());
    }
    void add_disk(const std::string& dir, const std::string& list) {
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0) << dir;
        dirs_.push_back(dir);
        write_file(dir + "/.udisklist", list);
    }
    std::string read_list() {
        char* text = getudisklist_from(mounts_.c_str());
        std::string s = text ? text : "<none>";
        free(text);
        return s;
    }

    std::string disk_, mounts_;
    std::vector<std::string> dirs_;
};

TEST_F(DiskList, ReadsTheListOfTheFirstUsbMountOnly) {
    write_file(disk_ + "/.udisklist", "{\"Playlist\":[]}");
    add_disk(disk_ + "/second", "{}");
    write_file(mounts_,
               "proc /proc proc rw 0 0\n" + mount_line(disk_) + mount_line(disk_ + "/second"));
    EXPECT_EQ(read_list(), "{\"Playlist\":[]}");
    EXPECT_EQ(std::string(g_disk_list_path), disk_ + "/.udisklist");

    // Nothing under /tmp/mnt, none in the first 4096 bytes, no list, no table.
    for (const std::string& table :
         {std::string("/dev/sda1 /mnt/usb vfat rw 0 0\n"),
          std::string(4096, '#') + mount_line(disk_), mount_line(disk_ + "/nothing")}) {
        write_file(mounts_, table);
        EXPECT_EQ(read_list(), "<none>") << table;
    }
    unlink(mounts_.c_str());
    EXPECT_EQ(read_list(), "<none>");
}

// A FIFO named like the list must not block the start-up: it is no list.
TEST_F(DiskList, OnlyARegularFileIsAList) {
    write_file(mounts_, mount_line(disk_));
    ASSERT_EQ(mkfifo((disk_ + "/.udisklist").c_str(), 0644), 0);
    EXPECT_EXIT(
        {
            alarm(10);
            char* text = getudisklist_from(mounts_.c_str());
            _exit(text ? 2 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DiskList, MountPointMustLeaveRoomForTheListName) {
    const size_t room = DISK_LIST_PATH_SIZE - 1 - (sizeof DISK_LIST_NAME - 1);
    ASSERT_GT(room, disk_.size() + 1);
    std::string fits = disk_ + "/" + std::string(room - disk_.size() - 1, 'f');
    std::string too_long = disk_ + "/" + std::string(room - disk_.size(), 'g');
    add_disk(fits, "fits");
    add_disk(too_long, "too long");

    write_file(mounts_, mount_line(fits));
    EXPECT_EQ(read_list(), "fits");
    EXPECT_EQ(strlen(g_disk_list_path), (size_t)DISK_LIST_PATH_SIZE - 1);

    write_file(mounts_, mount_line(too_long));
    EXPECT_EQ(read_list(), "<none>");
    EXPECT_STREQ(g_disk_list_path, "");
}

// The start-up's scan may still run when the poll's first request parses
// the list (a slow disk): the text is replaced and read under the list's
// lock, which the TSan build checks.
TEST(DiskListScan, ReplacedWhileTheListIsParsed) {
    g_disk_list_text = strdup("{\"Playlist\":[{\"url\":\"/tmp/mnt/sda1/a.mp3\"}]}");
    ASSERT_EQ(playlist_parse_disk_list(), 1);
    std::thread scan(scanudisklist);
    for (int i = 0; i < 50; ++i) playlist_parse_disk_list();
    scan.join();
    // Now the list this machine's mounts give (none without a USB disk).
    char* own = getudisklist();
    EXPECT_EQ(playlist_parse_disk_list(), own ? playlist_parse(own) : 0);
    free(own);
    playlist_release();
}

}  // namespace
