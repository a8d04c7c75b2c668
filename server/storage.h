// The data directory:
//
//   images/     one complete file per stored image, named as stored_name.h says, nothing else
//   incoming/   uploads still arriving, each under a random name ending in ".part"
//   delete.key  the secret behind deletion tokens (deletion_key.h)
//
// Only images/ is ever served. An upload is written into incoming/, flushed to disk with fsync,
// renamed into images/ without ever replacing a file there, and the rename itself is made
// durable with an fsync of images/. So a file in images/ is complete at every instant, even
// across a crash or kill -9, and a link that has been answered survives one. Whatever a crash
// leaves in incoming/ is deleted at the next start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "unique_fd.h"

class Storage {
  public:
    // Creates the directories that are missing, takes the directory for this process alone and
    // empties incoming/. false with a message in `error` when the directory cannot be used or
    // another server holds it.
    bool open(const std::string& dataDir, std::string* error);

    const std::string& dataDir() const { return dataDir_; }
    int imagesDir() const { return images_.get(); }
    int incomingDir() const { return incoming_.get(); }

    // A stored image opened for reading; invalid with errno set (ENOENT: no such image).
    UniqueFd openImage(const std::string& name) const;

    enum class RemoveResult { Removed, Missing, Failed };
    RemoveResult removeImage(const std::string& name) const;

  private:
    std::string dataDir_;
    UniqueFd data_;
    UniqueFd images_;
    UniqueFd incoming_;
};

// One upload on its way into images/. Until commit() succeeds its bytes live under a temporary
// name in incoming/, which the destructor removes: a failed or abandoned upload leaves nothing.
class PendingUpload {
  public:
    explicit PendingUpload(const Storage& storage) : storage_(storage) {}
    ~PendingUpload();
    PendingUpload(const PendingUpload&) = delete;
    PendingUpload& operator=(const PendingUpload&) = delete;

    // Creates the temporary file. false with error() set on failure.
    bool begin();
    bool append(const void* data, std::size_t size);
    std::uint64_t size() const { return size_; }

    enum class CommitResult { Committed, NameTaken, Failed };
    // Makes the upload durable as images/`name`. NameTaken keeps the upload pending so that the
    // caller can try again under a fresh name.
    CommitResult commit(const std::string& name);

    // The errno of the last failure.
    int error() const { return error_; }

  private:
    bool flush();
    bool fail();
    bool moveIntoPlace(const std::string& name);

    const Storage& storage_;
    UniqueFd file_;
    std::string tempName_;
    std::vector<unsigned char> buffer_;
    std::uint64_t size_ = 0;
    bool synced_ = false;
    bool committed_ = false;
    int error_ = 0;
};
