#include <fstream>

#include "../editor/editor_fixture.h"

using ImageTest = ScreenTest;

TEST_F(ImageTest, HeaderPitchPaddingAndRefusedSizes) {
    ImagePtr one(createImage(1, 1, 0xFF102030, 0));
    ASSERT_TRUE(one);
    EXPECT_EQ(values(kImageType, 4, 1, 1),
              values(one->type, one->bytesPerPixel, one->width, one->height));
    for (int i = 0; i < 12; ++i) EXPECT_EQ(0, one->reserved[i]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(0xFF102030u, imageRow(one.get(), 0)[i]) << "padding too";
    struct Size {
        int width, height, depth;
        unsigned pitch;  // 0: refused
    };
    for (Size s : {Size{1, 3, 0, 16}, Size{4, 3, 0, 16}, Size{5, 3, 0, 32}, Size{1001, 3, 0, 4016},
                   Size{0, 5, 0, 0}, Size{5, 0, 0, 0}, Size{-3, 5, 0, 0}, Size{5, 5, 16, 0}}) {
        ImagePtr image(createImage(s.width, s.height, kBlue, s.depth));
        EXPECT_EQ(s.pitch, image ? image->pitch : 0)
            << s.width << "x" << s.height << "@" << s.depth;
        EXPECT_TRUE(!image || reinterpret_cast<std::uintptr_t>(imageRow(image.get(), 2)) % 16 == 0);
    }
    EXPECT_EQ(nullptr, createImage(1 << 30, 1 << 30, kBlue, 0)) << "no memory: none, no crash";
    destroyImage(nullptr);
}

// JPEG closely and upright: a red "F" on blue shows flips and R/B swaps, its strokes wider than the
// blur. The content decides the format, never the name. (PNG exactly: the capture tests.)
TEST_F(ImageTest, FilesRoundTripUpright) {
    ImagePtr big(createImage(64, 64, kBlue, 0));
    for (int y = 8; y < 56; ++y)
        for (int x = 8; x < 56; ++x)
            if (x < 16 || y < 16 || (y >= 32 && y < 40 && x < 48)) imageRow(big.get(), y)[x] = kRed;
    saveImageFile(big.get(), "f.png", kFormatJpeg);
    ImagePtr jpeg(loadImageFile("f.png"));
    ASSERT_TRUE(jpeg);
    auto looksLike = [&](int x, int y, std::uint32_t colour) {
        std::uint32_t pixel = imageRow(jpeg.get(), y)[x];
        for (int shift = 0; shift < 32; shift += 8)
            if (std::abs(int((pixel >> shift) & 0xFF) - int((colour >> shift) & 0xFF)) > 40)
                return false;
        return true;
    };
    EXPECT_TRUE(looksLike(30, 12, kRed) && looksLike(30, 52, kBlue)) << "top bar at the top";
    EXPECT_TRUE(looksLike(12, 30, kRed) && looksLike(52, 30, kBlue)) << "stem on the left";

    saveImageFile(ImagePtr(createImage(1, 1, kRed, 0)).get(), "dot.jpg", kFormatJpeg);
    EXPECT_TRUE(ImagePtr(loadImageFile("dot.jpg"))) << "a 1 x 1 JPEG";
    for (auto format : {FIF_PNG, FIF_BMP}) {  // paletted: opaque 32-bit all the same
        auto bytes = pictureBytes(format, 4, 3, 8);
        std::ofstream("pal", std::ios::binary).write((const char*)bytes.data(), bytes.size());
        ImagePtr pal(loadImageFile("pal"));
        EXPECT_TRUE(pal && pal->width == 4 && imageRow(pal.get(), 2)[3] >> 24 == 0xFF) << format;
    }
    saveImageFile(big.get(), "no/such/dir/x.png", kFormatPng);  // fails quietly
    std::ofstream("logo.png") << "not a picture\n";
    for (const char* none : {"logo.png", "missing.png", "no/such/dir/x.png"})
        EXPECT_FALSE(ImagePtr(loadImageFile(none))) << none;
}

// Clipboard bytes come from strangers: only the named format, and only sizes a screenshot has.
TEST_F(ImageTest, ClipboardPicturesAreCheckedBeforeDecoding) {
    auto with = [](std::vector<unsigned char> bytes, std::size_t at, std::int64_t value, bool big) {
        for (int i = 0; bytes.size() >= at + 4 && i < 4; ++i)
            bytes[at + i] = (value >> (big ? 24 - 8 * i : 8 * i)) & 0xFF;
        return bytes;
    };
    const auto png = pictureBytes(FIF_PNG, 4, 3), bmp = pictureBytes(FIF_BMP, 4, 3);
    auto sized = [&](std::int64_t w, std::int64_t h) {
        return with(with(png, 16, w, 1), 20, h, 1);
    };
    const auto P = PictureFormat::Png, B = PictureFormat::Bmp;
    const std::int64_t side = kMaxPictureSide;
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        PictureFormat format;
        bool allowed;  // by the header check, which comes before any decoding
        bool decodes;  // only real files are decoded: a patched header that passes may be huge
    } cases[] = {
        {"24-bit PNG", png, P, true, true},
        {"paletted PNG", pictureBytes(FIF_PNG, 4, 3, 8), P, true, true},
        {"24-bit BMP", bmp, B, true, true},
        {"4-bit BMP", pictureBytes(FIF_BMP, 4, 3, 4), B, true, true},
        {"top-down BMP", with(bmp, 22, -3, false), B, true, true},
        {"PNG under image/bmp", png, B, false, false},
        {"BMP under image/png", bmp, P, false, false},
        {"TIFF under image/png", pictureBytes(FIF_TIFF, 4, 3), P, false, false},
        {"cut after the signature", {png.begin(), png.begin() + 20}, P, false, false},
        {"PNG bomb 20000 x 20000", sized(20000, 20000), P, false, false},
        {"PNG of width 0", sized(0, 3), P, false, false},
        {"PNG of height 2^31", sized(4, 1ll << 31), P, false, false},
        {"PNG a pixel too wide", sized(side + 1, 1), P, false, false},
        {"PNG at the widest", sized(side, 1), P, true, false},
        {"PNG over 64 MP", sized(side, 2048), P, false, false},
        {"PNG at 64 MP", sized(16000, 4000), P, true, false},
        {"BMP of negative width", with(bmp, 18, -4, false), B, false, false},
        {"BMP of height -2^31", with(bmp, 22, -(1ll << 31), false), B, false, false},
        {"BMP 40000 high", with(bmp, 22, 40000, false), B, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.allowed, pictureHeaderAllowed(c.bytes.data(), c.bytes.size(), c.format))
            << c.what;
        if (c.allowed && !c.decodes) continue;
        FIBITMAP* picture = decodeClipboardPicture(c.bytes.data(), c.bytes.size(), c.format);
        EXPECT_EQ(c.decodes, picture && FreeImage_GetBPP(picture) == 24) << c.what;
        if (picture) FreeImage_Unload(picture);
    }
}
