// Reading the request body from a client that trickles, stalls or is
// interrupted: the wait is for one byte at a time, not for the whole body.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "fw_input.h"
#include "handles.h"

namespace {

void on_signal(int) {}

struct Pipe {
    UniqueFd r, w;
    Pipe() {
        int p[2];
        EXPECT_EQ(pipe(p), 0);
        r.reset(p[0]);
        w.reset(p[1]);
    }
};

TEST(ReadBody, StalledClientEndsTheRead) {
    Pipe p;
    ASSERT_EQ(write(p.w.get(), "0123456789", 10), 10);
    unsigned char buf[64];
    EXPECT_EQ(read_body(p.r.get(), buf, sizeof buf, 100), 10u);  // the writer stays open
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), "0123456789");
    EXPECT_EQ(read_body(p.r.get(), buf, sizeof buf, 100), 0u);  // nothing at all came
}

TEST(ReadBody, SlowButSteadyClientIsReadWhole) {
    // Each gap is well below the limit, all of them together well above it.
    Pipe p;
    std::thread feed([&] {
        for (int i = 0; i < 12; ++i) {
            usleep(80000);
            if (write(p.w.get(), "ab", 2) != 2) break;
        }
    });
    unsigned char buf[24];
    EXPECT_EQ(read_body(p.r.get(), buf, sizeof buf, 400), sizeof buf);
    feed.join();
}

TEST(ReadBody, SignalsDoNotLengthenTheWait) {
    struct sigaction sa = {}, old;
    sa.sa_handler = on_signal;  // no SA_RESTART: the wait fails with EINTR
    sigaction(SIGUSR1, &sa, &old);
    Pipe p;
    ASSERT_EQ(write(p.w.get(), "abc", 3), 3);
    std::atomic<bool> back{false}, outlasted{false};
    pthread_t reader = pthread_self();
    // Signals every 20 ms for up to 5 s; a wait started anew at each would
    // still be waiting when they stop.
    std::thread storm([&] {
        for (int i = 0; i < 250 && !back; ++i) {
            usleep(20000);
            pthread_kill(reader, SIGUSR1);
        }
        outlasted = !back;
    });
    unsigned char buf[8];
    size_t got = read_body(p.r.get(), buf, sizeof buf, 200);
    back = true;
    storm.join();
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_EQ(got, 3u);
    EXPECT_FALSE(outlasted);
}

TEST(ReadBody, EndAndExactLength) {
    Pipe p;
    ASSERT_EQ(write(p.w.get(), "abcdef", 6), 6);
    unsigned char buf[8] = {};
    EXPECT_EQ(read_body(p.r.get(), buf, 4, 60000), 4u);  // never more than asked
    p.w.reset();
    EXPECT_EQ(read_body(p.r.get(), buf, 8, 60000), 2u);  // the end, at once
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "ef");
}

}  // namespace
