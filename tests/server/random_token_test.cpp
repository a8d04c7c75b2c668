#include "random_token.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

namespace {

std::string encode(const std::string& bytes) {
    return encodeBase64Url(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace

TEST(Base64Url, MatchesTheStandardVectorsWithoutPadding) {
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg");
    EXPECT_EQ(encode("fo"), "Zm8");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg");
    EXPECT_EQ(encode("fooba"), "Zm9vYmE");
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
}

TEST(Base64Url, UsesDashAndUnderscoreInsteadOfPlusAndSlash) {
    EXPECT_EQ(encode("\xFB\xFF"), "-_8");
    EXPECT_EQ(encode("\xFF\xFF\xFF"), "____");
    EXPECT_EQ(encode(std::string("\xF8\x00\x00", 3)), "-AAA");
}

TEST(Base64Url, CharacterClassIsExactlyTheAlphabet) {
    std::string accepted;
    for (int c = 0; c < 256; ++c) {
        if (isBase64UrlChar(static_cast<char>(c))) accepted += static_cast<char>(c);
    }
    EXPECT_EQ(accepted, "-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
}

TEST(RandomToken, HasTheLengthOfItsBytesAndOnlyUrlSafeCharacters) {
    for (std::size_t bytes : {1u, 2u, 3u, 12u, 15u, 16u, 32u}) {
        std::string token = randomToken(bytes);
        EXPECT_EQ(token.size(), (bytes * 4 + 2) / 3) << bytes;
        for (char c : token) EXPECT_TRUE(isBase64UrlChar(c)) << token;
    }
}

TEST(RandomToken, NeverRepeatsAcrossManyDraws) {
    std::set<std::string> seen;
    for (int i = 0; i < 20000; ++i) seen.insert(randomToken(15));
    EXPECT_EQ(seen.size(), 20000u);
}

// A source that were not random (a counter, a clock, a badly seeded generator) would leave some
// bit positions far from one half. 4000 draws of 120 bits: each bit is set 2000 +- 32 times
// (one standard deviation); the bounds below are more than 7 deviations wide.
TEST(SystemRandom, EveryBitPositionIsSetAboutHalfTheTime) {
    constexpr int kDraws = 4000;
    std::array<int, 15 * 8> setCounts{};
    for (int draw = 0; draw < kDraws; ++draw) {
        unsigned char bytes[15];
        ASSERT_TRUE(readSystemRandom(bytes, sizeof bytes));
        for (int bit = 0; bit < 15 * 8; ++bit) setCounts[bit] += (bytes[bit / 8] >> (bit % 8)) & 1;
    }
    for (int bit = 0; bit < 15 * 8; ++bit) {
        EXPECT_GT(setCounts[bit], 1770) << "bit " << bit;
        EXPECT_LT(setCounts[bit], 2230) << "bit " << bit;
    }
}

TEST(SystemRandom, FillsLargeBuffersCompletely) {
    // getrandom() may return less than asked for large requests; every byte must be filled.
    std::string buffer(1 << 20, '\0');
    ASSERT_TRUE(readSystemRandom(buffer.data(), buffer.size()));
    std::size_t zeros = 0;
    for (char c : buffer.substr(buffer.size() - 4096)) zeros += c == '\0';
    EXPECT_LT(zeros, 64u);  // about 16 expected
}
