// Whole runs of the CGI core: the body arrives through a pipe in pieces,
// the shell and the pauses are journaled, the staging file is a temporary one.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "fw_consts.h"
#include "fw_upgrade.h"
#include "handles.h"
#include "test_files.h"

namespace {

std::vector<std::string> g_journal;
std::string g_dir;  // "rm -f" of files in here is carried out

int fake_shell(const char* cmd) {
    g_journal.push_back(cmd);
    std::string rm = "rm -f " + g_dir + "/";
    if (strncmp(cmd, rm.c_str(), rm.size()) == 0) unlink(cmd + 6);
    return 0;
}
unsigned fake_pause(unsigned s) {
    g_journal.push_back("pause " + std::to_string(s));
    return 0;
}

const std::string HEAD = "Content-type:text/html\r\n\r\nnidaye";
const std::string TAIL = "</body>\n\n</html>\n";
std::string err(char n) {
    return std::string(1, n) + " there is a error,please reboot the device and upgrade again! <br>";
}

std::string image() {
    std::string img(FW_IMAGE_SIZE, '\0');
    for (size_t i = 0; i < img.size(); ++i) img[i] = static_cast<char>(i * 131 + (i >> 9));
    memcpy(&img[4], "OpenWrt", 7);
    memcpy(&img[FW_IMAGE_SIZE - 4], "\xff\xff\xff\xff", 4);
    return img;
}

std::string form(const std::string& img) {
    return "--B\r\nContent-Disposition: form-data; name=\"firmware\"; filename=\"fw.bin\"\r\n"
           "Content-Type: application/octet-stream\r\n\r\n" +
           img +
           "\r\n--B\r\nContent-Disposition: form-data; name=\"more\"\r\n\r\nTRAILER\r\n--B--\r\n";
}

void on_signal(int) {}

struct Outcome {
    int status;
    std::string out;
    std::string left;  // what the CGI left unread in the pipe
};

class FwRun : public ::testing::Test {
protected:
    TempDir dir;
    std::string staging = dir.file("fwupgrade");
    std::string lock = dir.file("fw_upgrade.lock");
    void SetUp() override {
        g_journal.clear();
        g_dir = dir.path();
    }

    // Feeds body (then closes the pipe) from a thread in 64 KiB pieces while
    // the reader is interrupted by signals; a length of "" means unset. With
    // hold, the feeder then stalls: it keeps the pipe open until the run has
    // returned (or for at most 20 s, and then says so in held_out).
    Outcome run(const std::string& body, const char* length, const std::string& target = "",
                bool hold = false) {
        int p[2];
        EXPECT_EQ(pipe(p), 0);
        struct sigaction sa = {};
        sa.sa_handler = on_signal;  // no SA_RESTART: waits and reads fail with EINTR
        sigaction(SIGUSR1, &sa, nullptr);
        std::atomic<bool> done{false}, returned{false};
        held_out = false;
        pthread_t reader = pthread_self();
        std::thread feed([&] {
            for (size_t at = 0; at < body.size(); at += 65536) {
                size_t n = std::min<size_t>(65536, body.size() - at);
                // Let the reader drain the pipe and wait for more, then interrupt it.
                usleep(300);
                pthread_kill(reader, SIGUSR1);
                if (write(p[1], body.data() + at, n) != static_cast<ssize_t>(n)) break;
            }
            for (int i = 0; hold && !returned && i < 2000; ++i) usleep(10000);
            held_out = hold && !returned;
            close(p[1]);
            done = true;
        });
        FILE* out = tmpfile();
        const FwHooks hooks = {fake_shell, fake_pause};
        const FwSetup setup = {target.empty() ? staging.c_str() : target.c_str(), lock.c_str(),
                               idle_ms};
        Outcome r;
        r.status = fw_upgrade_run(length, p[0], out, setup, hooks);
        returned = true;
        r.out = read_all((rewind(out), out));
        fclose(out);
        // Drain what is left so the feeder can finish.
        char buf[65536];
        ssize_t n;
        while ((n = read(p[0], buf, sizeof buf)) != 0) {
            if (n > 0)
                r.left.append(buf, static_cast<size_t>(n));
            else if (errno != EINTR)
                break;
        }
        feed.join();
        close(p[0]);
        return r;
    }
    bool staged() { return access(staging.c_str(), F_OK) == 0; }
    int idle_ms = 60000;
    std::atomic<bool> held_out{false};
    // One upload of the body in body_file, with room for only that many bytes
    // in any file, and the signal that a write beyond it brings.
    void upload_with_room(const std::string& body_file, const std::string& length, rlim_t room) {
        struct rlimit cut = {room, room};
        setrlimit(RLIMIT_FSIZE, &cut);
        signal(SIGXFSZ, SIG_DFL);
        UniqueFd in(open(body_file.c_str(), O_RDONLY));
        const FwHooks hooks = {fake_shell, fake_pause};
        const FwSetup setup = {staging.c_str(), lock.c_str(), idle_ms};
        FILE* out = fopen("/dev/null", "w");
        _exit(fw_upgrade_run(length.c_str(), in.get(), out, setup, hooks));
    }
    std::string last_two() { return g_journal[g_journal.size() - 2] + ";" + g_journal.back(); }
};

TEST_F(FwRun, GoodImageIsStagedAfterTheServicesStop) {
    std::string img = image(), body = form(img);
    Outcome r = run(body, std::to_string(body.size()).c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, HEAD);
    EXPECT_EQ(read_text(staging), img);  // nothing of the form after the image
    const std::vector<std::string> want = {"rm -f /tmp/fwupgrade",
                                           "sync",
                                           "killall -9 perl",
                                           "killall -9 hairtunes",
                                           "killall -9 pravik",
                                           "killall dorvu",
                                           "pause 1",
                                           "killall -9 dorvu",
                                           "killall -9 zentrac",
                                           "killall -9 minidlna",
                                           "killall -9 velmar",
                                           "killall -9 avahi-daemon",
                                           "killall -9 telnetd",
                                           "killall -9 miniupnpd",
                                           "killall -9 wpa_supplicant",
                                           "killall -9 holbit",
                                           "killall -9 udhcpc",
                                           "killall -9 hotplug2",
                                           "killall -9 dbus-daemon",
                                           "killall -9 ferrow",
                                           "killall -9 logger",
                                           "sync",
                                           "sync",
                                           "echo 3 > /proc/sys/vm/drop_caches",
                                           "pause 2",
                                           "echo 3 > /proc/sys/vm/drop_caches",
                                           "pause 2"};
    EXPECT_EQ(g_journal, want);
}

// A request that cannot carry an image (a plain GET, a small form, a length
// beyond any upload) is answered at once: no service stopped, nothing removed.
TEST_F(FwRun, BadLengthIsRefusedBeforeAnyCommand) {
    std::string too_big = std::to_string(FW_BODY_MAX + 1);
    std::string too_small = std::to_string(FW_IMAGE_SIZE - 1);
    ASSERT_TRUE(write_text(staging, "staged before"));
    for (const char* len :
         {(const char*)nullptr, "", "0", "10", too_small.c_str(), "abc", "-5", "+5", " 5", "12x",
          "8126464 ", "0x7C0000", "99999999999999999999999", too_big.c_str()}) {
        g_journal.clear();
        Outcome r = run("BODY", len);
        EXPECT_EQ(r.status, 1) << (len ? len : "unset");
        EXPECT_EQ(r.out, HEAD + err('2') + TAIL);
        EXPECT_EQ(r.left, "BODY");
        EXPECT_EQ(read_text(staging), "staged before");
        EXPECT_TRUE(g_journal.empty()) << g_journal.front();
    }
}

TEST_F(FwRun, ShortBodyAndNoImage) {
    // The largest length taken, but the input ends first.
    Outcome r = run("abc", std::to_string(FW_BODY_MAX).c_str());
    EXPECT_EQ(r.out, HEAD + err('3') + TAIL);
    EXPECT_FALSE(staged());
    // Exactly the declared bytes are read, never more; no data start.
    std::string body = std::string(FW_IMAGE_SIZE, 'x') + "MORE";
    r = run(body, std::to_string(body.size() - 4).c_str());
    EXPECT_EQ(r.out, HEAD + err('x').substr(2) + TAIL);
    EXPECT_EQ(r.left, "MORE");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(staged());
    // A data start, but the body ends before a whole image.
    body = "Content-Type: text/plain\r\n\r\n" + image().substr(0, FW_IMAGE_SIZE - 1);
    r = run(body, std::to_string(body.size()).c_str());
    EXPECT_EQ(r.out, HEAD + err('x').substr(2) + TAIL);
    EXPECT_FALSE(staged());
}

// The storage takes only part of the image: cut well before the end, and
// one byte short (the last bytes may wait in stdio's buffer until the flush).
// While one upload runs, another is refused before it does anything: no
// service stopped, no staging file touched, no byte read.
TEST_F(FwRun, OneUploadAtATime) {
    std::string img = image(), body = form(img), length = std::to_string(body.size());
    ASSERT_TRUE(write_text(staging, "the first upload's"));
    {
        UniqueFd held(open(lock.c_str(), O_RDWR | O_CREAT, 0600));
        ASSERT_TRUE(held);
        ASSERT_EQ(flock(held.get(), LOCK_EX | LOCK_NB), 0);
        Outcome r = run(body, length.c_str());
        EXPECT_EQ(r.out, HEAD + err('1') + TAIL);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(g_journal.empty()) << g_journal.front();
        EXPECT_EQ(r.left, body);
        EXPECT_EQ(read_text(staging), "the first upload's");
    }
    // Once it is over, the next one runs, and leaves the lock free.
    ASSERT_EQ(unlink(staging.c_str()), 0);
    Outcome r = run(body, length.c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(staging), img);
    UniqueFd after(open(lock.c_str(), O_RDWR));
    ASSERT_TRUE(after);
    EXPECT_EQ(flock(after.get(), LOCK_EX | LOCK_NB), 0);
}

// A link planted at the lock's path is not followed either.
TEST_F(FwRun, PlantedLockIsNotFollowed) {
    std::string victim = dir.file("victim");
    ASSERT_EQ(symlink(victim.c_str(), lock.c_str()), 0);
    std::string body = form(image());
    Outcome r = run(body, std::to_string(body.size()).c_str());
    EXPECT_EQ(r.out, HEAD + err('1') + TAIL);
    EXPECT_TRUE(g_journal.empty());
    EXPECT_NE(access(victim.c_str(), F_OK), 0);
}

// A box whose /var/lock is missing still takes the rescue upload: the folder
// is made (0755 whatever the umask); only a lock that cannot be made at all
// refuses it.
TEST_F(FwRun, MissingLockFolderIsMade) {
    std::string img = image(), body = form(img), length = std::to_string(body.size());
    std::string folder = dir.file("lock");
    lock = folder + "/fw_upgrade.lock";
    mode_t old = umask(077);
    Outcome r = run(body, length.c_str());
    umask(old);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_text(staging), img);
    struct stat st = {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);

    ASSERT_EQ(unlink(staging.c_str()), 0);
    g_journal.clear();
    lock = dir.file("none") + "/lock/fw_upgrade.lock";
    r = run(body, length.c_str());
    EXPECT_EQ(r.out, HEAD + err('1') + TAIL);
    EXPECT_TRUE(g_journal.empty());
    EXPECT_FALSE(staged());
}

// A client that sends part of the body and then neither sends nor closes:
// the run ends once no byte has come for the limit, as for a short body.
TEST_F(FwRun, StalledUploadGivesUp) {
    idle_ms = 200;
    std::string body = form(image());
    Outcome r = run(body.substr(0, body.size() / 2), std::to_string(body.size()).c_str(), "", true);
    EXPECT_FALSE(held_out) << "the run waited until the client closed";
    EXPECT_EQ(r.out, HEAD + err('3') + TAIL);
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(staged());
    EXPECT_EQ(last_two(), "rm -f " + staging + ";sync");
    // The whole body, then the stall: nothing is waited for.
    r = run(body, std::to_string(body.size()).c_str(), "", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, HEAD);
}

TEST_F(FwRun, FailedWrite) {
    std::string body = form(image());
    struct sigaction ignore = {}, old_action;
    ignore.sa_handler = SIG_IGN;  // the write fails with EFBIG instead
    sigaction(SIGXFSZ, &ignore, &old_action);
    struct rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    for (rlim_t room : {rlim_t(1048576), rlim_t(FW_IMAGE_SIZE - 1)}) {
        struct rlimit cut = old_limit;
        cut.rlim_cur = room;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &cut), 0);
        Outcome r = run(body, std::to_string(body.size()).c_str());
        setrlimit(RLIMIT_FSIZE, &old_limit);
        EXPECT_EQ(r.out, HEAD + err('6') + TAIL) << room;
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(staged());
        EXPECT_EQ(dir.count_entries(), 1);  // the lock: no cut image under any name
    }
    sigaction(SIGXFSZ, &old_action, nullptr);
}

// Killed while it writes the image (by the file size limit's signal, at the
// write itself): nothing lies at the staging path, though the client got
// what success shows. The next upload clears what the killed one left.
TEST_F(FwRun, KilledAtTheStagingWriteStagesNothing) {
    std::string img = image(), body = form(img), length = std::to_string(body.size());
    std::string body_file = dir.file("body");
    ASSERT_TRUE(write_text(body_file, body));
    EXPECT_EXIT(upload_with_room(body_file, length, 1048576), ::testing::KilledBySignal(SIGXFSZ),
                "");
    EXPECT_FALSE(staged());
    EXPECT_EQ(dir.count_entries(), 3);  // body, lock and the cut image's temporary file
    Outcome r = run(body, length.c_str());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(read_text(staging) == img);
    EXPECT_EQ(dir.count_entries(), 3);  // body, lock, staged image
}

// The field name comes back in the answer page: markup in it is escaped.
TEST_F(FwRun, FieldNameIsEscapedInTheAnswer) {
    std::string img = image();
    img[10] = 'T';  // "OpenWrT"
    const std::string names[][2] = {
        {"firmware", "firmware"},
        {"<script>alert('x&y')</script>", "&lt;script&gt;alert(&#39;x&amp;y&#39;)&lt;/script&gt;"},
    };
    for (const auto& n : names) {
        std::string body =
            "--B\r\nContent-Disposition: form-data; name=\"" + n[0] +
            "\"; filename=\"fw.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n" + img;
        Outcome r = run(body, std::to_string(body.size()).c_str());
        EXPECT_EQ(r.out, HEAD + n[1] + " <br>" + TAIL);
        EXPECT_EQ(r.status, 1);
        EXPECT_FALSE(staged());
    }
}

// Whatever lies at the staging path once the services are stopped (a link
// planted meanwhile, a file) is neither followed nor reused.
TEST_F(FwRun, PlantedPathIsLeftAlone) {
    std::string body = form(image());
    std::string victim = dir.file("victim");
    ASSERT_TRUE(write_text(victim, "precious\n"));
    for (const std::string& target : {victim, dir.file("new")}) {
        g_journal.clear();
        ASSERT_EQ(symlink(target.c_str(), staging.c_str()), 0);
        Outcome r = run(body, std::to_string(body.size()).c_str());
        EXPECT_EQ(r.out, HEAD + err('1') + TAIL);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(g_journal.back(), "pause 2");  // no removal, no sync
        char link[256] = {};
        EXPECT_EQ(readlink(staging.c_str(), link, sizeof link - 1),
                  static_cast<ssize_t>(target.size()));
        EXPECT_EQ(link, target);
        ASSERT_EQ(unlink(staging.c_str()), 0);
    }
    EXPECT_EQ(read_text(victim), "precious\n");
    EXPECT_NE(access(dir.file("new").c_str(), F_OK), 0);

    ASSERT_TRUE(write_text(staging, "older"));
    Outcome r = run(body, std::to_string(body.size()).c_str());
    EXPECT_EQ(r.out, HEAD + err('1') + TAIL);
    EXPECT_EQ(read_text(staging), "older");
}

TEST_F(FwRun, StagedFileIsPrivate) {
    std::string body = form(image());
    Outcome r = run(body, std::to_string(body.size()).c_str());
    ASSERT_EQ(r.status, 0);
    struct stat st;
    ASSERT_EQ(lstat(staging.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(FwRun, StagingFileCannotBeCreated) {
    Outcome r = run("BODY", std::to_string(FW_IMAGE_SIZE).c_str(), dir.file("none/fwupgrade"));
    EXPECT_EQ(r.out, HEAD + err('1') + TAIL);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(g_journal.back(), "pause 2");  // no removal, no sync
}

}  // namespace
