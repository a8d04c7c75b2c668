// The capture: the picture taken from the clipboard and everything made of it, owned in one
// place from the poll that finds it to the end of its cycle.
//
// It holds two pictures. The original is the 24-bit picture exactly as taken; it is written to
// kCapturePng by a worker thread while the editor already shows it, and REVERT copies it back,
// so nobody waits for the disk to see pixels the program already holds. The working picture is
// the image buffer the editor changes; crop and revert replace it. Once the key that ends the
// editor is known, both capture files are written from the working picture, PNG and JPEG at the
// same time.
//
// Order between the worker and everything else that touches the files: removing the files,
// saving over them and destroying the capture all wait for the worker first, so a late worker can
// neither bring back a file just removed nor overwrite the edited picture with the taken one.
#pragma once

#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "image/image.h"

struct FIBITMAP;

// The two capture files, in the working directory.
constexpr const char* kCapturePng = "screenshot.png";
constexpr const char* kCaptureJpeg = "screenshot.jpg";

// A FreeImage bitmap and its release.
struct PictureRelease {
    void operator()(FIBITMAP* picture) const;
};
using Picture = std::unique_ptr<FIBITMAP, PictureRelease>;

// A new image buffer with the pixels of a 24-bit picture (row 0 its top row, alpha 0xFF), as
// loadImageFile would make of that picture saved as a PNG; nullptr when no buffer can be had.
Image* imageFromPicture(const FIBITMAP* picture);

class Capture {
  public:
    Capture() = default;
    // Takes the 24-bit original and starts writing it to kCapturePng. The working picture is made
    // by makeWorkingPicture, once a screen mode allows image buffers.
    explicit Capture(Picture original);
    // A capture of an edited picture alone, with no original and no capture-time file.
    explicit Capture(Image* working);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // The working picture as a fresh copy of the original. False when there is no original or no
    // memory; the capture is then left as it was.
    bool makeWorkingPicture();

    Image* picture() const { return working_; }
    // Crop hands over its new buffer here; the one it replaces is destroyed.
    void replacePicture(Image* picture);

    // Brings back the original as the working picture. False, with the working picture untouched,
    // when there is no original or no memory for a copy.
    bool revert();

    // Waits for the capture-time write. Returns true when kCapturePng holds the original whole
    // (a failed write leaves no file of that name).
    bool finishWrite();

    // Starts writing the working picture as kCapturePng and kCaptureJpeg at the same time, each
    // through saveImageFile's checks, after the capture-time write has ended. From here on the
    // working picture must not change and REVERT has nothing to go back to. Starting twice is
    // starting once.
    void startSaves();

    // The writes of startSaves, started now if they were not: waits for them and returns the
    // names of the files that could not be written, in that order.
    std::vector<const char*> saveFiles();

    // Releases both pictures (after the capture-time write has ended); the files stay.
    void release();

    // Deletes both capture files once the capture-time write has ended. A file that is not
    // there, or cannot be deleted, is ignored.
    void removeFiles();

  private:
    // Waits for every write of the capture files under way.
    void settle();

    Picture original_;
    Image* working_ = nullptr;
    std::thread writer_;
    bool written_ = false;
    std::future<std::vector<const char*>> saves_;
};
