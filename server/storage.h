// The data directory:
//
//   images/     one complete file per stored image, named as stored_name.h says, nothing else
//   incoming/   one folder per running server, named by a random instance id, holding its
//               uploads still arriving, each under a random name ending in ".part"
//   delete.key  the secret behind deletion tokens (deletion_key.h), shared by all servers
//
// Any number of servers may share one data directory (on NFS, say), each with its own folder in
// incoming/, which it keeps locked (flock) for as long as it runs. A folder whose lock can be
// taken belongs to a server that died: whoever takes the lock deletes it. A living server's
// uploads are never touched by another.
//
// Only images/ is ever served. An upload is written into incoming/, flushed to disk with fsync,
// renamed into images/ without ever replacing a file there, and the rename itself is made
// durable with an fsync of images/. So a file in images/ is complete at every instant, even
// across a crash or kill -9, and a link that has been answered survives one. Whatever a crash
// leaves in incoming/ is deleted by the next server to look (at its start and every minute).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_store.h"
#include "unique_fd.h"

class Storage {
  public:
    // Creates the directories that are missing and this server's own folder in incoming/, and
    // removes what dead servers left. false with a message in `error` when the directory
    // cannot be used.
    bool open(const std::string& dataDir, std::string* error);
    // Removes this server's folder in incoming/ (a clean stop).
    ~Storage();

    // Deletes the incoming/ folders of servers proven dead; returns how many.
    int removeDeadInstances() const;

    const std::string& dataDir() const { return dataDir_; }
    int imagesDir() const { return images_.get(); }
    int incomingDir() const { return incoming_.get(); }

    // A stored image opened for reading; invalid with errno set (ENOENT: no such image).
    UniqueFd openImage(const std::string& name) const;

    enum class RemoveResult { Removed, Missing, Failed };
    RemoveResult removeImage(const std::string& name) const;

  private:
    bool createInstanceFolder(std::string* error);
    bool removeIfDead(const std::string& name) const;

    std::string dataDir_;
    UniqueFd data_;
    UniqueFd images_;
    UniqueFd incomingRoot_;
    UniqueFd incoming_;  // this server's own folder, locked for its life
    std::string instanceId_;
};

// One upload on its way into images/. Until commit() succeeds its bytes live under a temporary
// name in incoming/, which the destructor removes: a failed or abandoned upload leaves nothing.
class PendingUpload : public ImageUpload {
  public:
    explicit PendingUpload(const Storage& storage) : storage_(storage) {}
    ~PendingUpload() override;
    PendingUpload(const PendingUpload&) = delete;
    PendingUpload& operator=(const PendingUpload&) = delete;

    // Creates the temporary file. false with error() set on failure.
    bool begin() override;
    bool append(const void* data, std::size_t size) override;
    std::uint64_t size() const { return size_; }

    // Makes the upload durable as images/`name`. NameTaken keeps the upload pending so that the
    // caller can try again under a fresh name.
    CommitResult commit(const std::string& name) override;

    // The errno of the last failure.
    int error() const { return error_; }
    std::string errorText() const override;

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
