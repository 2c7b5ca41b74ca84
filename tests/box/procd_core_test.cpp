// The procd stand-in's pure parts: the log ring, the request parser and the
// respawn count.
#include "instance_config.h"
#include "log_ring.h"
#include "respawn.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string all_lines(const LogRing& ring) {
    std::string out;
    ring.for_each([](const char* l, size_t n,
                     void* ctx) { static_cast<std::string*>(ctx)->append(l, n).append("|"); },
                  &out);
    return out;
}

TEST(LogRing, DropsWholeOldestLinesAcrossTheWrap) {
    LogRing ring(16);
    ring.add("aaaa", 4);
    ring.add("bbbb", 4);
    ring.add("cccc", 4);  // 15 bytes used
    EXPECT_EQ("aaaa|bbbb|cccc|", all_lines(ring));
    ring.add("dddddd", 6);  // wraps; two old lines must go
    EXPECT_EQ("cccc|dddddd|", all_lines(ring));
    EXPECT_EQ(2u, ring.lines());
    ring.add("x\ny", 3);  // one entry, one line
    EXPECT_EQ("cccc|dddddd|x y|", all_lines(ring));
    ring.add("0123456789abcdefghij", 20);  // longer than the ring: cut, alone
    EXPECT_EQ("0123456789abcde|", all_lines(ring));
    EXPECT_EQ(16u, ring.used());
}

TEST(InstanceConfig, ParsesInstancesWithProcdDefaults) {
    const char text[] =
        "instance\narg /usr/sbin/dorvu\narg -v\nrespawn 3600 5\nstdout 1\nenv A=b c\nenv "
        "junk\nend\n"
        "instance second\narg /bin/true\nterm_timeout 9\nend";
    InstanceConfig configs[4];
    const char* err = nullptr;
    ASSERT_EQ(2, parse_instances(text, sizeof text - 1, configs, 4, &err));
    EXPECT_STREQ("instance1", configs[0].name);
    ASSERT_EQ(2u, configs[0].argc);
    EXPECT_STREQ("-v", configs[0].arg(1));
    EXPECT_TRUE(configs[0].respawn);
    EXPECT_EQ(3600, configs[0].threshold);
    EXPECT_EQ(5, configs[0].timeout);
    EXPECT_EQ(DEFAULT_RESPAWN_RETRY, configs[0].retry);  // missing value: procd.sh's default
    EXPECT_TRUE(configs[0].log_stdout);
    EXPECT_FALSE(configs[0].log_stderr);
    ASSERT_EQ(1u, configs[0].envc);  // "junk" is no NAME=VALUE
    EXPECT_STREQ("A=b c", configs[0].env_at(0));
    EXPECT_EQ(DEFAULT_TERM_TIMEOUT, configs[0].term_timeout);
    EXPECT_STREQ("second", configs[1].name);
    EXPECT_FALSE(configs[1].respawn);
    EXPECT_EQ(9, configs[1].term_timeout);
    EXPECT_FALSE(config_equal(configs[0], configs[1]));
    EXPECT_TRUE(config_equal(configs[1], configs[1]));

    std::string many;
    for (int i = 0; i < 40; ++i) many += "arg w\n";
    EXPECT_EQ(-1,
              parse_instances(("instance\n" + many).c_str(), many.size() + 9, configs, 4, &err));
    EXPECT_STREQ("command too long", err);
    EXPECT_EQ(-1, parse_instances("instance\ninstance\n", 18, configs, 1, &err));
}

TEST(Respawn, GivesUpAtTheSixthQuickDeathWithRetry5) {
    int crashes = 0;
    for (int end = 1; end <= 5; ++end) EXPECT_FALSE(respawn_gives_up(1, 3600, 5, crashes)) << end;
    EXPECT_TRUE(respawn_gives_up(1, 3600, 5, crashes));
    crashes = 4;
    EXPECT_FALSE(respawn_gives_up(4000, 3600, 5, crashes));  // a long run resets the count
    EXPECT_EQ(0, crashes);
    crashes = 100;
    EXPECT_FALSE(respawn_gives_up(0, 3600, 0, crashes));  // RETRY 0: for ever
}

}  // namespace
