// Where stored images live, as the HTTP layer sees it. Two stores implement it: the data
// directory (directory_store.h, one machine or a shared file system) and an S3 bucket
// (s3_store.h, any number of machines). Both keep the same promises: an upload becomes visible
// under its name only once it is complete and durable, a name is never given to two images,
// and a failed upload leaves nothing that could be served.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "unique_fd.h"

// One upload on its way into the store. Until commit() succeeds its bytes are private to this
// object; destroying it uncommitted leaves nothing behind.
class ImageUpload {
  public:
    virtual ~ImageUpload() = default;

    // Prepares for the bytes. false with the reason in errorText() on failure.
    virtual bool begin() = 0;
    virtual bool append(const void* data, std::size_t size) = 0;

    enum class CommitResult { Committed, NameTaken, Failed };
    // Makes the upload durable under `name`, never replacing an image already there. NameTaken
    // keeps the upload pending so that the caller can try again under a fresh name.
    virtual CommitResult commit(const std::string& name) = 0;

    // What the last failure was, in words fit for the log.
    virtual std::string errorText() const = 0;
};

enum class StoreResult { Found, Missing, Failed };

// What a lookup found: the size, and with a body asked for, a descriptor to read it from.
struct StoredImage {
    StoreResult result = StoreResult::Failed;
    std::uint64_t size = 0;
    UniqueFd body;
    std::string error;  // with Failed: what went wrong, for the log
};

class ImageStore {
  public:
    virtual ~ImageStore() = default;

    virtual std::unique_ptr<ImageUpload> newUpload() const = 0;

    // Looks `name` up; with `withBody`, also opens its bytes, at offset 0 of `body`.
    virtual StoredImage find(const std::string& name, bool withBody) const = 0;

    // Removed: it is gone for good. Failed sets `error`.
    enum class RemoveResult { Removed, Missing, Failed };
    virtual RemoveResult remove(const std::string& name, std::string* error) const = 0;

    // The HTTP status for a request that the store failed: 507 for a full or failing disk,
    // 503 for a remote store that may well answer again shortly.
    virtual int failureStatus() const = 0;

    // Periodic housekeeping (a few times a minute); returns a line for the log, or "".
    virtual std::string sweep() const { return ""; }
};
