#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "image/freeimage.h"
#include "image/image.h"
#include "screen/screen.h"

namespace {

struct ImageDeleter {
    void operator()(Image* image) const { destroyImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kBlue = 0xFF0000FF;

// An asymmetric "F", red on blue, so a flip or an R/B swap cannot pass unseen. Strokes grow
// with the size so that JPEG's blur leaves them recognisable.
ImagePtr letterF(int width = 7, int height = 9) {
    ImagePtr image(createImage(width, height, kBlue, 0));
    const int stroke = width >= 16 ? width / 8 : 1;
    auto paint = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) imageRow(image.get(), y)[x] = kRed;
    };
    paint(stroke, stroke, 2 * stroke, height - stroke);                  // stem
    paint(stroke, stroke, width - stroke, 2 * stroke);                   // top bar
    paint(stroke, height / 2, width - 2 * stroke, height / 2 + stroke);  // middle bar
    return image;
}

bool closeTo(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

class ImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, setScreenMode(1, 1, 32, 0, kWindowless, 0));
        namespace fs = std::filesystem;
        dir_ = (fs::temp_directory_path() /
                ("glimmerix-image-" + std::to_string(std::random_device{}())))
                   .string();
        fs::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) { return dir_ + "/" + name; }
    std::string dir_;
};

}  // namespace

TEST_F(ImageTest, HeaderPitchAndPaddingFill) {
    ImagePtr one(createImage(1, 1, 0xFF102030, 0));
    ASSERT_TRUE(one);
    EXPECT_EQ(kImageType, one->type);
    EXPECT_EQ(4, one->bytesPerPixel);
    EXPECT_EQ(1u, one->width);
    EXPECT_EQ(1u, one->height);
    EXPECT_EQ(16u, one->pitch);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(0, one->reserved[i]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(0xFF102030u, imageRow(one.get(), 0)[i]) << "padding too";

    const std::pair<int, unsigned> pitches[] = {{4, 16}, {5, 32}, {1000, 4000}, {1001, 4016}};
    for (auto [width, pitch] : pitches) {
        ImagePtr image(createImage(width, 3, kBlue, 0));
        ASSERT_TRUE(image);
        EXPECT_EQ(pitch, image->pitch) << width;
        for (std::uint32_t y = 0; y < 3; ++y)
            EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(imageRow(image.get(), y)) % 16);
    }
}

TEST_F(ImageTest, RefusesEmptySizesUnknownDepthsAndNoMode) {
    EXPECT_EQ(nullptr, createImage(0, 5, kBlue, 0));
    EXPECT_EQ(nullptr, createImage(5, 0, kBlue, 0));
    EXPECT_EQ(nullptr, createImage(-3, 5, kBlue, 0));
    EXPECT_EQ(nullptr, createImage(5, 5, kBlue, 16));
    EXPECT_EQ(nullptr, createImage(1 << 30, 1 << 30, kBlue, 0)) << "no memory: none, no crash";
    destroyImage(nullptr);
}

TEST_F(ImageTest, PngRoundTripKeepsColoursAndOrientation) {
    ImagePtr f = letterF();
    imageRow(f.get(), 0)[0] = 0x40123456;  // alpha is dropped by the 24-bit file
    saveImageFile(f.get(), path("f.png"), kFormatPng);
    ImagePtr back(loadImageFile(dir_ + "/f.png"));
    ASSERT_TRUE(back);
    ASSERT_EQ(7u, back->width);
    ASSERT_EQ(9u, back->height);
    EXPECT_EQ(0xFF123456u, imageRow(back.get(), 0)[0]);
    for (std::uint32_t y = 1; y < 9; ++y)
        for (std::uint32_t x = 0; x < 7; ++x)
            ASSERT_EQ(imageRow(f.get(), y)[x], imageRow(back.get(), y)[x]) << x << "," << y;
}

TEST_F(ImageTest, JpegRoundTripIsCloseAndUpright) {
    ImagePtr f = letterF(64, 64);
    saveImageFile(f.get(), path("f.jpg"), kFormatJpeg);
    ImagePtr back(loadImageFile(dir_ + "/f.jpg"));
    ASSERT_TRUE(back);
    ASSERT_EQ(64u, back->width);
    EXPECT_TRUE(closeTo(kRed, imageRow(back.get(), 12)[30], 40)) << "top bar of the F";
    EXPECT_TRUE(closeTo(kBlue, imageRow(back.get(), 52)[30], 40)) << "no bar at the bottom";
    EXPECT_TRUE(closeTo(kRed, imageRow(back.get(), 30)[12], 40)) << "stem on the left";
    EXPECT_TRUE(closeTo(kBlue, imageRow(back.get(), 30)[52], 40)) << "no stem on the right";
}

TEST_F(ImageTest, OnePixelImagesSaveAsValidFiles) {
    ImagePtr dot(createImage(1, 1, kRed, 0));
    saveImageFile(dot.get(), path("dot.png"), kFormatPng);
    saveImageFile(dot.get(), path("dot.jpg"), kFormatJpeg);
    ImagePtr png(loadImageFile(dir_ + "/dot.png"));
    ImagePtr jpg(loadImageFile(dir_ + "/dot.jpg"));
    ASSERT_TRUE(png);
    ASSERT_TRUE(jpg);
    EXPECT_EQ(kRed, imageRow(png.get(), 0)[0]);
    EXPECT_EQ(1u, jpg->width);
    EXPECT_EQ(FIF_PNG, FreeImage_GetFileType((dir_ + "/dot.png").c_str(), 0));
    EXPECT_EQ(FIF_JPEG, FreeImage_GetFileType((dir_ + "/dot.jpg").c_str(), 0));
}

TEST_F(ImageTest, ContentDecidesTheFormatNotTheName) {
    ImagePtr f = letterF();
    saveImageFile(f.get(), path("picture.dat"), kFormatPng);
    ImagePtr back(loadImageFile(dir_ + "/picture.dat"));
    ASSERT_TRUE(back);
    EXPECT_EQ(kRed, imageRow(back.get(), 1)[1]);

    std::ofstream(path("logo.png")) << "not a picture\n";
    EXPECT_EQ(nullptr, loadImageFile(dir_ + "/logo.png"));
    EXPECT_EQ(nullptr, loadImageFile(dir_ + "/missing.png"));
}

TEST_F(ImageTest, PalettedAndBmpPicturesLoadAsOpaque32Bit) {
    ensureFreeImage();
    FIBITMAP* paletted = FreeImage_Allocate(3, 2, 8);
    RGBQUAD* palette = FreeImage_GetPalette(paletted);
    palette[1] = RGBQUAD{0x33, 0x22, 0x11, 0};  // blue, green, red
    FreeImage_GetScanLine(paletted, 1)[2] = 1;  // bottom-up: scan line 1 is the top row
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, paletted, path("pal.png").c_str(), 0));
    ASSERT_TRUE(FreeImage_Save(FIF_BMP, paletted, path("pal.bmp").c_str(), 0));
    FreeImage_Unload(paletted);
    for (const char* name : {"pal.png", "pal.bmp"}) {
        ImagePtr image(loadImageFile(dir_ + "/" + name));
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(3u, image->width);
        EXPECT_EQ(2u, image->height);
        EXPECT_EQ(0xFF112233u, imageRow(image.get(), 0)[2]) << name;
    }
}

TEST_F(ImageTest, SavingIntoAMissingDirectoryFailsQuietly) {
    ImagePtr f = letterF();
    saveImageFile(f.get(), dir_ + "/no/such/dir/x.png", kFormatPng);
    saveImageFile(nullptr, path("none.png"), kFormatPng);
    EXPECT_EQ(nullptr, loadImageFile(dir_ + "/none.png"));
}
