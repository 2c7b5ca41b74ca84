// udisk_scan over a real directory under /tmp/mnt, found through a mounts
// table of the test's own: the corners of the staleness check and of names
// (the common runs are checked end to end in the box).
#include "disk_scan.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <sys/resource.h>
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
    void TearDown() override { system(("rm -rf '" + disk_ + "' '" + mounts_ + "'").c_str()); }

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
    // A name counts only as a "url" ends with it: after a "/", before a quote.
    touch(".udisklist", "{\"PLAYLIST\":[{\"t\":\"xa.mp3\",\"u\":\"" + disk_ + "/\"}]}");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    touch(".udisklist", "{\"PLAYLIST\":[{\"t\":\"x/a.mp3\",\"u\":\"" + disk_ + "/\"}]}");
    EXPECT_EQ(run(), SCAN_CURRENT);
}

// A name that is the tail of another listed name is not listed: renaming
// aa.mp3 to a.mp3 rebuilds. The rest stays current, whether the names are
// met in the list's order (sequential look) or not (automaton pass).
TEST_F(DiskScanTest, RenameToATailOfTheOldNameRebuilds) {
    touch("aa.mp3");
    touch("b.mp3");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(run(), SCAN_CURRENT);
    ASSERT_EQ(rename((disk_ + "/aa.mp3").c_str(), (disk_ + "/a.mp3").c_str()), 0);
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().count(disk_ + "/a.mp3"), 1u);
    EXPECT_EQ(run(), SCAN_CURRENT);
    std::string reversed = list();
    size_t a = reversed.find("{\"url\":\"" + disk_ + "/a.mp3");
    size_t b = reversed.find("{\"url\":\"" + disk_ + "/b.mp3");
    ASSERT_TRUE(a != std::string::npos && b != std::string::npos);
    std::string ea = reversed.substr(a, reversed.find('}', a) + 1 - a);
    std::string eb = reversed.substr(b, reversed.find('}', b) + 1 - b);
    touch(".udisklist", "{\"Playlist\":[" + eb + "," + ea + "]}");
    EXPECT_EQ(run(), SCAN_CURRENT);
}

// A list that cannot be read whole within the bound is stale, not fatal,
// and so is one whose parse would take far more memory than its entries.
TEST_F(DiskScanTest, OldListBeyondItsBoundsIsRebuilt) {
    touch("a.mp3");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    std::string good = list();
    std::string padded = good.substr(0, good.size() - 1) + ",\"x\":[0";
    for (int i = 0; i < 100000; i++) padded += ",0";
    touch(".udisklist", padded + "]}");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(list(), good);
    touch(".udisklist", good.substr(0, good.size() - 1) + ",\"x\":\"[[[,,,{{{\\\"[,{\"}");
    EXPECT_EQ(run(), SCAN_CURRENT);
    ASSERT_EQ(truncate(list_path().c_str(), (off_t)LIST_READ_MAX + 1), 0);
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(list(), good);
    ASSERT_EQ(truncate(list_path().c_str(), 100LL << 30), 0);  // sparse, far beyond memory
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(list(), good);
}

// Quotes, backslashes, control characters and long UTF-8 names come back
// from the player's parser unchanged, and an unchanged disk of them is
// still confirmed current. A name whose "url" would not fit is left out.
TEST_F(DiskScanTest, AwkwardNamesSurviveAndStayCurrent) {
    std::string cjk;
    for (int i = 0; i < 83; i++) cjk += "\xe4\xb8\xad";  // 249 bytes
    std::vector<std::string> names = {"say \"hi\".mp3", "back\\slash.flac", "tab\tnew\nline.mp3",
                                      "bell\x07.aac",   cjk + ".mp3",       "latin1 \xe9t\xe9.wma"};
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

// A new list that cannot be written whole (the file size limit stands in
// for a full disk) leaves the old list as it was, with result 0.
TEST_F(DiskScanTest, UnwritableNewListKeepsTheOldOne) {
    for (int i = 0; i < 100; i++) touch("song number " + std::to_string(i) + ".mp3");
    EXPECT_EQ(run(), SCAN_WRITTEN);
    std::string old = list();
    touch("new.mp3");
    struct sigaction ignore = {}, old_action;
    ignore.sa_handler = SIG_IGN;  // the write fails with EFBIG instead
    sigaction(SIGXFSZ, &ignore, &old_action);
    struct rlimit old_limit, cut;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    cut = old_limit;
    cut.rlim_cur = old.size() / 2;
    setrlimit(RLIMIT_FSIZE, &cut);
    int result = run();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    sigaction(SIGXFSZ, &old_action, nullptr);
    EXPECT_EQ(result, SCAN_NO_LIST);
    EXPECT_EQ(list(), old);
    EXPECT_EQ(run(), SCAN_WRITTEN);
    EXPECT_EQ(parsed().size(), 101u);
}

TEST_F(DiskScanTest, FinishingWithoutEntriesWritesNothing) {
    AtomicStream unfinished;
    ASSERT_TRUE(unfinished.open(list_path().c_str()));
    fputs(LIST_OPENING, unfinished.file());
    EXPECT_EQ(finish_disk_list(unfinished), 0);
    EXPECT_FALSE(list_exists());
    AtomicStream one;
    ASSERT_TRUE(one.open(list_path().c_str()));
    fputs(LIST_OPENING, one.file());
    fputs("{},", one.file());
    EXPECT_EQ(finish_disk_list(one), 1);
    EXPECT_EQ(list(), "{\"Playlist\":[{}]}");
    std::string left = disk_ + "/files";
    system(("ls -a '" + disk_ + "' >'" + left + "'").c_str());
    FILE* f = fopen(left.c_str(), "r");
    char line[256];
    while (f && fgets(line, sizeof line, f))
        EXPECT_EQ(strstr(line, ".udisklist.tmp"), nullptr) << line;
    if (f) fclose(f);
}

}  // namespace
