// The capture's worker against all else that touches the capture files: its large PNG takes far
// longer than a remove or a tiny save, so a step that did not wait would see the file come after.
#include "../editor/editor_fixture.h"

namespace {

class CaptureTest : public ScreenTest {
  protected:
    static Picture taken() {
        static const std::vector<unsigned char> noise = pictureBytes(FIF_BMP, 1200, 800);
        return Picture(decodeClipboardPicture(noise.data(), noise.size(), PictureFormat::Bmp));
    }
    static bool samePixels(const Image* a, const Image* b) {
        bool same = a && b && a->width == b->width && a->height == b->height;
        for (std::uint32_t y = 0; same && y < a->height; ++y)
            same = std::equal(imageRow(a, y), imageRow(a, y) + a->width, imageRow(b, y));
        return same;
    }
};

}  // namespace

// HIDE right after the editor opens; the program quitting while the capture's file is written.
TEST_F(CaptureTest, RemovingWaitsForTheWorkerAndEndingLeavesTheFileWhole) {
    {
        Capture capture(taken());
        capture.removeFiles();
    }
    EXPECT_FALSE(fs::exists(kCapturePng)) << "written after it was removed";
    Capture original(taken());
    ASSERT_TRUE(original.makeWorkingPicture() && original.finishWrite());
    fs::remove(kCapturePng);
    { Capture ended(taken()); }
    EXPECT_TRUE(samePixels(original.picture(), ImagePtr(loadImageFile(kCapturePng)).get()))
        << "the worker outlived its capture";
}

// "u" at once: both files hold the edited 3 x 2 picture, never the capture's, and stay for a "q".
TEST_F(CaptureTest, SavingRightAwayWritesTheEditedPicture) {
    Capture capture(taken());
    capture.replacePicture(createImage(3, 2, 0xFF0000FF));
    EXPECT_TRUE(capture.saveFiles().empty());
    capture.release();
    for (const char* name : {kCapturePng, kCaptureJpeg}) {
        ImagePtr file(loadImageFile(name));
        EXPECT_TRUE(file && file->width == 3 && file->height == 2) << name;
    }
}
