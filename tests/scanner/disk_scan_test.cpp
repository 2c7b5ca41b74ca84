// udisk_scan over a real directory under /tmp/mnt, found through a mounts
// table of the test's own: exact list text, staleness, rebuilds, names.
#include "disk_scan.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string plain_entry(const std::string& url, const std::string& title) {
    return "{\"url\":\"" + url + "\",\"title\":\"" + title +
           "\",\"type\":2,\"startpos\":0,\"length\":0},";
}

class DiskScanTest : public ::testing::Test {
protected:
    std::string disk_, mounts_;

    void SetUp() override {
        mkdir("/tmp/mnt", 0755);
        char d[] = "/tmp/mnt/scan-XXXXXX";
        ASSERT_NE(mkdtemp(d), nullptr);
        disk_ = d;
        char m[] = "/tmp/scan-mounts-XXXXXX";
        close(mkstemp(m));
        mounts_ = m;
        mount_at(disk_);
    }
    void TearDown() override {
        system(("rm -rf '" + disk_ + "' '" + mounts_ + "'").c_str());
    }

    void mount_at(const std::string& dir) {
        std::string t = "proc /proc proc rw 0 0\n/dev/sda1 " + dir + " vfat rw 0 0\n";
        FILE* f = fopen(mounts_.c_str(), "w");
        fputs(t.c_str(), f);
        fclose(f);
    }
    void touch(const std::string& name, const std::string& body = "") {
        FILE* f = fopen((disk_ + "/" + name).c_str(), "w");
        ASSERT_NE(f, nullptr) << name;
        fputs(body.c_str(), f);
        fclose(f);
    }
    int run() { return udisk_scan(mounts_.c_str()); }
    std::string list_path() const { return disk_ + "/.udisklist"; }
    bool list_exists() const { return access(list_path().c_str(), F_OK) == 0; }
    std::string list() const {
        std::string s;
        FILE* f = fopen(list_path().c_str(), "rb");
        if (!f) return s;
        char b[4096];
        size_t n;
        while ((n = fread(b, 1, sizeof b, f)) > 0) s.append(b, n);
        fclose(f);
        return s;
    }
    // The names of the top directory in the order it yields them.
    std::vector<std::string> dir_order() const {
        std::vector<std::string> v;
        DIR* d = opendir(disk_.c_str());
        while (struct dirent* e = readdir(d))
            if (e->d_type == DT_REG) v.push_back(e->d_name);
        closedir(d);
        return v;
    }
    // Every entry's url and title, as the player's cJSON gives them back.
    std::multimap<std::string, std::string> parsed() const {
        std::multimap<std::string, std::string> m;
        cJSON* doc = cJSON_Parse(list().c_str());
        EXPECT_NE(doc, nullptr) << "list is no JSON: " << list();
        if (!doc) return m;
        cJSON* pl = cJSON_GetObjectItem(doc, "Playlist");
        for (int i = 0; pl && i < cJSON_GetArraySize(pl); i++) {
            cJSON* e = cJSON_GetArrayItem(pl, i);
            m.emplace(cJSON_GetObjectItem(e, "url")->valuestring,
                      cJSON_GetObjectItem(e, "title")->valuestring);
        }
        cJSON_Delete(doc);
        return m;
    }
    bool no_temp_files() const {
        for (const std::string& n : dir_order())
            if (n.rfind(".udisklist.", 0) == 0) return false;
        return true;
    }
};

TEST_F(DiskScanTest, TwoFilesGiveExactlyTheListText) {
    touch("a.mp3");
    touch("b.flac");
    touch("notes.txt");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    std::string want = "{\"Playlist\":[";
    for (const std::string& n : dir_order())
        if (n != "notes.txt" && n != ".udisklist") want += plain_entry(disk_ + "/" + n, n);
    want.back() = ']';
    want += "}";
    EXPECT_EQ(list(), want);
    EXPECT_TRUE(no_temp_files());
}

TEST_F(DiskScanTest, UnchangedDiskIsConfirmedWithoutWriting) {
    touch("a.mp3");
    touch("B.MP3");
    touch("._a.mp3");
    ASSERT_EQ(run(), SCAN_WRITTEN);
    std::string before = list();
    struct stat st1, st2;
    stat(list_path().c_str(), &st1);
    EXPECT_EQ(run(), SCAN_CURRENT);
    stat(list_path().c_str(), &st2);
    EXPECT_EQ(list(), before);
    EXPECT_EQ(st1.st_ino, st2.st_ino);
    EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);
}

TEST_F(DiskScanTest, AddRemoveRenameAndOtherMountPointRebuild) {
    touch("a.mp3");
    touch("b.wav");
    ASSERT_EQ(run(), SCAN_WRITTEN);

    touch("c.m4a");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().count(disk_ + "/c.m4a"), 1u);

    unlink((disk_ + "/a.mp3").c_str());
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().count(disk_ + "/a.mp3"), 0u);

    rename((disk_ + "/b.wav").c_str(), (disk_ + "/d.wav").c_str());
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().count(disk_ + "/d.wav"), 1u);
    EXPECT_EQ(run(), SCAN_CURRENT);

    // The same files under another mount point.
    std::string other = disk_ + "-b";
    ASSERT_EQ(rename(disk_.c_str(), other.c_str()), 0);
    std::string old = disk_;
    disk_ = other;
    mount_at(other);
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().count(other + "/d.wav"), 1u);
    EXPECT_EQ(parsed().count(old + "/d.wav"), 0u);
}

// Same number of entries and every name present, but not the same list.
TEST_F(DiskScanTest, OldListIsRebuiltOnCountOrMountMismatch) {
    touch("a.mp3");
    touch(".udisklist", "{\"Playlist\":[{},{}],\"x\":\"a.mp3 " + disk_ + "/\"}");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    touch(".udisklist", "{\"playlist\":[{\"url\":\"/tmp/mnt/elsewhere/a.mp3\"}]}");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    touch(".udisklist", "{\"Playlist\":[{\"url\":\"" + disk_ + "/a.mp3\"},]}");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    // Any substring counts: a list naming both is current for one file.
    touch(".udisklist", "{\"PLAYLIST\":[{\"t\":\"xa.mp3y " + disk_ + "/\"}]}");
    EXPECT_EQ(run(), SCAN_CURRENT);
}

TEST_F(DiskScanTest, NoMusicRemovesTheListAndNoDiskTouchesNothing) {
    touch("README");
    mkdir((disk_ + "/x.mp3").c_str(), 0755);
    symlink("README", (disk_ + "/l.mp3").c_str());
    EXPECT_EQ(run(), SCAN_NO_LIST);
    EXPECT_FALSE(list_exists());

    touch(".udisklist", "{\"Playlist\":[]}");
    EXPECT_EQ(run(), SCAN_NO_LIST);
    EXPECT_FALSE(list_exists());

    touch("a.mp3");
    FILE* f = fopen(mounts_.c_str(), "w");
    fputs("/dev/root / ext4 rw 0 0\n", f);
    fclose(f);
    EXPECT_EQ(run(), SCAN_NO_DISK);
    EXPECT_FALSE(list_exists());
    EXPECT_EQ(udisk_scan("/nonexistent/mounts"), SCAN_NO_DISK);
}

TEST_F(DiskScanTest, DotMp3IsListedButNotCounted) {
    touch(".mp3");
    touch("a.mp3");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().count(disk_ + "/.mp3"), 1u);
    EXPECT_EQ(run(), SCAN_WRITTEN);  // two entries, one counted file
    unlink((disk_ + "/a.mp3").c_str());
    EXPECT_EQ(run(), SCAN_NO_LIST);  // nothing counted: no list at all
    EXPECT_FALSE(list_exists());
}

// Quotes, backslashes, control characters and long UTF-8 names come back
// from the player's parser unchanged, and an unchanged disk of them is
// still confirmed current. A name whose "url" would not fit is left out.
TEST_F(DiskScanTest, AwkwardNamesSurviveAndStayCurrent) {
    std::string cjk;
    for (int i = 0; i < 83; i++) cjk += "\xe4\xb8\xad";  // 249 bytes
    std::vector<std::string> names = {"say \"hi\".mp3", "back\\slash.flac", "tab\tnew\nline.mp3",
                                      "bell\x07.aac", cjk + ".mp3", "latin1 \xe9t\xe9.wma"};
    for (const std::string& n : names) touch(n);
    std::string too_long = std::string(200, '\x01') + ".mp3";  // 1204 bytes escaped
    touch(too_long);

    EXPECT_EQ(run(), SCAN_WRITTEN);
    auto m = parsed();
    EXPECT_EQ(m.size(), names.size());
    for (const std::string& n : names) {
        auto it = m.find(disk_ + "/" + n);
        ASSERT_NE(it, m.end()) << n;
        EXPECT_EQ(it->second, n);
    }
    EXPECT_GT((disk_ + "/" + cjk + ".mp3").size(), 255u);
    EXPECT_EQ(run(), SCAN_CURRENT);
}

TEST_F(DiskScanTest, FinishingWithoutEntriesWritesNothing) {
    std::string unfinished = LIST_OPENING;
    EXPECT_EQ(finish_disk_list(list_path().c_str(), unfinished), 0);
    EXPECT_FALSE(list_exists());
    std::string one = std::string(LIST_OPENING) + "{},";
    EXPECT_EQ(finish_disk_list(list_path().c_str(), one), 1);
    EXPECT_EQ(list(), "{\"Playlist\":[{}]}");
}

// An APE file with its sheet: one entry per track with the times of the
// sheet and the file's probed duration (a 600.9 s file here).
TEST_F(DiskScanTest, ApeWithSheetIsExpandedIntoTracks) {
    std::string ape = disk_ + "/album.ape";
    std::string cmd = "ffmpeg -loglevel error -f lavfi -i anullsrc=r=8000:cl=mono -t 600.9 "
                      "-c:a flac -f flac '" + ape + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    touch("album.cue",
          "FILE \"album.ape\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Opening\"\r\n"
          "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"Back\\slash\"\r\n"
          "    INDEX 01 04:10:30\r\n  TRACK 03 AUDIO\r\n    INDEX 01 08:00:00\r\n");
    touch("single.ape");  // no sheet: a plain entry
    EXPECT_EQ(run(), SCAN_WRITTEN);
    std::string text = list();
    std::string head = "{\"url\":\"" + ape + "\",\"title\":\"";
    std::string tracks = head + "Opening\",\"type\":2,\"total\":0,\"startpos\":1,\"length\":246}," +
                         head + "Back\\\\slash\",\"type\":2,\"total\":0,\"startpos\":250,\"length\":226}," +
                         head + "Track 03\",\"type\":2,\"total\":0,\"startpos\":480,\"length\":116}";
    EXPECT_NE(text.find(tracks), std::string::npos) << text;
    std::string single = plain_entry(disk_ + "/single.ape", "single.ape");
    single.pop_back();
    EXPECT_NE(text.find(single), std::string::npos);
    // More entries than files: every run rebuilds.
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().count(ape), 3u);
}

}  // namespace
