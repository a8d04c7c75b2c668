#include "image_kind.h"

#include <gtest/gtest.h>

#include <string>

#include "test_images.h"

namespace {

ImageKind sniff(const std::string& bytes) {
    return sniffImageKind(reinterpret_cast<const unsigned char*>(bytes.data()),
                          std::min(bytes.size(), kSniffBytes));
}

const std::string kPngHead("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);

}  // namespace

TEST(ImageKind, RecognisesARealPng) {
    EXPECT_EQ(sniff(makePng(4, 3, 1)), ImageKind::Png);
}

TEST(ImageKind, RecognisesJpegStartsWithTheirUsualSecondMarkers) {
    for (unsigned char marker : {0xE0, 0xE1, 0xDB, 0xC0, 0xC4, 0xFE, 0xEE}) {
        std::string jpeg = std::string("\xFF\xD8\xFF", 3) + static_cast<char>(marker);
        jpeg.resize(64, '\x10');
        EXPECT_EQ(sniff(jpeg), ImageKind::Jpeg) << int(marker);
    }
    EXPECT_EQ(sniff(makeJpegShaped(100, 7)), ImageKind::Jpeg);
}

TEST(ImageKind, AShortJpegIsJudgedOnWhatThereIs) {
    EXPECT_EQ(sniff(std::string("\xFF\xD8\xFF\xE0", 4)), ImageKind::Jpeg);
    EXPECT_EQ(sniff(std::string("\xFF\xD8\xFF", 3)), ImageKind::Unknown);
}

TEST(ImageKind, RejectsOtherFormatsAndText) {
    EXPECT_EQ(sniff("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00"), ImageKind::Unknown);
    EXPECT_EQ(sniff("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00"),
              ImageKind::Unknown);
    EXPECT_EQ(sniff("RIFF\x24\x00\x00\x00WEBPVP8 "), ImageKind::Unknown);
    EXPECT_EQ(sniff("<svg xmlns=\"http://www.w3.org/2000/svg\"/>"), ImageKind::Unknown);
    EXPECT_EQ(sniff("<html><script>alert(1)</script>"), ImageKind::Unknown);
    EXPECT_EQ(sniff(""), ImageKind::Unknown);
}

TEST(ImageKind, RejectsNearMisses) {
    // A PNG signature without the IHDR chunk that must follow it.
    std::string noHeader = kPngHead;
    noHeader[12] = 'I';
    noHeader[13] = 'D';
    noHeader[14] = 'A';
    noHeader[15] = 'T';
    EXPECT_EQ(sniff(noHeader), ImageKind::Unknown);
    // The signature cut short, as from a truncated upload.
    EXPECT_EQ(sniff(kPngHead.substr(0, 15)), ImageKind::Unknown);
    EXPECT_EQ(sniff(kPngHead.substr(0, 8)), ImageKind::Unknown);
    // Signature with its line endings converted by a text-mode transfer.
    EXPECT_EQ(sniff(std::string("\x89PNG\n\x1A\n\0\0\0\x0DIHDR\0", 16)), ImageKind::Unknown);
    // JPEG start followed by bytes that are no marker.
    EXPECT_EQ(sniff(std::string("\xFF\xD8\xFF\x00\x10\x10", 6)), ImageKind::Unknown);
    EXPECT_EQ(sniff(std::string("\xFF\xD8\xFF\xFF\x10\x10", 6)), ImageKind::Unknown);
    EXPECT_EQ(sniff(std::string("\xFF\xD9\xFF\xE0\x10\x10", 6)), ImageKind::Unknown);
}

TEST(ImageKind, NamesExtensionsAndTypes) {
    EXPECT_STREQ(imageExtension(ImageKind::Png), "png");
    EXPECT_STREQ(imageExtension(ImageKind::Jpeg), "jpg");
    EXPECT_EQ(imageExtension(ImageKind::Unknown), nullptr);
    EXPECT_STREQ(imageContentType(ImageKind::Png), "image/png");
    EXPECT_STREQ(imageContentType(ImageKind::Jpeg), "image/jpeg");
    EXPECT_EQ(imageContentType(ImageKind::Unknown), nullptr);
}
