// The settings tool on a temporary file standing in for the flash device,
// whose bytes outside the record hold a pattern that must never change.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "nor_run.h"
#include "nor_slots.h"

namespace {

constexpr size_t DEVICE_SIZE = 131072;
constexpr size_t RECORD_END = NOR_RECORD_OFFSET + NOR_RECORD_SIZE;

struct Result {
    int status;
    std::string out;
    std::string err;
};

std::string read_all(FILE* f) {
    std::string s;
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

Result run_nor(const std::string& device, std::vector<std::string> args) {
    args.insert(args.begin(), "nor");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    Result r;
    r.status = nor_run(static_cast<int>(args.size()), argv.data(), device.c_str(), out, err);
    r.out = read_all(out);
    r.err = read_all(err);
    fclose(out);
    fclose(err);
    return r;
}

class NorTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/nor_test.XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
        image_.resize(DEVICE_SIZE);
        for (size_t i = 0; i < DEVICE_SIZE; ++i) image_[i] = static_cast<char>(0xA5 ^ (i * 7));
        // The record starts out empty, as after a reset.
        memset(&image_[NOR_RECORD_OFFSET], 0, NOR_RECORD_SIZE);
        write_device(image_);
    }
    void TearDown() override { unlink(path_.c_str()); }

    void write_device(const std::string& bytes) {
        FILE* f = fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        ASSERT_EQ(fclose(f), 0);
    }
    std::string device() const {
        FILE* f = fopen(path_.c_str(), "rb");
        std::string s = f ? read_all(f) : std::string();
        if (f) fclose(f);
        return s;
    }
    std::string slot(size_t n) const { return device().substr(nor_slot_offset(n), NOR_SLOT_SIZE); }
    // Everything outside the record is as it was.
    void expect_outside_untouched() const {
        std::string now = device();
        ASSERT_EQ(now.size(), image_.size());
        EXPECT_EQ(now.compare(0, NOR_RECORD_OFFSET, image_, 0, NOR_RECORD_OFFSET), 0);
        EXPECT_EQ(now.compare(RECORD_END, std::string::npos, image_, RECORD_END, std::string::npos),
                  0);
    }
    Result nor(std::vector<std::string> args) { return run_nor(path_, std::move(args)); }

    std::string path_;
    std::string image_;
};

std::string padded(const std::string& text) {
    return text + std::string(NOR_SLOT_SIZE - text.size(), '\0');
}

TEST(NorSlots, TableOffsetsAndLengths) {
    EXPECT_EQ(NOR_RECORD_SIZE, 1472u);
    EXPECT_EQ(nor_slot_offset(0), 0x1C000);
    EXPECT_EQ(nor_slot_offset(22), 0x1C580);
    EXPECT_EQ(nor_slot_offset(22) + 64, 0x1C5C0);
    EXPECT_STREQ(NOR_SLOTS[0].key, "ssid_name");
    EXPECT_STREQ(NOR_SLOTS[12].key, "smb_anonymous_en");
    EXPECT_STREQ(NOR_SLOTS[22].key, "wwanchan");
    for (const NorSlot& s : NOR_SLOTS) EXPECT_EQ(strlen(s.key), s.key_len) << s.key;
}

TEST_F(NorTest, UnknownCommandLeavesTheDeviceAlone) {
    Result r = nor({"Get", "ssid_name"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("usage: user config tool\n", 0), 0u);
    EXPECT_EQ(device(), image_);
}

TEST_F(NorTest, EveryKeyRoundTripsInItsOwnSlot) {
    for (size_t n = 0; n < NOR_SLOT_COUNT; ++n) {
        std::string key = NOR_SLOTS[n].key;
        Result set = nor({"set", key + "=v" + std::to_string(n)});
        ASSERT_EQ(set.status, 0) << key;
        EXPECT_EQ(set.out + set.err, "");
        EXPECT_EQ(slot(n), padded(key + "=v" + std::to_string(n))) << key;
    }
    for (size_t n = 0; n < NOR_SLOT_COUNT; ++n) {
        Result get = nor({"get", NOR_SLOTS[n].key});
        EXPECT_EQ(get.status, 0);
        EXPECT_EQ(get.out, "v" + std::to_string(n) + "\n");
    }
    expect_outside_untouched();
}

TEST_F(NorTest, SetMatchesByKeyPrefixAndStoresWhole) {
    // No "=" needed; the bare key is stored as it is.
    EXPECT_EQ(nor({"set", "wwanchan"}).status, 0);
    EXPECT_EQ(slot(22), padded("wwanchan"));
    // A longer unknown name lands in the slot of the key it begins with, and
    // get prints from key length + 1 on.
    nor({"set", "wan_modeXYZ=1"});
    EXPECT_EQ(slot(4), padded("wan_modeXYZ=1"));
    EXPECT_EQ(nor({"get", "wan_mode"}).out, "YZ=1\n");
    // Setting again replaces the whole slot, shorter text included.
    nor({"set", "ssid_name=a-long-network-name"});
    nor({"set", "ssid_name=b"});
    EXPECT_EQ(slot(0), padded("ssid_name=b"));
    expect_outside_untouched();
}

TEST_F(NorTest, UnknownEntriesAndMissingArgumentsChangeNothing) {
    for (auto args : {std::vector<std::string>{"set", "nosuchkey=1"},
                      {"set", "ssid"},
                      {"set"},
                      {"get"},
                      {"get", "nosuchkey"},
                      {"get", "ssid"},
                      {"get", "ssid_name=x"},
                      {"get", "ssid_name"}}) {
        Result r = nor(args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.out + r.err, "") << args[0];
    }
    EXPECT_EQ(device(), image_);
    // Extra arguments are ignored.
    EXPECT_EQ(nor({"set", "stc_ip=10.0.0.2", "stc_mask=255.0.0.0"}).status, 0);
    EXPECT_EQ(nor({"show", "extra"}).out, "stc_ip=10.0.0.2\n");
}

TEST_F(NorTest, GetPrintsNothingForASlotHoldingAnotherKey) {
    std::string bytes = image_;
    memcpy(&bytes[nor_slot_offset(5)], "stc_mask=1", 10);
    write_device(bytes);
    EXPECT_EQ(nor({"get", "stc_ip"}).out, "");
}

TEST_F(NorTest, SixtyThreeCharactersFitSixtyFourAreRefused) {
    std::string fits = "ssid_password=" + std::string(63 - 14, 'p');
    ASSERT_EQ(fits.size(), 63u);
    EXPECT_EQ(nor({"set", fits}).status, 0);
    EXPECT_EQ(slot(2), fits + '\0');
    EXPECT_EQ(nor({"get", "ssid_password"}).out, fits.substr(14) + "\n");

    Result r = nor({"set", "ssid_password=" + std::string(64 - 14, 'q')});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slot(2), fits + '\0') << "a refused entry must not touch the slot";
    expect_outside_untouched();
}

TEST_F(NorTest, ShowListsSlotsInTableOrderAndResetEmptiesAll) {
    nor({"set", "wwanpwd=secret"});
    nor({"set", "encryption=psk2"});
    nor({"set", "airplay_name=Box"});
    EXPECT_EQ(nor({"show"}).out, "encryption=psk2\nairplay_name=Box\nwwanpwd=secret\n");

    // A slot filled to its last byte by someone else prints at most 64 bytes.
    std::string bytes = device();
    memset(&bytes[nor_slot_offset(9)], 'x', NOR_SLOT_SIZE);
    write_device(bytes);
    EXPECT_EQ(nor({"show"}).out, "encryption=psk2\n" + std::string(NOR_SLOT_SIZE, 'x') +
                                     "\nairplay_name=Box\nwwanpwd=secret\n");

    memset(&bytes[NOR_RECORD_OFFSET + 200], 0x5A, 300);  // stray bytes between slots' texts
    write_device(bytes);
    Result reset = nor({"reset"});
    EXPECT_EQ(reset.status, 0);
    EXPECT_EQ(reset.out + reset.err, "");
    EXPECT_EQ(device(), image_) << "reset zeroes exactly the 1472 bytes of the record";
    EXPECT_EQ(nor({"show"}).out, "");
    EXPECT_EQ(nor({"get", "wwanpwd"}).out, "");
}

TEST_F(NorTest, ShortDeviceIsReportedNotExtended) {
    std::string shorter = image_.substr(0, nor_slot_offset(3));
    write_device(shorter);
    for (auto args : {std::vector<std::string>{"set", "wwanchan=6"}, {"reset"}}) {
        Result r = nor(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err, "") << args[0];
    }
    EXPECT_EQ(device(), shorter);
    for (auto args : {std::vector<std::string>{"get", "wwanchan"}, {"show"}}) {
        Result r = nor(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err, "") << args[0];
    }
}

TEST(NorDevice, FailedWriteIsNotReportedAsStored) {
    // /dev/full takes the buffered bytes and fails them at the flush.
    for (auto args : {std::vector<std::string>{"set", "ssid_name=x"}, {"reset"}}) {
        Result r = run_nor("/dev/full", args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_NE(r.err.find("nor: "), std::string::npos) << r.err;
    }
}

}  // namespace
