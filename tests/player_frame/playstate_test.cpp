// The play-state file reader and writer against real files in a temp dir.
#include "playstate.h"
#include "player.h"
#include "signals.h"
#include "tagtext.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char* kDoc =
    "<?xml version=\"1.0\"?>\n<root>\n"
    "<startposition>33</startposition>\n<url></url>\n<position>12</position>\n"
    "<length>200</length>\n<playstate>STOPPED</playstate>\n<volume>50</volume>\n"
    "<seek>0</seek>\n<songname>x>y</songname>\n<loop>0</loop>\n</root>\n";

class PlayStateFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("playusb.xml");
        set_playstate_path(path_.c_str());
        free_doc();
    }
    void TearDown() override { free_doc(); }
    void write(const std::string& text) { ASSERT_TRUE(write_text(path_, text)); }
    std::string read() { return access(path_.c_str(), F_OK) == 0 ? read_text(path_) : "<missing>"; }
    int files_in_dir() { return dir_.count_entries(); }
    static std::string value(char* v) {
        XmlValue owned(v);
        return owned ? std::string(owned.get()) : std::string("<null>");
    }
    TempDir dir_;
    std::string path_;
};

TEST_F(PlayStateFile, ReaderFollowsTheValueRule) {
    write(kDoc);
    EXPECT_EQ(value(getxmlPath()), "");         // empty element: empty text, not nothing
    EXPECT_EQ(value(getxmlSongname()), "x>y");  // ">" belongs to the value
    EXPECT_EQ(value(getxmlPosition()), "12");   // not the <startposition> ahead of it
    EXPECT_EQ(value(getxmlStartposition()), "33");
    write("junk<volume>7<b>8</volume><volume>9</volume>");
    EXPECT_EQ(value(getxmlVolume()), "7");  // cut at "<", first occurrence only
    write("<seek>42");
    EXPECT_EQ(value(getxmlSeek()), "42");  // value may run to the end of the text
}

TEST_F(PlayStateFile, SetterReplacesOnlyTheValue) {
    write(kDoc);
    ASSERT_EQ(value(getxmlPosition()), "12");
    EXPECT_EQ(setxmlPosition("7"), 0);
    std::string expect = kDoc;
    expect.replace(expect.find("<position>12") + 10, 2, "7");
    EXPECT_EQ(read(), expect);
    EXPECT_EQ(setxmlPosition("123456"), 0);
    expect.replace(expect.find("<position>7") + 10, 1, "123456");
    EXPECT_EQ(read(), expect);
    EXPECT_EQ(setxmlStartposition(""), 0);
    expect.replace(expect.find("<startposition>33") + 15, 2, "");
    EXPECT_EQ(read(), expect);
    EXPECT_EQ(files_in_dir(), 1);  // no temporary file left behind
}

// Replaces the value of tag in text (the first occurrence, as the reader).
std::string with_value(std::string text, const std::string& tag, const std::string& v) {
    size_t at = text.find(tag);
    if (at == std::string::npos) return text;
    at += tag.size();
    return text.replace(at, text.find('<', at) - at, v);
}

// Every setter changes its own value of the file as it is at the moment of
// the write: what the web interface wrote since the daemon's last read stays.
TEST_F(PlayStateFile, SetterKeepsEditsMadeSinceTheLastRead) {
    struct {
        int (*set)(const char*);
        const char* tag;
    } setters[] = {{setxmlSongpath, "<url>"},
                   {setxmlPosition, "<position>"},
                   {setxmlLength, "<length>"},
                   {setxmlPlaystate, "<playstate>"},
                   {setxmlVolume, "<volume>"},
                   {setxmlSeek, "<seek>"},
                   {setxmlStartposition, "<startposition>"},
                   {setxmlSongname, "<songname>"},
                   {setxmlLoopMode, "<loop>"}};
    std::string file = kDoc;
    write(file);
    ASSERT_EQ(value(getxmlLoopMode()), "0");
    int n = 0;
    for (const auto& s : setters) {
        // The web interface rewrites another value and its own text.
        const char* other = strcmp(s.tag, "<volume>") == 0 ? "<loop>" : "<volume>";
        file = with_value(file, other, std::to_string(60 + n));
        file = with_value(file, "<root", " n=\"" + std::to_string(n) + "\">\n");
        write(file);
        const std::string v = "v" + std::to_string(n++);
        EXPECT_EQ(s.set(v.c_str()), 0) << s.tag;
        file = with_value(file, s.tag, v);
        EXPECT_EQ(read(), file) << s.tag;
    }
}

// A loaded song's URL goes into <url> only over the value the daemon last
// saw there (compared as stored: up to a "<").
TEST_F(PlayStateFile, UrlIsWrittenOnlyOverTheValueLastSeen) {
    write(with_value(kDoc, "<url>", "/d/a.mp3"));
    EXPECT_EQ(set_url_if_seen("/d/b.mp3", "/d/a.mp3"), 0);
    EXPECT_EQ(read(), with_value(kDoc, "<url>", "/d/b.mp3"));
    const std::string asked = with_value(kDoc, "<url>", "/d/asked.mp3");
    write(asked);
    EXPECT_EQ(set_url_if_seen("/d/c.mp3", "/d/b.mp3"), SET_CHANGED);
    EXPECT_EQ(set_url_if_seen("/d/c.mp3", "/d/asked.mp3.x"), SET_CHANGED);
    EXPECT_EQ(read(), asked);
    write(with_value(kDoc, "<url>", "/d/x"));
    EXPECT_EQ(set_url_if_seen("/d/c.mp3", "/d/x<y>.mp3"), 0);
    EXPECT_EQ(read(), with_value(kDoc, "<url>", "/d/c.mp3"));
    // Without the tag it is a failure like any set's, to be retried.
    write("<playstate>PAUSE</playstate>");
    EXPECT_EQ(set_url_if_seen("/d/c.mp3", "/d/c.mp3"), 1);
    EXPECT_EQ(read(), "<playstate>PAUSE</playstate>");
}

// A file that cannot be read leaves the document in memory to write from,
// so a deleted file comes back with the daemon's latest state.
TEST_F(PlayStateFile, UnreadableFileIsWrittenFromMemory) {
    write(kDoc);
    ASSERT_EQ(value(getxmlVolume()), "50");
    unlink(path_.c_str());
    EXPECT_EQ(setxmlPosition("3"), 0);
    EXPECT_EQ(read(), with_value(kDoc, "<position>", "3"));
    // Too long to read: the same.
    write(std::string(kDoc) + std::string(XML_DOC_SIZE, ' '));
    EXPECT_EQ(setxmlPosition("4"), 0);
    EXPECT_EQ(read(), with_value(kDoc, "<position>", "4"));
}

// Two threads writing their own values at once: neither ever undoes the
// other's, so each finds its value in the file after every write.
TEST_F(PlayStateFile, ConcurrentSettersKeepEachOthersValues) {
    write(kDoc);
    ASSERT_EQ(value(getxmlVolume()), "50");
    constexpr int kRounds = 40;
    std::atomic<int> failed{0}, lost{0};
    auto run = [&](int (*set)(const char*), const char* tag) {
        for (int i = 1; i <= kRounds; i++) {
            const std::string v = std::to_string(i);
            if (set(v.c_str()) != 0) failed++;
            if (read_text(path_).find(tag + v + "<") == std::string::npos) lost++;
        }
    };
    std::thread a(run, setxmlPosition, "<position>"), b(run, setxmlLength, "<length>");
    a.join();
    b.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(lost.load(), 0);
    EXPECT_EQ(read(), with_value(with_value(kDoc, "<position>", "40"), "<length>", "40"));
}

TEST_F(PlayStateFile, WrittenValueCannotPlantATag) {
    write(kDoc);
    ASSERT_EQ(value(getxmlPath()), "");
    EXPECT_EQ(setxmlSongname("a<url>b"), 0);
    EXPECT_EQ(value(getxmlSongname()), "a");
    EXPECT_EQ(value(getxmlPath()), "");
    EXPECT_EQ(read().find("<url>b"), std::string::npos);
}

TEST_F(PlayStateFile, MissingFileLeavesNoDocumentAndIsNotRecreated) {
    write(kDoc);
    ASSERT_EQ(value(getxmlVolume()), "50");
    unlink(path_.c_str());
    EXPECT_EQ(value(getxmlVolume()), "<null>");
    EXPECT_EQ(g_doc, nullptr);
    EXPECT_EQ(setxmlPlaystate("PLAYING"), 1);
    EXPECT_EQ(read(), "<missing>");
    write(kDoc);
    EXPECT_EQ(value(getxmlPlaystate()), "STOPPED");
    EXPECT_EQ(setxmlPlaystate("PLAYING"), 0);
    EXPECT_EQ(value(getxmlPlaystate()), "PLAYING");
}

TEST_F(PlayStateFile, MissingTagIsNeverAdded) {
    const std::string doc = "<url>/a.mp3</url><playstate>PAUSE</playstate>";
    write(doc);
    EXPECT_EQ(value(getxmlVolume()), "<null>");
    EXPECT_EQ(setxmlVolume("10"), 1);
    EXPECT_EQ(read(), doc);
    // The failed set re-read the file, so the document is still usable.
    EXPECT_EQ(setxmlPlaystate("PLAYING"), 0);
    EXPECT_EQ(read(), "<url>/a.mp3</url><playstate>PLAYING</playstate>");
}

TEST_F(PlayStateFile, SizeLimitsHoldTheLongestUrlAndTitle) {
    // A URL of 1023 bytes and a title as long both fit the box's document.
    write(kDoc);
    ASSERT_EQ(value(getxmlPath()), "");
    const std::string url = "/tmp/mnt/sda1/" + std::string(1023 - 14, 'u');
    const std::string title(1023, 't');
    EXPECT_EQ(setxmlSongpath(url.c_str()), 0);
    EXPECT_EQ(setxmlSongname(title.c_str()), 0);
    EXPECT_EQ(value(getxmlPath()), url);
    EXPECT_EQ(value(getxmlSongname()), title);
    // One byte more is refused, for reads and writes alike.
    EXPECT_EQ(setxmlSongname((title + "t").c_str()), 1);
    write("<url>" + url + "x</url>");
    EXPECT_EQ(value(getxmlPath()), "<null>");
    EXPECT_EQ(setxmlSongname((std::string(1023, 's') + "<" + std::string(200, 'x')).c_str()), 1);

    // A set that would make the document 4096 bytes fails and leaves the file.
    const std::string pad = "<seek>1</seek>";
    const std::string near = pad + std::string(4095 - pad.size(), ' ');
    write(near);
    ASSERT_EQ(value(getxmlSeek()), "1");
    EXPECT_EQ(setxmlSeek("12"), 1);
    EXPECT_EQ(read(), near);
    EXPECT_EQ(setxmlSeek("0"), 0);  // same length still fits
}

// Files may not grow past a few bytes while fn runs.
template <typename F>
int with_tiny_file_limit(F fn) {
    struct rlimit old, small = {16, 16};
    getrlimit(RLIMIT_FSIZE, &old);
    small.rlim_max = old.rlim_max;
    void (*prev)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    int r = fn();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, prev);
    return r;
}

TEST_F(PlayStateFile, FailedWriteKeepsTheOldFileAndIsReported) {
    write(kDoc);
    ASSERT_EQ(value(getxmlPosition()), "12");
    ASSERT_EQ(setIxmlValue("<position>", "99"), 0);
    EXPECT_EQ(with_tiny_file_limit([] { return iSavexmlfile(); }), -1);
    EXPECT_EQ(with_tiny_file_limit([] { return setxmlPosition("98"); }), 1);  // not 0
    EXPECT_EQ(read(), kDoc);
    EXPECT_EQ(files_in_dir(), 1);
    EXPECT_EQ(iSavexmlfile(), 0);
    EXPECT_NE(read().find("<position>98<"), std::string::npos);
}

// The web server may own the file and keep it behind a link; the daemon's
// rewrites change neither. Temporary files left by a kill are removed at
// start-up.
TEST_F(PlayStateFile, ReplacementKeepsOwnerModeAndLink) {
    ASSERT_EQ(mkdir(dir_.file("real").c_str(), 0755), 0);
    const std::string target = dir_.file("real/state.xml");
    ASSERT_TRUE(write_text(target, kDoc));
    ASSERT_EQ(chown(target.c_str(), 1234, 5678), 0);
    ASSERT_EQ(chmod(target.c_str(), 0664), 0);
    ASSERT_EQ(symlink("real/state.xml", path_.c_str()), 0);
    ASSERT_EQ(value(getxmlPosition()), "12");
    EXPECT_EQ(setxmlPosition("7"), 0);
    struct stat st;
    ASSERT_EQ(lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    if (geteuid() == 0) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_NE(read_text(target).find("<position>7<"), std::string::npos);

    for (const char* name : {"state.xml.tmpAb12Cd", "state.xml.tmpsig42", "state.xml.web"})
        ASSERT_TRUE(write_text(dir_.file(std::string("real/") + name), "x"));
    // Only names of the daemon's own making go: other files that merely
    // start alike (an editor's or the web server's) stay.
    const char* others[] = {"state.xml.tmp",        "state.xml.tmpl",   "state.xml.tmp.bak",
                            "state.xml.tmpAb12Cd7", "state.xml.tmpsig", "state.xml.tmpsig4x"};
    for (const char* name : others)
        ASSERT_TRUE(write_text(dir_.file(std::string("real/") + name), "x"));
    remove_playstate_leftovers();
    EXPECT_EQ(read_text(dir_.file("real/state.xml.web")), "x");
    for (const char* name : others)
        EXPECT_EQ(read_text(dir_.file(std::string("real/") + name)), "x") << name;
    EXPECT_EQ(files_in_dir(), 2);  // the link and real/
    EXPECT_EQ(system(("test $(ls " + dir_.file("real") + " | wc -l) = 8").c_str()), 0);
}

TEST_F(PlayStateFile, StoppedIsWrittenFromDiskAndNothingReplacesIt) {
    const std::string playing =
        std::string(kDoc).replace(std::string(kDoc).find("STOPPED"), 7, "PLAYING");
    write(playing);
    ASSERT_EQ(value(getxmlPosition()), "12");
    // The web interface's edit after the daemon's last read is kept.
    const std::string edited =
        std::string(playing).replace(playing.find("<volume>50"), 10, "<volume>7");
    write(edited);
    EXPECT_EQ(write_stopped_to_file(), 0);
    const std::string stopped = std::string(edited).replace(edited.find("PLAYING"), 7, "STOPPED");
    EXPECT_EQ(read(), stopped);
    EXPECT_EQ(files_in_dir(), 1);

    close_playstate_saves(100);
    EXPECT_EQ(setxmlPlaystate("PLAYING"), 1);
    reopen_playstate_saves();
    EXPECT_EQ(read(), stopped);
}

// A fault ends the daemon with "STOPPED" in the file, written by the
// handler from the file on disk.
TEST_F(PlayStateFile, FaultsLeaveStopped) {
    const std::string playing =
        std::string(kDoc).replace(std::string(kDoc).find("STOPPED"), 7, "PLAYING");
    for (int sig : {SIGSEGV, SIGBUS}) {
        write(playing);
        const std::string line = "\tdorvu finish code=" + std::to_string(sig) + "!\n";
        EXPECT_EXIT(
            {
                dup2(2, 1);
                g_verbose = 1;
                if (install_signal_handlers() != 0) _exit(3);
                raise(sig);
                _exit(4);
            },
            ::testing::ExitedWithCode(1), line);
        EXPECT_NE(read().find("<playstate>STOPPED<"), std::string::npos) << sig;
        EXPECT_EQ(files_in_dir(), 1);
    }
}

TEST(TagText, ReplaceKeepsEveryOtherByte) {
    const std::string doc = "a<x>12<y>b<x>3";
    char out[64];
    long n = tag_replace_value(doc.data(), doc.size(), "<x>", "7", 1, out, sizeof out);
    ASSERT_EQ(n, 13);
    EXPECT_STREQ(out, "a<x>7<y>b<x>3");
    n = tag_replace_value(doc.data(), doc.size(), "<y>", "long", 4, out, sizeof out);
    EXPECT_STREQ(out, "a<x>12<y>long<x>3");
    n = tag_replace_value(doc.data(), doc.size() - 1, "<x>", "9", 1, out, sizeof out);
    EXPECT_STREQ(out, "a<x>9<y>b<x>");
    EXPECT_EQ(tag_replace_value(doc.data(), doc.size(), "<z>", "1", 1, out, sizeof out), -1);
    EXPECT_EQ(tag_replace_value(doc.data(), doc.size(), "<x>", "1234", 4, out, 16), -2);
    EXPECT_EQ(tag_replace_value(doc.data(), doc.size(), "<x>", "123", 3, out, 16), 15);
    // Search stops at the given length: a tag cut by it is not found.
    EXPECT_EQ(tag_replace_value(doc.data(), 3, "<x>", "1", 1, out, sizeof out), -1);
}

// SIGTERM while the engine holds its lock (a device write that does not
// return): the end neither waits for the engine nor runs the exit handlers
// under the other threads, and comes about a second later.
TEST_F(PlayStateFile, TerminationIsQuickAndSkipsExitHandlers) {
    const std::string playing =
        std::string(kDoc).replace(std::string(kDoc).find("STOPPED"), 7, "PLAYING");
    write(playing);
    ASSERT_EQ(value(getxmlPosition()), "12");
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    auto t0 = std::chrono::steady_clock::now();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(out[1], 2);
        atexit([] { fputs("exit handlers ran\n", stderr); });
        g_player_lock.lock();
        alarm(10);
        signal_exit_handler(SIGTERM);
    }
    close(out[1]);
    FILE* f = fdopen(out[0], "r");
    std::string said = read_all(f);
    fclose(f);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(said, "");
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 1800);
    EXPECT_NE(read().find("<playstate>STOPPED<"), std::string::npos);
}

// On a full /etc/config no replacement file can be made: "STOPPED" over
// "PLAYING" (same length) goes into the file in place, by a set and by the
// end of the daemon alike; what would change the file's length does not.
// The full disk is a 2-page tmpfs in a mount namespace of a child process.
TEST_F(PlayStateFile, StopReachesAFullDiskInPlace) {
    const std::string playing =
        std::string(kDoc).replace(std::string(kDoc).find("STOPPED"), 7, "PLAYING");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, "size=8k") != 0)
            _exit(77);
        if (!write_text(path_, playing) || value(getxmlPosition()) != "12") _exit(10);
        std::string filler(4096, 'f');
        while (write_text(dir_.file("filler"), filler)) filler += filler;  // until the disk is full
        if (write_text(dir_.file("probe"), "x")) _exit(11);
        unlink(dir_.file("probe").c_str());
        if (setxmlPosition("9") != 1) _exit(12);  // needs a new file: refused
        if (setxmlPlaystate("STOPPED") != 0 || read() != kDoc) _exit(13);
        if (setxmlPlaystate("PAUSE") != 1 || read() != kDoc) _exit(14);
        if (overwrite_value_in_place("<playstate>", "PLAYING") != 0 || read() != playing) _exit(15);
        if (write_stopped_to_file() != 0 || read() != kDoc) _exit(16);
        if (files_in_dir() != 2) _exit(17);  // no temporary file left behind
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private tmpfs here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check that failed, numbered in the test";
}

}  // namespace
