// Shape checks on the screen font: the blanks, block and shade characters that have to tile, box
// drawing that has to join up across cells, and letters that have to stay legible and apart.
#include "screen/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kSize = 8;

bool pixel(int code, int row, int column) {
    return ((glyphRow(static_cast<unsigned char>(code), row) >> (7 - column)) & 1) != 0;
}

int setPixelsInRow(int code, int row) {
    int count = 0;
    for (int column = 0; column < kSize; ++column) count += pixel(code, row, column) ? 1 : 0;
    return count;
}

int setPixels(int code) {
    int count = 0;
    for (int row = 0; row < kSize; ++row) count += setPixelsInRow(code, row);
    return count;
}

int differingPixels(int a, int b) {
    int count = 0;
    for (int row = 0; row < kSize; ++row) {
        for (int column = 0; column < kSize; ++column) {
            count += pixel(a, row, column) != pixel(b, row, column) ? 1 : 0;
        }
    }
    return count;
}

// The glyph as text, for failure messages.
std::string picture(int code) {
    std::string text = "\n";
    for (int row = 0; row < kSize; ++row) {
        for (int column = 0; column < kSize; ++column) text += pixel(code, row, column) ? '#' : '.';
        text += '\n';
    }
    return text;
}

std::string label(int code) {
    std::string text = "code " + std::to_string(code);
    if (code > 32 && code < 127) text += std::string(" '") + static_cast<char>(code) + "'";
    return text;
}

// Set pixels as (row, column), shifted so the shape's bounding box starts at 0, 0; with its
// height and width. Lets two glyphs be compared as shapes wherever they sit in the cell.
struct Shape {
    std::vector<std::pair<int, int>> pixels;
    int height = 0;
    int width = 0;
};

Shape shapeOf(int code) {
    int top = kSize, bottom = -1, left = kSize, right = -1;
    for (int row = 0; row < kSize; ++row) {
        for (int column = 0; column < kSize; ++column) {
            if (!pixel(code, row, column)) continue;
            top = std::min(top, row);
            bottom = std::max(bottom, row);
            left = std::min(left, column);
            right = std::max(right, column);
        }
    }
    Shape shape;
    if (bottom < 0) return shape;
    shape.height = bottom - top + 1;
    shape.width = right - left + 1;
    for (int row = top; row <= bottom; ++row) {
        for (int column = left; column <= right; ++column) {
            if (pixel(code, row, column)) shape.pixels.emplace_back(row - top, column - left);
        }
    }
    return shape;
}

Shape upsideDown(Shape shape) {
    for (auto& p : shape.pixels) p.first = shape.height - 1 - p.first;
    return shape;
}

Shape mirrored(Shape shape) {
    for (auto& p : shape.pixels) p.second = shape.width - 1 - p.second;
    return shape;
}

bool sameShape(Shape a, Shape b) {
    if (a.height != b.height || a.width != b.width) return false;
    std::sort(a.pixels.begin(), a.pixels.end());
    std::sort(b.pixels.begin(), b.pixels.end());
    return a.pixels == b.pixels;
}

// Row (0 = top) holding the most set pixels of the shape; the first such row on a tie.
int widestRow(const Shape& shape) {
    std::vector<int> counts(shape.height, 0);
    for (const auto& p : shape.pixels) ++counts[p.first];
    int best = 0;
    for (int row = 1; row < shape.height; ++row) {
        if (counts[row] > counts[best]) best = row;
    }
    return best;
}

int tallestColumn(const Shape& shape) {
    std::vector<int> counts(shape.width, 0);
    for (const auto& p : shape.pixels) ++counts[p.second];
    int best = 0;
    for (int column = 1; column < shape.width; ++column) {
        if (counts[column] > counts[best]) best = column;
    }
    return best;
}

std::vector<int> codesBetween(int first, int last) {
    std::vector<int> codes;
    for (int code = first; code <= last; ++code) codes.push_back(code);
    return codes;
}

}  // namespace

TEST(Font, NullSpaceAndNoBreakSpaceAreBlank) {
    for (int code : {0, 32, 255}) {
        for (int row = 0; row < kSize; ++row) {
            EXPECT_EQ(glyphRow(static_cast<unsigned char>(code), row), 0)
                << label(code) << " row " << row;
        }
    }
}

TEST(Font, EveryOtherCodeHasAPictureOfItsOwn) {
    std::vector<int> drawn;
    for (int code = 0; code < 256; ++code) {
        if (code == 0 || code == 32 || code == 255) continue;
        EXPECT_GT(setPixels(code), 0) << label(code) << " is blank";
        drawn.push_back(code);
    }
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        for (std::size_t j = i + 1; j < drawn.size(); ++j) {
            EXPECT_GT(differingPixels(drawn[i], drawn[j]), 0)
                << label(drawn[i]) << " and " << label(drawn[j]) << " look the same"
                << picture(drawn[i]);
        }
    }
}

TEST(Font, FullBlockIsAllSet) {
    for (int row = 0; row < kSize; ++row) EXPECT_EQ(glyphRow(219, row), 0xFF) << "row " << row;
}

TEST(Font, HalfBlocksSplitTheCellExactly) {
    for (int row = 0; row < kSize; ++row) {
        const bool lower = row >= 4;
        EXPECT_EQ(glyphRow(220, row), lower ? 0xFF : 0x00) << "lower half, row " << row;
        EXPECT_EQ(glyphRow(223, row), lower ? 0x00 : 0xFF) << "upper half, row " << row;
        EXPECT_EQ(glyphRow(221, row), 0xF0) << "left half, row " << row;
        EXPECT_EQ(glyphRow(222, row), 0x0F) << "right half, row " << row;
    }
}

// A shade tiles seamlessly when its pattern repeats within the cell: every two rows down and
// every four columns across, so the next cell carries on where this one stops.
TEST(Font, ShadesTileAndDarkenInQuarters) {
    const std::array<int, 3> shades = {176, 177, 178};
    for (std::size_t level = 0; level < shades.size(); ++level) {
        const int code = shades[level];
        for (int row = 0; row < kSize; ++row) {
            const int bits = glyphRow(static_cast<unsigned char>(code), row);
            EXPECT_EQ(bits, glyphRow(static_cast<unsigned char>(code), (row + 2) % kSize))
                << label(code) << " row " << row << picture(code);
            EXPECT_EQ(bits >> 4, bits & 0x0F) << label(code) << " row " << row << picture(code);
        }
        EXPECT_EQ(setPixels(code), 16 * static_cast<int>(level + 1)) << label(code);
    }
}

TEST(Font, LightHorizontalSpansTheCell) {
    bool fullRow = false;
    for (int row = 0; row < kSize; ++row) fullRow = fullRow || glyphRow(196, row) == 0xFF;
    EXPECT_TRUE(fullRow) << picture(196);
    EXPECT_TRUE(pixel(196, 3, 0) && pixel(196, 3, 7)) << picture(196);
}

TEST(Font, LightVerticalSpansTheCell) {
    bool fullColumn = false;
    for (int column = 0; column < kSize; ++column) {
        bool all = true;
        for (int row = 0; row < kSize; ++row) all = all && pixel(179, row, column);
        fullColumn = fullColumn || all;
    }
    EXPECT_TRUE(fullColumn) << picture(179);
    EXPECT_TRUE(pixel(179, 0, 3) && pixel(179, 7, 3)) << picture(179);
}

namespace {

// Which lines leave a box-drawing cell through each side: 0 none, 1 single, 2 double.
struct BoxArms {
    int code;
    int up, down, left, right;
};

constexpr BoxArms kBoxArms[] = {
    {179, 1, 1, 0, 0}, {180, 1, 1, 1, 0}, {181, 1, 1, 2, 0}, {182, 2, 2, 1, 0}, {183, 0, 2, 1, 0},
    {184, 0, 1, 2, 0}, {185, 2, 2, 2, 0}, {186, 2, 2, 0, 0}, {187, 0, 2, 2, 0}, {188, 2, 0, 2, 0},
    {189, 2, 0, 1, 0}, {190, 1, 0, 2, 0}, {191, 0, 1, 1, 0}, {192, 1, 0, 0, 1}, {193, 1, 0, 1, 1},
    {194, 0, 1, 1, 1}, {195, 1, 1, 0, 1}, {196, 0, 0, 1, 1}, {197, 1, 1, 1, 1}, {198, 1, 1, 0, 2},
    {199, 2, 2, 0, 1}, {200, 2, 0, 0, 2}, {201, 0, 2, 0, 2}, {202, 2, 0, 2, 2}, {203, 0, 2, 2, 2},
    {204, 2, 2, 0, 2}, {205, 0, 0, 2, 2}, {206, 2, 2, 2, 2}, {207, 1, 0, 2, 2}, {208, 2, 0, 1, 1},
    {209, 0, 1, 2, 2}, {210, 0, 2, 1, 1}, {211, 2, 0, 0, 1}, {212, 1, 0, 0, 2}, {213, 0, 1, 0, 2},
    {214, 0, 2, 0, 1}, {215, 2, 2, 1, 1}, {216, 1, 1, 2, 2}, {217, 1, 0, 1, 0}, {218, 0, 1, 0, 1},
};

// The positions along an edge where a line of that kind crosses it: a single line through the
// centre (3), a double line either side of it (2 and 4).
std::vector<int> crossings(int kind) {
    if (kind == 1) return {3};
    if (kind == 2) return {2, 4};
    return {};
}

// Set positions along one edge of the cell: side 0 top, 1 bottom, 2 left, 3 right.
std::vector<int> edgePixels(int code, int side) {
    std::vector<int> positions;
    for (int i = 0; i < kSize; ++i) {
        const int row = side == 0 ? 0 : side == 1 ? kSize - 1 : i;
        const int column = side == 2 ? 0 : side == 3 ? kSize - 1 : i;
        if (pixel(code, row, column)) positions.push_back(i);
    }
    return positions;
}

}  // namespace

// Every box-drawing cell crosses its edges at the same places for the same kind of line, so any
// two cells put side by side (or one above the other) join up.
TEST(Font, BoxDrawingLinesMeetTheEdgesWhereNeighboursExpectThem) {
    const char* const sides[] = {"top", "bottom", "left", "right"};
    for (const BoxArms& box : kBoxArms) {
        const int arms[] = {box.up, box.down, box.left, box.right};
        for (int side = 0; side < 4; ++side) {
            EXPECT_EQ(edgePixels(box.code, side), crossings(arms[side]))
                << label(box.code) << ", " << sides[side] << " edge" << picture(box.code);
        }
    }
}

// No loose ends: each separate stroke of a box-drawing cell runs out to the edges at two places
// at least, so lines pass through the cell instead of stopping inside it.
TEST(Font, BoxDrawingStrokesRunThroughTheCell) {
    for (const BoxArms& box : kBoxArms) {
        std::array<std::array<bool, kSize>, kSize> seen{};
        for (int startRow = 0; startRow < kSize; ++startRow) {
            for (int startColumn = 0; startColumn < kSize; ++startColumn) {
                if (!pixel(box.code, startRow, startColumn) || seen[startRow][startColumn]) {
                    continue;
                }
                int edgeTouches = 0;
                std::vector<std::pair<int, int>> pending = {{startRow, startColumn}};
                seen[startRow][startColumn] = true;
                while (!pending.empty()) {
                    const auto [row, column] = pending.back();
                    pending.pop_back();
                    edgeTouches +=
                        (row == 0) + (row == kSize - 1) + (column == 0) + (column == kSize - 1);
                    const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
                    for (const auto& step : steps) {
                        const int r = row + step[0];
                        const int c = column + step[1];
                        if (r < 0 || r >= kSize || c < 0 || c >= kSize) continue;
                        if (!pixel(box.code, r, c) || seen[r][c]) continue;
                        seen[r][c] = true;
                        pending.emplace_back(r, c);
                    }
                }
                EXPECT_GE(edgeTouches, 2) << label(box.code) << ", stroke at row " << startRow
                                          << " column " << startColumn << picture(box.code);
            }
        }
    }
}

TEST(Font, IntegralHalvesJoin) {
    EXPECT_NE(glyphRow(244, 7), 0) << picture(244);
    EXPECT_EQ(glyphRow(244, 7), glyphRow(245, 0)) << picture(244) << picture(245);
}

TEST(Font, PrintableAsciiIsDrawnAndDistinct) {
    const std::vector<int> printable = codesBetween(33, 126);
    ASSERT_EQ(printable.size(), 94u);
    for (int code : printable) EXPECT_GT(setPixels(code), 0) << label(code) << " is blank";
    for (std::size_t i = 0; i < printable.size(); ++i) {
        for (std::size_t j = i + 1; j < printable.size(); ++j) {
            EXPECT_GT(differingPixels(printable[i], printable[j]), 0)
                << label(printable[i]) << " and " << label(printable[j]) << " look the same";
        }
    }
}

// Capitals and digits must not be told apart by a stray pixel or two; the usual suspects (0 and
// O, 1 and l and I and |) are held to the same margin.
TEST(Font, CapitalsAndDigitsAreClearlyDistinct) {
    constexpr int kMargin = 4;
    std::vector<int> codes = codesBetween('A', 'Z');
    for (int code = '0'; code <= '9'; ++code) codes.push_back(code);
    codes.push_back('l');
    codes.push_back('|');
    for (std::size_t i = 0; i < codes.size(); ++i) {
        for (std::size_t j = i + 1; j < codes.size(); ++j) {
            EXPECT_GE(differingPixels(codes[i], codes[j]), kMargin)
                << label(codes[i]) << " vs " << label(codes[j]) << picture(codes[i])
                << picture(codes[j]);
        }
    }
}

TEST(Font, CapitalsAndDigitsStandOnRowSixAndLeaveRowSevenFree) {
    std::vector<int> codes = codesBetween('A', 'Z');
    for (int code = '0'; code <= '9'; ++code) codes.push_back(code);
    for (int code : codes) {
        EXPECT_GT(setPixelsInRow(code, 0), 0) << label(code) << picture(code);
        EXPECT_GT(setPixelsInRow(code, 6), 0) << label(code) << picture(code);
        EXPECT_EQ(glyphRow(static_cast<unsigned char>(code), 7), 0) << label(code) << picture(code);
    }
}

TEST(Font, LowerCaseHasAscendersAndDescendersWhereExpected) {
    const std::string descenders = "gjpqy";
    const std::string ascenders = "bdfhklt";
    const std::string shortLetters = "acemnorsuvwxz";
    for (int code = 'a'; code <= 'z'; ++code) {
        const bool descends = descenders.find(static_cast<char>(code)) != std::string::npos;
        EXPECT_EQ(setPixelsInRow(code, 7) > 0, descends) << label(code) << picture(code);
        EXPECT_GT(setPixelsInRow(code, 6), 0) << label(code) << picture(code);
    }
    for (char letter : ascenders) {
        EXPECT_GT(setPixelsInRow(letter, 0), 0) << label(letter) << picture(letter);
    }
    for (char letter : shortLetters) {
        EXPECT_EQ(setPixelsInRow(letter, 0) + setPixelsInRow(letter, 1), 0)
            << label(letter) << picture(letter);
    }
}

// Column 7 is the gap between neighbouring letters, so words don't run together.
TEST(Font, LettersAndDigitsLeaveTheRightmostColumnFree) {
    std::vector<int> codes = codesBetween('A', 'Z');
    for (int code = 'a'; code <= 'z'; ++code) codes.push_back(code);
    for (int code = '0'; code <= '9'; ++code) codes.push_back(code);
    for (int code : codes) {
        for (int row = 0; row < kSize; ++row) {
            EXPECT_FALSE(pixel(code, row, 7)) << label(code) << " row " << row << picture(code);
        }
    }
}

TEST(Font, CapitalTHasAFullTopBarOverACentredStem) {
    EXPECT_GE(setPixelsInRow('T', 0), 5) << picture('T');
    for (int row = 1; row <= 6; ++row) {
        EXPECT_TRUE(pixel('T', row, 2) || pixel('T', row, 3))
            << "stem, row " << row << picture('T');
        EXPECT_FALSE(pixel('T', row, 0)) << "left of the stem, row " << row << picture('T');
        EXPECT_FALSE(pixel('T', row, 5)) << "right of the stem, row " << row << picture('T');
    }
}

TEST(Font, CapitalLHasALeftStemAndABaseOnly) {
    for (int row = 0; row <= 6; ++row) {
        EXPECT_TRUE(pixel('L', row, 0)) << "stem, row " << row << picture('L');
    }
    EXPECT_GE(setPixelsInRow('L', 6), 5) << picture('L');
    for (int row = 0; row <= 5; ++row) {
        for (int column = 3; column < kSize; ++column) {
            EXPECT_FALSE(pixel('L', row, column))
                << "row " << row << " column " << column << picture('L');
        }
    }
}

// Letters with a diaeresis keep the plain letter's body and add the dots above it.
TEST(Font, DiaeresisLettersKeepThePlainLetter) {
    const std::pair<int, char> pairs[] = {{0x81, 'u'}, {0x84, 'a'}, {0x89, 'e'},
                                          {0x8B, 'i'}, {0x94, 'o'}, {0x98, 'y'}};
    for (const auto& [accented, plain] : pairs) {
        for (int row = 2; row < kSize; ++row) {
            EXPECT_EQ(glyphRow(static_cast<unsigned char>(accented), row),
                      glyphRow(static_cast<unsigned char>(plain), row))
                << label(accented) << " row " << row << picture(accented) << picture(plain);
        }
        EXPECT_EQ(setPixelsInRow(accented, 0), 4) << label(accented) << picture(accented);
        EXPECT_EQ(setPixelsInRow(accented, 1), 0) << label(accented) << picture(accented);
    }
}

// Arrows and pointers come in pairs that must be true reflections of each other, and each must
// face its own way: an arrow is widest at its head, a solid pointer at its base.
TEST(Font, ArrowsAndPointersFaceTheRightWay) {
    const Shape up = shapeOf(0x18), down = shapeOf(0x19);
    const Shape right = shapeOf(0x1A), left = shapeOf(0x1B);
    const Shape pointRight = shapeOf(0x10), pointLeft = shapeOf(0x11);
    const Shape pointUp = shapeOf(0x1E), pointDown = shapeOf(0x1F);

    EXPECT_TRUE(sameShape(upsideDown(up), down)) << picture(0x18) << picture(0x19);
    EXPECT_TRUE(sameShape(mirrored(right), left)) << picture(0x1A) << picture(0x1B);
    EXPECT_TRUE(sameShape(mirrored(pointRight), pointLeft)) << picture(0x10) << picture(0x11);
    EXPECT_TRUE(sameShape(upsideDown(pointUp), pointDown)) << picture(0x1E) << picture(0x1F);

    EXPECT_LT(widestRow(up) * 2, up.height) << picture(0x18);
    EXPECT_GE(tallestColumn(right) * 2, right.width) << picture(0x1A);
    EXPECT_LT(tallestColumn(pointRight) * 2, pointRight.width) << picture(0x10);
    EXPECT_GE(widestRow(pointUp) * 2, pointUp.height) << picture(0x1E);
}

TEST(Font, RowsOutsideTheCellAreEmpty) {
    for (int code : {0, int{'A'}, 219}) {
        for (int row : {-1, 8, 9, 100, INT_MIN, INT_MAX}) {
            EXPECT_EQ(glyphRow(static_cast<unsigned char>(code), row), 0)
                << label(code) << " row " << row;
        }
    }
}
