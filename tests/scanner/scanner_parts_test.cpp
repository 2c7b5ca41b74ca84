// The scanner's pieces: music names, the JSON text of names, the name
// matcher, track times, the mount lookup and the duration probe.
#include "cue_sheet.h"
#include "disk_scan.h"
#include "json_text.h"
#include "music_name.h"
#include "name_matcher.h"
#include "probe.h"
#include "track_times.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(MusicName, ExtensionAfterTheLastDotDecidesInAnyCase) {
    for (const char* yes : {"a.mp3", "A.MP3", "._a.mp3", "b.Flac", "c.mp2", "d.wma", "e.aac",
                            "f.wav", "g.m4a", "h.ac3", "i.ape", "x.y.ApE", "/m/.mp3"})
        EXPECT_TRUE(is_music_name(yes)) << yes;
    for (const char* no :
         {".mp3", "a.mp3.txt", "a.", "README", "mp3", "a.mp4", "a.mp33", "a.ogg", ""})
        EXPECT_FALSE(is_music_name(no)) << no;
}

// What the list writes must come back from cJSON as the same bytes, the
// buffer, stream and length forms must agree, and a plain name must stay
// as it is. A name that does not fit the buffer gives its length only.
TEST(JsonText, EveryByteSurvivesTheReader) {
    std::string all;
    for (int c = 1; c < 256; c++) all += (char)c;
    for (const std::string& name :
         {all, std::string("q\"x\\y\n\t\x01.mp3"), std::string("a b.mp3")}) {
        char esc[2048];
        size_t n = json_escape(name.c_str(), esc, sizeof esc);
        EXPECT_EQ(n, json_escaped_len(name.c_str()));
        EXPECT_EQ(strlen(esc), n);
        char* streamed = nullptr;
        size_t streamed_len = 0;
        FILE* f = open_memstream(&streamed, &streamed_len);
        EXPECT_TRUE(json_escape_put(f, name.c_str()));
        fclose(f);
        EXPECT_EQ(std::string(streamed, streamed_len), std::string(esc));
        free(streamed);
        std::string doc = "[\"" + std::string(esc) + "\"]";
        cJSON* j = cJSON_Parse(doc.c_str());
        ASSERT_NE(j, nullptr);
        cJSON* s = cJSON_GetArrayItem(j, 0);
        ASSERT_TRUE(cJSON_IsString(s));
        EXPECT_EQ(std::string(s->valuestring), name);
        cJSON_Delete(j);
    }
    char plain[64];
    EXPECT_EQ(json_escape("\xe4\xb8\xad\xff song.mp3", plain, sizeof plain), 13u);
    EXPECT_STREQ(plain, "\xe4\xb8\xad\xff song.mp3");
    char small[8];
    EXPECT_EQ(json_escape("ab\"cdef", small, sizeof small), 8u);
    EXPECT_STREQ(small, "");
}

// The automaton must say exactly what strstr says for each name, on texts
// with many overlapping, nested and repeated names.
TEST(NameMatcher, AgreesWithStrstr) {
    std::mt19937 rng(7);
    auto word = [&](size_t max) {
        std::string w(1 + rng() % max, 'a');
        for (char& c : w) c = "abc"[rng() % 3];
        return w;
    };
    for (int round = 0; round < 300; round++) {
        std::string text = word(60);
        NameMatcher m;
        std::vector<std::string> names;
        for (int i = 0; i < 12; i++) {
            names.push_back(word(6));
            m.add(names.back());
        }
        m.scan(text.data(), text.size());
        bool all = true;
        for (size_t i = 0; i < names.size(); i++) {
            bool in = strstr(text.c_str(), names[i].c_str()) != nullptr;
            EXPECT_EQ(m.found(i), in) << names[i] << " in " << text;
            all = all && in;
        }
        EXPECT_EQ(m.all_found(), all);
    }
}

struct Sheet {
    CUEIndex idx[4] = {};
    CUETrack trk[4] = {};
    explicit Sheet(std::initializer_list<std::pair<int, int>> starts) {
        int i = 0;
        for (auto [m, s] : starts) {
            idx[i].minutes = (uint8_t)m;
            idx[i].seconds = (uint8_t)s;
            trk[i].index = &idx[i];
            if (i) trk[i - 1].next = &trk[i];
            i++;
        }
    }
    std::string times(int duration) const {
        std::string r;
        for (const CUETrack* t = &trk[0]; t; t = t->next) {
            TrackTimes tt = track_times(t, t->next, duration);
            r += std::to_string(tt.startpos) + "/" + std::to_string(tt.length) + " ";
        }
        return r;
    }
};

TEST(TrackTimes, StartLengthAndTheFourSeconds) {
    // 00:00:00, 04:10:30, 08:00:00 in a file of 600.9 s (600 whole seconds).
    EXPECT_EQ(Sheet({{0, 0}, {4, 10}, {8, 0}}).times(600), "1/246 250/226 480/116 ");
    // Less than four seconds apart, and at the same second.
    EXPECT_EQ(Sheet({{1, 0}, {1, 2}, {1, 2}}).times(600), "60/-2 62/-4 62/534 ");
    // Unknown duration: no lengths; a track at or past the end: none either.
    EXPECT_EQ(Sheet({{0, 0}, {4, 10}}).times(0), "1/0 250/0 ");
    EXPECT_EQ(Sheet({{0, 0}, {4, 10}, {10, 0}}).times(600), "1/246 250/346 600/0 ");
}

class MountDir : public ::testing::Test {
protected:
    char path_[32] = "/tmp/scan-mounts-XXXXXX";
    void SetUp() override { close(mkstemp(path_)); }
    void TearDown() override { unlink(path_); }
    int lookup(const std::string& table, std::string* dir) {
        FILE* f = fopen(path_, "w");
        fwrite(table.data(), 1, table.size(), f);
        fclose(f);
        DiskScan s;
        int r = find_mount_dir(path_, s);
        *dir = s.mount_dir;
        return r;
    }
};

TEST_F(MountDir, FirstUsbMountWithSlashAppended) {
    std::string dir;
    EXPECT_EQ(lookup("/dev/root / ext4 rw 0 0\n/dev/sda1 /tmp/mnt/sda1 vfat rw 0 0\n"
                     "/dev/sdb1 /tmp/mnt/sdb1 vfat rw 0 0\n",
                     &dir),
              1);
    EXPECT_EQ(dir, "/tmp/mnt/sda1/");
    // Escapes are not decoded: the name is cut at the first space.
    EXPECT_EQ(lookup("/dev/sda1 /tmp/mnt/my\\040disk vfat rw 0 0\n", &dir), 1);
    EXPECT_EQ(dir, "/tmp/mnt/my\\040disk/");
    EXPECT_EQ(lookup("/dev/root / ext4 rw 0 0\n", &dir), 0);
    EXPECT_EQ(dir, "");
    // A mount point that runs to the end of what is read may be cut short.
    EXPECT_EQ(lookup("/dev/sda1 /tmp/mnt/sda1", &dir), 0);
    EXPECT_EQ(lookup(std::string(4090, '#') + " /tmp/mnt/sda1 vfat\n", &dir), 0);
    // Only the first 4096 bytes count.
    EXPECT_EQ(lookup(std::string(4096, '#') + " /tmp/mnt/sda1 vfat\n", &dir), 0);
    DiskScan s;
    EXPECT_EQ(find_mount_dir("/nonexistent/mounts", s), 0);
}

// Bytes this process has read so far.
long long bytes_read() {
    FILE* f = fopen("/proc/self/io", "r");
    long long n = -1;
    if (f) {
        if (fscanf(f, "rchar: %lld", &n) != 1) n = -1;
        fclose(f);
    }
    return n;
}

// The probe reads no more than its bound, whatever the file: 64 MB of zeros
// under a music name (the MP3 parser would read, and hold, every byte) cost
// at most PROBE_READ_MAX; a WAV header still gives the length of a file far
// longer than the bound; a FIFO or a missing file give 0 without waiting.
TEST(ProbeDuration, ReadsWithinItsBound) {
    char dir[] = "/tmp/probe-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string d = dir, zeros = d + "/zeros.mp3", wav = d + "/long.wav", fifo = d + "/fifo.ape";
    const unsigned rate = 8000, data = 600 * rate * 2;  // 600 s of mono 16-bit
    unsigned char head[44] = {'R', 'I', 'F', 'F', 0,   0,   0,   0, 'W', 'A', 'V',
                              'E', 'f', 'm', 't', ' ', 16,  0,   0, 0,   1,   0,
                              1,   0,   0,   0,   0,   0,   0,   0, 0,   0,   2,
                              0,   16,  0,   'd', 'a', 't', 'a', 0, 0,   0,   0};
    auto le32 = [&](int at, unsigned v) {
        for (int i = 0; i < 4; i++) head[at + i] = (unsigned char)(v >> (8 * i));
    };
    le32(4, 36 + data);
    le32(24, rate);
    le32(28, rate * 2);
    le32(40, data);
    FILE* f = fopen(wav.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(head, 1, sizeof head, f);
    fclose(f);
    ASSERT_EQ(truncate(wav.c_str(), (off_t)(sizeof head + data)), 0);
    fclose(fopen(zeros.c_str(), "wb"));
    ASSERT_EQ(truncate(zeros.c_str(), 64 << 20), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    long long before = bytes_read();
    EXPECT_EQ(probe_duration(zeros.c_str()), 0);
    long long used = bytes_read() - before;
    EXPECT_LE(used, PROBE_READ_MAX + 65536);
    EXPECT_EQ(probe_duration(wav.c_str()), 600);
    EXPECT_EQ(probe_duration(fifo.c_str()), 0);
    EXPECT_EQ(probe_duration((d + "/none.ape").c_str()), 0);
    system(("rm -rf " + d).c_str());
}

}  // namespace
