#include "stored_name.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "random_token.h"

TEST(StoredName, NewNamesAreARandomIdAndTheKindsExtension) {
    std::string png = newStoredName(ImageKind::Png);
    ASSERT_EQ(png.size(), kIdChars + 4);
    EXPECT_EQ(png.substr(kIdChars), ".png");
    for (char c : png.substr(0, kIdChars)) EXPECT_TRUE(isBase64UrlChar(c)) << png;
    EXPECT_EQ(newStoredName(ImageKind::Jpeg).substr(kIdChars), ".jpg");
    EXPECT_EQ(newStoredName(ImageKind::Unknown), "");
}

TEST(StoredName, IdsCarryAtLeast96RandomBits) {
    EXPECT_GE(kIdBytes * 8, 96u);
    EXPECT_EQ(kIdChars, (kIdBytes * 4 + 2) / 3);
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i) seen.insert(newStoredName(ImageKind::Png));
    EXPECT_EQ(seen.size(), 10000u);
}

TEST(StoredName, AcceptsWhatItMakes) {
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(parseStoredName(newStoredName(ImageKind::Png)), ImageKind::Png);
        EXPECT_EQ(parseStoredName(newStoredName(ImageKind::Jpeg)), ImageKind::Jpeg);
    }
    EXPECT_EQ(parseStoredName("AbCdEfGhIjKlMnOp-_09.png"), ImageKind::Png);
    EXPECT_EQ(parseStoredName("____________________.jpg"), ImageKind::Jpeg);
}

TEST(StoredName, RejectsEverythingElseWithoutLookingFurther) {
    const std::string id = "AbCdEfGhIjKlMnOp-_09";
    const char* rejected[] = {
        "",
        ".png",
        "AbCdEfGhIjKlMnOp-_0.png",    // 19 characters
        "AbCdEfGhIjKlMnOp-_09x.png",  // 21 characters
        "AbCdEfGhIjKlMnOp-_09.PNG",
        "AbCdEfGhIjKlMnOp-_09.jpeg",
        "AbCdEfGhIjKlMnOp-_09.gif",
        "AbCdEfGhIjKlMnOp-_09.pn",
        "AbCdEfGhIjKlMnOp-_09png",
        "AbCdEfGhIjKlMnOp-_09.png/",
        "AbCdEfGhIjKlMnOp-_09.png.png",
        "AbCdEfGhIjKlMnOp-_09.png?x",
        "AbCdEfGhIjKlMnOp-_09.png ",
        " bCdEfGhIjKlMnOp-_09.png",
        "../../../../etc/passw.png",
        "..%2F..%2F..%2Fetc%2F.png",
        "AbCdEfGhIjKlMnOp/_09.png",
        "AbCdEfGhIjKlMnOp+_09.png",
        "AbCdEfGhIjKlMnOp=_09.png",
        "AbCdEfGhIjKlMnOp._09.png",
        "AbCdEfGhIjKlMnOp\\_09.png",
        "incoming/x.part",
        "delete.key",
    };
    for (const char* name : rejected) {
        EXPECT_EQ(parseStoredName(name), ImageKind::Unknown) << '"' << name << '"';
    }
    std::string withNul = id + ".png";
    withNul[5] = '\0';
    EXPECT_EQ(parseStoredName(withNul), ImageKind::Unknown);
    std::string highBit = id + ".png";
    highBit[3] = '\xC3';
    EXPECT_EQ(parseStoredName(highBit), ImageKind::Unknown);
}
