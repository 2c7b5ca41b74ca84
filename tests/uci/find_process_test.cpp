// find_process: the first token of "ps -w |grep NAME", printed with the name.
#include "find_process.h"
#include "uci_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(FindProcess, ReportsTheFirstTokenOrNothing) {
    // The test's own process line holds its name (as does grep's own line).
    Capture out(1);
    EXPECT_TRUE(find_process("uci_option_test"));
    std::string text = out.text();
    ASSERT_EQ(text.rfind("\nuci_option_test pid=", 0), 0u) << text;
    long pid = strtol(text.c_str() + 21, nullptr, 10);
    EXPECT_GT(pid, 0) << text;
    EXPECT_EQ(text.back(), '\n');

    // No output at all (the pipeline's output goes elsewhere): nothing found, nothing printed.
    Capture none(1);
    EXPECT_FALSE(find_process("uci_option_test >/dev/null"));
    EXPECT_EQ(none.text(), "");
}

}  // namespace
