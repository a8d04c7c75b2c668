#include "image_request.h"

#include <gtest/gtest.h>

namespace {

using Ranges = std::vector<std::pair<ssize_t, ssize_t>>;

RangeAnswer resolve(const Ranges& ranges, std::uint64_t size, ByteRange* range) {
    return resolveRange(ranges, size, range);
}

}  // namespace

TEST(ImageRequest, NoRangeMeansTheWholeImage) {
    ByteRange range{0, 1000};
    EXPECT_EQ(resolve({}, 1000, &range), RangeAnswer::Whole);
    EXPECT_EQ(range.offset, 0u);
    EXPECT_EQ(range.length, 1000u);
}

TEST(ImageRequest, ResolvesTheThreeFormsOfOneRange) {
    ByteRange range;
    ASSERT_EQ(resolve({{0, 7}}, 1000, &range), RangeAnswer::Partial);  // bytes=0-7
    EXPECT_EQ(range.offset, 0u);
    EXPECT_EQ(range.length, 8u);
    ASSERT_EQ(resolve({{990, -1}}, 1000, &range), RangeAnswer::Partial);  // bytes=990-
    EXPECT_EQ(range.offset, 990u);
    EXPECT_EQ(range.length, 10u);
    ASSERT_EQ(resolve({{-1, 100}}, 1000, &range), RangeAnswer::Partial);  // bytes=-100
    EXPECT_EQ(range.offset, 900u);
    EXPECT_EQ(range.length, 100u);
    EXPECT_EQ(contentRangeValue(range, 1000), "bytes 900-999/1000");
}

TEST(ImageRequest, ClampsRangesThatRunPastTheEnd) {
    ByteRange range;
    ASSERT_EQ(resolve({{500, 5000}}, 1000, &range), RangeAnswer::Partial);
    EXPECT_EQ(range.offset, 500u);
    EXPECT_EQ(range.length, 500u);
    ASSERT_EQ(resolve({{-1, 5000}}, 1000, &range), RangeAnswer::Partial);
    EXPECT_EQ(range.offset, 0u);
    EXPECT_EQ(range.length, 1000u);
}

TEST(ImageRequest, RangesBeyondTheImageCannotBeSatisfied) {
    ByteRange range;
    EXPECT_EQ(resolve({{1000, -1}}, 1000, &range), RangeAnswer::Unsatisfiable);
    EXPECT_EQ(resolve({{2000, 3000}}, 1000, &range), RangeAnswer::Unsatisfiable);
    EXPECT_EQ(resolve({{-1, 0}}, 1000, &range), RangeAnswer::Unsatisfiable);
}

TEST(ImageRequest, SeveralOrBackwardRangesGetTheWholeImage) {
    ByteRange range;
    EXPECT_EQ(resolve({{0, 1}, {5, 6}}, 1000, &range), RangeAnswer::Whole);
    EXPECT_EQ(resolve({{9, 3}}, 1000, &range), RangeAnswer::Whole);
}

TEST(ImageRequest, IfNoneMatchComparesWeaklyAndAcceptsLists) {
    const std::string etag = "\"AbCdEfGhIjKlMnOp-_09.png\"";
    EXPECT_TRUE(etagListMatches(etag, etag));
    EXPECT_TRUE(etagListMatches("W/" + etag, etag));
    EXPECT_TRUE(etagListMatches("\"a\", " + etag + " ,\"b\"", etag));
    EXPECT_TRUE(etagListMatches("*", etag));
    EXPECT_FALSE(etagListMatches("\"a\", \"b\"", etag));
    EXPECT_FALSE(etagListMatches("", etag));
    EXPECT_FALSE(etagListMatches("AbCdEfGhIjKlMnOp-_09.png", etag));  // unquoted
}
