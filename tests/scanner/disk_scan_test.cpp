// udisk_scan over a real directory under /tmp/mnt, found through a mounts
// table of the test's own: the corners of the staleness check and of names
// (the common runs are checked end to end in the box).
#include "disk_scan.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

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
};

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

}  // namespace
