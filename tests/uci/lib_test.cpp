// The UCI stand-in library on temporary config and save dirs.
#include "uci_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const char WIRELESS[] =
    "# radios and interfaces\n"
    "config wifi-device 'radio0'\n"
    "\toption channel '11'\n"
    "\toption htmode \"HT\\\"20\"\n"
    "config wifi-iface\n"
    "\toption ssid 'Box AP'\n"
    "config rule\n"
    "config wifi-iface   # the upstream network\n"
    "\toption ssid Up'stream '\"net\"\n"
    "\tlist dns '1.1.1.1'\n"
    "\tlist dns 8.8.8.8\n";

class UciLib : public ::testing::Test {
protected:
    UciDirs dirs;
    uci_context* ctx = nullptr;
    char buf[256];

    void SetUp() override {
        dirs.config(WL, WIRELESS);
        ctx = dirs.context();
    }
    void TearDown() override { uci_free_context(ctx); }
    void reopen() {
        uci_free_context(ctx);
        ctx = dirs.context();
    }
    int lookup(const char* path, uci_ptr* ptr, bool extended = true) {
        snprintf(buf, sizeof buf, "%s", path);
        return uci_lookup_ptr(ctx, ptr, buf, extended);
    }
    // The string option at path, "<missing>" when the lookup is incomplete.
    std::string get(const char* path) {
        uci_ptr ptr;
        if (lookup(path, &ptr) != UCI_OK) return "<error>";
        if (!(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE)) return "<missing>";
        if (ptr.last->type != UCI_TYPE_OPTION || ptr.o->type != UCI_TYPE_STRING)
            return "<not a string>";
        return ptr.o->v.string;
    }
    int set(const char* assignment) {
        uci_ptr ptr;
        int r = lookup(assignment, &ptr);
        if (r == UCI_OK) r = uci_set(ctx, &ptr);
        return r != UCI_OK ? r : uci_save(ctx, ptr.p);
    }
    int commit(const char* package) {
        uci_package* p;
        int r = uci_load(ctx, package, &p);
        return r != UCI_OK ? r : uci_commit(ctx, &p, false);
    }
};

TEST_F(UciLib, LookupRules) {
    EXPECT_EQ(get(WL ".radio0.channel"), "11");
    EXPECT_EQ(get(WL ".radio0.htmode"), "HT\"20");
    EXPECT_EQ(get(WL ".@wifi-iface[0].ssid"), "Box AP");
    EXPECT_EQ(get(WL ".@wifi-iface[1].ssid"), "Upstream net");
    EXPECT_EQ(get(WL ".@wifi-iface[-1].ssid"), "Upstream net");
    EXPECT_EQ(get(WL ".@wifi-iface[-2].ssid"), "Box AP");
    EXPECT_EQ(get(WL ".@wifi-iface[2].ssid"), "<missing>");
    EXPECT_EQ(get(WL ".@wifi-iface[-3].ssid"), "<missing>");
    // The lenient forms of the box's library.
    EXPECT_EQ(get(WL ".@wifi-iface[].ssid"), "Box AP");
    EXPECT_EQ(get(WL ".@wifi-iface[+1].ssid"), "Upstream net");
    EXPECT_EQ(get(WL ".@wifi-iface[ 1].ssid"), "Upstream net");
    EXPECT_EQ(get(WL ".@[0].channel"), "11");

    uci_ptr ptr;
    for (const char* bad :
         {WL ".@wifi-iface[abc].ssid", WL ".@wifi-iface[0x1].ssid", WL ".@wifi-iface.ssid",
          WL ".@wifi-iface[1]x.ssid", WL ".@wifi-iface[1.ssid"})
        EXPECT_EQ(lookup(bad, &ptr), UCI_ERR_INVAL) << bad;
    EXPECT_EQ(lookup(WL ".@wifi-iface[1].ssid", &ptr, false), UCI_ERR_INVAL);
    EXPECT_EQ(lookup(WL ".radio0.channel.x", &ptr), UCI_ERR_PARSE);
    EXPECT_EQ(ctx->err, UCI_ERR_PARSE);
    EXPECT_EQ(lookup("nosuchpackage.a.b", &ptr), UCI_ERR_NOTFOUND);
    EXPECT_EQ(lookup("../" WL ".radio0", &ptr), UCI_ERR_PARSE);

    // Missing pieces: UCI_OK, incomplete, last at the deepest element found.
    ASSERT_EQ(lookup(WL ".radio0.nosuch", &ptr), UCI_OK);
    EXPECT_FALSE(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE);
    EXPECT_EQ(ptr.last, &ptr.s->e);
    ASSERT_EQ(lookup(WL ".nosuch.channel", &ptr), UCI_OK);
    EXPECT_FALSE(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE);
    EXPECT_EQ(ptr.last, &ptr.p->e);
    ASSERT_EQ(lookup(WL ".@wifi-iface[1]", &ptr), UCI_OK);
    EXPECT_TRUE(ptr.flags & uci_ptr::UCI_LOOKUP_COMPLETE);
    EXPECT_EQ(ptr.last->type, UCI_TYPE_SECTION);
    EXPECT_STREQ(ptr.section, "cfg043579");

    // Cut in place at the first "=", then at the dots.
    char assign[] = WL ".radio0.key=a=b.c";
    ASSERT_EQ(uci_lookup_ptr(ctx, &ptr, assign, true), UCI_OK);
    EXPECT_STREQ(ptr.package, WL);
    EXPECT_STREQ(ptr.option, "key");
    EXPECT_STREQ(ptr.value, "a=b.c");
    EXPECT_EQ(strlen(assign), strlen(WL));
}

TEST_F(UciLib, AnonymousSectionsAndListsAsRead) {
    uci_package* p;
    ASSERT_EQ(uci_load(ctx, WL, &p), UCI_OK);
    std::string names;
    uci_element* e;
    uci_foreach_element(&p->sections, e) names +=
        std::string(e->name) + (uci_to_section(e)->anonymous ? "* " : " ");
    // Position among all sections, then the type's hash.
    EXPECT_EQ(names, "radio0 cfg023579* cfg0392bd* cfg043579* ");

    uci_ptr ptr;
    ASSERT_EQ(lookup(WL ".@wifi-iface[1].dns", &ptr), UCI_OK);
    ASSERT_EQ(ptr.o->type, UCI_TYPE_LIST);
    std::string items;
    uci_foreach_element(&ptr.o->v.list, e) items += std::string(e->name) + "|";
    EXPECT_EQ(items, "1.1.1.1|8.8.8.8|");
}

// A "#" outside quotes starts a comment even inside a word; quoted or
// escaped it is text.
TEST_F(UciLib, CommentInsideABareWord) {
    dirs.config(NET,
                "config interface 'wan'\n\toption proto dhcp#static\n\toption a 'x'#y z\n"
                "\toption b 'p#q'\n\toption c r\\#s\n");
    EXPECT_EQ(get(NET ".wan.proto"), "dhcp");
    EXPECT_EQ(get(NET ".wan.a"), "x");
    EXPECT_EQ(get(NET ".wan.b"), "p#q");
    EXPECT_EQ(get(NET ".wan.c"), "r#s");
}

TEST_F(UciLib, SetSaveAndCommitBytes) {
    uci_package* p;
    ASSERT_EQ(uci_load(ctx, WL, &p), UCI_OK);
    struct stat before;
    ASSERT_EQ(stat((dirs.conf + "/" WL).c_str(), &before), 0);
    // Nothing pending: neither save nor commit touches a file.
    EXPECT_EQ(uci_save(ctx, p), UCI_OK);
    EXPECT_EQ(access(dirs.save.c_str(), F_OK), -1);
    EXPECT_EQ(uci_commit(ctx, &p, false), UCI_OK);
    struct stat after;
    ASSERT_EQ(stat((dirs.conf + "/" WL).c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(dirs.config_text(WL), WIRELESS);

    EXPECT_EQ(set(WL ".radio0.channel=6"), UCI_OK);
    EXPECT_EQ(set(WL ".radio0.channel=6"), UCI_OK);  // same value: no second line
    EXPECT_EQ(set(WL ".@wifi-iface[1].ssid=it's"), UCI_OK);
    EXPECT_EQ(set(WL ".@wifi-iface[0].ssid="), UCI_OK);
    EXPECT_EQ(set(WL ".lan=interface"), UCI_OK);
    EXPECT_EQ(set(WL ".lan.ipaddr=192.168.1.1"), UCI_OK);
    EXPECT_EQ(set(WL ".@rule[0]="), UCI_OK);
    EXPECT_EQ(set(WL ".nosuch.opt=1"), UCI_ERR_INVAL);
    EXPECT_EQ(dirs.saved(WL), WL ".radio0.channel='6'\n" WL ".cfg043579.ssid='it'\\''s'\n-" WL
                                 ".cfg023579.ssid\n" WL ".lan='interface'\n" WL
                                 ".lan.ipaddr='192.168.1.1'\n-" WL ".cfg0392bd\n");
    EXPECT_EQ(dirs.config_text(WL), WIRELESS);  // only pending so far

    reopen();
    EXPECT_EQ(get(WL ".radio0.channel"), "6");  // replayed from the save dir
    EXPECT_EQ(commit(WL), UCI_OK);
    EXPECT_EQ(dirs.config_text(WL),
              "\n"
              "config wifi-device 'radio0'\n\toption channel '6'\n\toption htmode 'HT\"20'\n\n"
              "config wifi-iface\n\n"
              "config wifi-iface\n\toption ssid 'it'\\''s'\n\tlist dns '1.1.1.1'\n\tlist dns "
              "'8.8.8.8'\n\n"
              "config interface 'lan'\n\toption ipaddr '192.168.1.1'\n\n");
    EXPECT_EQ(dirs.saved(WL), "");
    reopen();
    EXPECT_EQ(get(WL ".@wifi-iface[1].ssid"), "it's");
    EXPECT_EQ(get(WL ".lan.ipaddr"), "192.168.1.1");
}

TEST_F(UciLib, QuotingRoundTrips) {
    const char* values[] = {"it's",        "say \"hi\"",  " two  blanks ",
                            "a=b.c",       "back\\slash", "#not a comment",
                            "line\nbreak", "'",           "\t"};
    for (const char* v : values) {
        std::string a = std::string(WL ".radio0.v=") + v;
        ASSERT_EQ(set(a.c_str()), UCI_OK) << v;
        reopen();
        EXPECT_EQ(get(WL ".radio0.v"), v) << "from the save file";
        ASSERT_EQ(commit(WL), UCI_OK);
        reopen();
        EXPECT_EQ(get(WL ".radio0.v"), v) << "from the config file";
    }
}

TEST_F(UciLib, LaterSaveDirsOverlayEarlierOnes) {
    TempDir state;
    ASSERT_EQ(set(WL ".radio0.channel=6"), UCI_OK);
    // As "uci -P DIR": the save dir becomes DIR, read after the earlier one.
    uci_context* s = dirs.context();
    uci_set_savedir(s, state.path().c_str());
    std::swap(ctx, s);
    ASSERT_EQ(set(WL ".radio0.channel=1"), UCI_OK);
    ASSERT_EQ(set(WL ".radio0.ipaddr=10.0.0.2"), UCI_OK);
    EXPECT_EQ(read_text(state.file(WL)),
              WL ".radio0.channel='1'\n" WL ".radio0.ipaddr='10.0.0.2'\n");
    std::swap(ctx, s);
    uci_free_context(s);
    reopen();
    EXPECT_EQ(get(WL ".radio0.channel"), "6");
    EXPECT_EQ(get(WL ".radio0.ipaddr"), "<missing>");
    reopen();
    uci_set_savedir(ctx, state.path().c_str());
    EXPECT_EQ(get(WL ".radio0.channel"), "1");
    EXPECT_EQ(get(WL ".radio0.ipaddr"), "10.0.0.2");
}

// Read twice, a list item would double; locked twice, a commit would wait
// for itself.
TEST_F(UciLib, OneSaveDirUnderTwoNamesIsReadOnce) {
    uci_ptr ptr;
    ASSERT_EQ(lookup(WL ".radio0.dns=x", &ptr), UCI_OK);
    ASSERT_EQ(uci_add_list(ctx, &ptr), UCI_OK);
    ASSERT_EQ(uci_save(ctx, ptr.p), UCI_OK);
    reopen();
    uci_add_delta_path(ctx, (dirs.save + "/").c_str());
    ASSERT_EQ(lookup(WL ".radio0.dns", &ptr), UCI_OK);
    ASSERT_EQ(ptr.o->type, UCI_TYPE_LIST);
    std::string items;
    uci_element* e;
    uci_foreach_element(&ptr.o->v.list, e) items += std::string(e->name) + "|";
    EXPECT_EQ(items, "x|");
    EXPECT_EQ(commit(WL), UCI_OK);
    EXPECT_NE(dirs.config_text(WL).find("\toption htmode 'HT\"20'\n\tlist dns 'x'\n\n"),
              std::string::npos)
        << dirs.config_text(WL);
}

// A FIFO (or device) under a package's name in a save dir is no change
// file: reading it would block or never end.
TEST_F(UciLib, SaveDirEntryThatIsNoFileIsSkipped) {
    mkdir(dirs.save.c_str(), 0700);
    ASSERT_EQ(mkfifo((dirs.save + "/" WL).c_str(), 0600), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(30);
        bool ok = get(WL ".radio0.channel") == "11" && set(WL ".radio0.channel=6") == UCI_ERR_IO &&
                  commit(WL) == UCI_OK;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Whether process pid waits for a file lock.
static bool waits_for_lock(pid_t pid) {
    std::string locks = read_text("/proc/locks");
    std::string mark = " " + std::to_string(pid) + " ";
    for (size_t at = 0; (at = locks.find("->", at)) != std::string::npos; at++) {
        size_t end = locks.find('\n', at);
        if (locks.substr(at, end - at).find(mark) != std::string::npos) return true;
    }
    return false;
}

// A commit in a child process that also reads a second save dir, whose file
// the test holds locked: the child is caught mid-commit.
class UciCommitRace : public UciLib {
protected:
    TempDir other;
    int theirs = -1;
    pid_t pid = -1;

    void TearDown() override {
        if (theirs >= 0) close(theirs);
        UciLib::TearDown();
    }
    // Starts the commit; true once it waits for the other dir's file.
    bool start_commit() {
        uci_package* p;
        if (uci_load(ctx, WL, &p) != UCI_OK) return false;
        write_text(other.file(WL), WL ".radio0.hwmode='11g'\n");
        theirs = open(other.file(WL).c_str(), O_RDONLY);
        if (flock(theirs, LOCK_EX) != 0 || (pid = fork()) < 0) return false;
        if (pid == 0) {
            alarm(60);
            close(theirs);  // the lock stays with the parent's descriptor
            uci_add_delta_path(ctx, other.path().c_str());
            _exit(uci_commit(ctx, &p, false) == UCI_OK ? 0 : 1);
        }
        int status;
        while (!waits_for_lock(pid)) {
            if (waitpid(pid, &status, WNOHANG) == pid) return false;
            usleep(10000);
        }
        return true;
    }
    // Lets the commit go on; true when it succeeded.
    bool finish_commit() {
        close(theirs);
        theirs = -1;
        int status;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

// Waiting for another dir's save file, a commit must not hold its own: the
// process holding that one may be waiting for ours (its dirs the other way
// round).
TEST_F(UciCommitRace, HoldsNoSaveFileWhileWaitingForAnother) {
    ASSERT_EQ(set(WL ".radio0.channel=6"), UCI_OK);
    ASSERT_TRUE(start_commit());
    int ours = open((dirs.save + "/" WL).c_str(), O_RDONLY);
    EXPECT_EQ(flock(ours, LOCK_EX | LOCK_NB), 0) << "the waiting commit holds its own save file";
    close(ours);
    ASSERT_TRUE(finish_commit());
    reopen();
    EXPECT_EQ(get(WL ".radio0.hwmode"), "11g");
    EXPECT_EQ(get(WL ".radio0.channel"), "6");
    EXPECT_EQ(dirs.saved(WL), "");
}

// A save file that appears during a commit that found none is left for the
// next commit: applied now but never emptied, a list item would be added twice.
TEST_F(UciCommitRace, SaveFileMadeDuringACommitIsLeftForTheNext) {
    ASSERT_TRUE(start_commit());
    mkdir(dirs.save.c_str(), 0700);
    write_text(dirs.save + "/" WL, "|" WL ".radio0.dns='9.9.9.9'\n");
    ASSERT_TRUE(finish_commit());
    EXPECT_EQ(commit(WL), UCI_OK);
    EXPECT_EQ(dirs.saved(WL), "");
    std::string text = dirs.config_text(WL);
    size_t first = text.find("\tlist dns '9.9.9.9'\n");
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_EQ(text.find("\tlist dns '9.9.9.9'\n", first + 1), std::string::npos) << text;
}

// A set made while a commit replaces the file: read between the rename and
// the emptying of the save file, the old value would look current and
// setting it back would record nothing.
TEST_F(UciLib, SetDuringACommitIsKept) {
    dirs.config(NET, "config interface 'wan'\n\toption proto 'static'\n");
    mkdir(dirs.save.c_str(), 0700);
    write_text(dirs.save + "/" NET, NET ".wan.proto='dhcp'\n");
    // This process plays the commit: both locks held, the file not yet replaced.
    int dir = open(dirs.conf.c_str(), O_RDONLY | O_DIRECTORY);
    int saved = open((dirs.save + "/" NET).c_str(), O_RDWR);
    ASSERT_EQ(flock(dir, LOCK_EX), 0);
    ASSERT_EQ(flock(saved, LOCK_EX), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(60);
        close(dir);  // the locks stay with the parent's descriptors
        close(saved);
        _exit(set(NET ".wan.proto=static") == UCI_OK ? 0 : 1);
    }
    int status;
    bool exited = false;
    while (!waits_for_lock(pid) && !(exited = waitpid(pid, &status, WNOHANG) == pid)) usleep(10000);
    ASSERT_FALSE(exited);
    write_text(dirs.conf + "/tmp", "config interface 'wan'\n\toption proto 'dhcp'\n");
    ASSERT_EQ(rename((dirs.conf + "/tmp").c_str(), (dirs.conf + "/" NET).c_str()), 0);
    ASSERT_EQ(ftruncate(saved, 0), 0);
    close(saved);
    close(dir);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(dirs.saved(NET), NET ".wan.proto='static'\n");
}

TEST_F(UciLib, ParseErrorsAndReports) {
    dirs.config(NET, "config interface 'wan'\n\toption proto 'dhcp\n");
    uci_ptr ptr;
    EXPECT_EQ(lookup(NET ".wan.proto", &ptr), UCI_ERR_PARSE);
    EXPECT_EQ(ctx->parse_line, 2);
    const std::string nul("config a\noption x 'a\0b'\n", 24);
    for (const std::string& bad :
         {std::string("option x 1\n"), std::string("config\n"), std::string("config a b c\n"),
          std::string("config a 'b-c'\n"), std::string("config a\nfoo x\n"),
          std::string("config a\noption x\n"), std::string("config a\noption x\"y\n"), nul}) {
        dirs.config(NET, bad);
        reopen();
        EXPECT_EQ(lookup(NET ".a", &ptr), UCI_ERR_PARSE) << bad;
    }

    ctx->err = UCI_ERR_NOTFOUND;
    Capture err(2);
    for (int i = 0; i < 3; i++) uci_perror(ctx, "uci");
    EXPECT_EQ(err.text(), "uci: Entry not found\nuci: Entry not found\nuci: Entry not found\n");
}

}  // namespace
