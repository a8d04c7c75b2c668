// Receives the parts of one upload as MultipartReader delivers them: the part named
// "file" is sniffed from its first bytes, its structure checked as it streams (ImageStructure),
// and it is streamed straight into the store's ImageUpload; every other part is read and
// dropped. The image never sits whole in memory, and whatever goes wrong, the half-written file
// goes with the receiver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image_kind.h"
#include "image_store.h"
#include "image_structure.h"
#include "multipart_reader.h"

enum class UploadOutcome {
    Stored,
    NoFilePart,
    SeveralFileParts,
    NotAnImage,
    TooLarge,
    StorageFailed,
};

// Room for the multipart framing around an image of the largest accepted size: boundaries,
// part headers and any small extra fields a client adds.
constexpr std::uint64_t kMultipartOverhead = 64 * 1024;

class UploadReceiver : public MultipartHandler {
  public:
    UploadReceiver(const ImageStore& store, std::uint64_t maxImageBytes);

    // A new part begins; `fieldName` is the name in its Content-Disposition.
    void beginPart(const std::string& fieldName) override;

    // Bytes of the current part. After a failure they are dropped, so that the client is not
    // cut off mid-send and gets to read the answer; the caller bounds the body as a whole.
    void partData(const char* data, std::size_t size) override;

    bool tooLarge() const { return failure_ == UploadOutcome::TooLarge; }

    // After the whole body has arrived: stores the image and sets `storedName`, or says why not.
    // This is where the store is made to keep the image (fsync and rename, or a PUT), so it may
    // block for as long as the store's time-outs allow.
    UploadOutcome finish(std::string* storedName);

    // What went wrong behind StorageFailed.
    const std::string& storageError() const { return storageError_; }

  private:
    void addFileData(const unsigned char* data, std::size_t size);
    void decideKind();
    void checkStructure(const unsigned char* data, std::size_t size);
    void failStorage(std::string error);

    const ImageStore& store_;
    std::uint64_t maxImageBytes_;
    std::uint64_t fileBytes_ = 0;
    int fileParts_ = 0;
    bool inFilePart_ = false;
    std::vector<unsigned char> head_;
    ImageKind kind_ = ImageKind::Unknown;
    bool kindDecided_ = false;
    std::optional<ImageStructure> structure_;
    std::unique_ptr<ImageUpload> pending_;
    UploadOutcome failure_ = UploadOutcome::Stored;  // Stored: nothing has failed
    std::string storageError_;
};
