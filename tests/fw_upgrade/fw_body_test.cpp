// Body parsing and image tests on buffers of exactly the body's size, so
// that ASan sees any byte read past the end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fw_body.h"
#include "fw_image.h"

namespace {

using Bytes = std::vector<uint8_t>;
Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

bool start_of(const std::string& s, size_t* at) {
    Bytes b = bytes(s);
    return find_data_start(b.data(), b.size(), at);
}

std::string name_of(const std::string& s) {
    Bytes b = bytes(s);
    char name[FW_NAME_MAX + 1];
    capture_field_name(b.data(), b.size(), name);
    return name;
}

const char* const TYPES[] = {"application/octet-stream", "application/x-ns-proxy-autoconfig",
                             "application/macbinary", "application/x-macbinary", "text/plain"};

std::string part(const char* type) { return std::string("Content-Type: ") + type + "\r\n\r\n"; }

TEST(DataStart, EachTypeRuleStartsAfterTheEmptyLine) {
    for (const char* t : TYPES) {
        std::string head =
            "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a\"\r\n" + part(t);
        size_t at = 0;
        ASSERT_TRUE(start_of(head + "IMAGE", &at)) << t;
        EXPECT_EQ(at, head.size()) << t;
    }
}

TEST(DataStart, EarlierRuleWinsWhereverItsMarkLies) {
    for (size_t i = 0; i < 5; ++i)
        for (size_t j = i + 1; j < 5; ++j) {
            // The later rule's mark comes first in the body.
            std::string first = part(TYPES[j]) + "x";
            std::string body = first + part(TYPES[i]) + "DATA";
            size_t at = 0;
            ASSERT_TRUE(start_of(body, &at));
            EXPECT_EQ(body.substr(at), "DATA") << TYPES[i] << " after " << TYPES[j];
        }
}

TEST(DataStart, FilenameRule) {
    size_t at = 0;
    std::string head = "Content-Disposition: form-data; name=\"f\"; filename=\"a.bin\"\r\n\r\n";
    ASSERT_TRUE(start_of(head + "IMG", &at));
    EXPECT_EQ(at, head.size());
    ASSERT_TRUE(start_of("xx filename=a.bin\r\n\r\nIMG", &at));  // no quote: the mark itself
    EXPECT_EQ(at, 3u);
    EXPECT_FALSE(start_of("xx filename=\"a.bin\"", &at));  // no line end
    EXPECT_FALSE(start_of("no marks here\r\n\r\n", &at));
    // Marks past the first zero byte are not in the text.
    EXPECT_FALSE(start_of(std::string("x\0", 2) + part(TYPES[0]) + "IMG", &at));
}

TEST(DataStart, ImageMustFitBeforeTheEnd) {
    std::string head = part(TYPES[0]);
    Bytes b = bytes(head);
    b.resize(head.size() + FW_IMAGE_SIZE - 1, 0xA5);
    size_t at = 0;
    EXPECT_FALSE(locate_image(b.data(), b.size(), &at));
    b.push_back(0xA5);
    ASSERT_TRUE(locate_image(b.data(), b.size(), &at));
    EXPECT_EQ(at, head.size());
    // A start computed past the end of a short body.
    Bytes tail = bytes("filename=\"a\"\r\n");
    EXPECT_FALSE(locate_image(tail.data(), tail.size(), &at));
}

TEST(FieldName, CapturedCutOrLeftEmpty) {
    EXPECT_EQ(name_of("form-data; name=\"firmware\"; filename=\"x\""), "firmware");
    EXPECT_EQ(name_of("no field at all"), "");
    EXPECT_EQ(name_of("form-data; name=\"\"; x"), "");
    EXPECT_EQ(name_of("form-data; name=\"firmw"), "");  // no closing quote before the end
    EXPECT_EQ(name_of("x name"), "");                   // ends right after the word
    std::string n127(127, 'a'), n300(300, 'b');
    EXPECT_EQ(name_of("name=\"" + n127 + "\""), n127);
    EXPECT_EQ(name_of("name=\"" + n300 + "\""), n300.substr(0, 127));
}

// A body with the image at offset off; the last word as given or the XOR.
Bytes image_at(size_t off, bool ffff = false) {
    Bytes b(off + FW_IMAGE_SIZE);
    uint32_t x = 2463534242u, sum = 0;
    for (size_t i = 0; i < FW_IMAGE_SIZE - 4; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b[off + i] = static_cast<uint8_t>(x);
    }
    for (size_t i = 0; i < FW_IMAGE_SIZE - 4; i += 4)
        sum ^= uint32_t(b[off + i]) << 24 | uint32_t(b[off + i + 1]) << 16 |
               uint32_t(b[off + i + 2]) << 8 | b[off + i + 3];
    if (ffff) sum = 0xFFFFFFFFu;
    for (int k = 0; k < 4; ++k)
        b[off + FW_IMAGE_SIZE - 4 + k] = static_cast<uint8_t>(sum >> (24 - 8 * k));
    return b;
}

TEST(Checksum, RightAndWrongAtEveryAlignment) {
    for (size_t off = 0; off < 8; ++off) {
        Bytes b = image_at(off);
        EXPECT_TRUE(image_checksum_ok(b.data() + off)) << off;
        b[off + 1] ^= 0x40;  // the first word
        EXPECT_FALSE(image_checksum_ok(b.data() + off)) << off;
        b[off + 1] ^= 0x40;
        b[off + FW_IMAGE_SIZE - 5] ^= 0x01;  // the last word before the sum
        EXPECT_FALSE(image_checksum_ok(b.data() + off)) << off;
    }
}

TEST(Checksum, AllOnesMeansNoChecksum) {
    Bytes b = image_at(3, true);
    b[100] ^= 0xFF;
    EXPECT_TRUE(image_checksum_ok(b.data() + 3));
}

TEST(NameMark, ZeroEndsTheTextAndAShortFillKeepsTheRest) {
    char mark[FW_MARK_LEN + 1] = {};
    fill_name_mark(mark, reinterpret_cast<const uint8_t*>("OpenWrtX"), FW_MARK_LEN);
    EXPECT_TRUE(name_mark_ok(mark));
    fill_name_mark(mark, reinterpret_cast<const uint8_t*>("Op\0nWrt"), FW_MARK_LEN);
    EXPECT_FALSE(name_mark_ok(mark));
    fill_name_mark(mark, reinterpret_cast<const uint8_t*>("Open"), 4);  // rest as before
    EXPECT_TRUE(name_mark_ok(mark));
}

}  // namespace
