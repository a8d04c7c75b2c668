// Images as objects in an S3 bucket, so that any number of instances on any number of machines
// share them with no shared file system. The object key is the prefix plus the stored name.
//
// An upload is spooled into an unlinked temporary file in the instance's own directory while
// its SHA-256 and MD5 are computed, then sent in one PUT that carries both (the gateway rejects
// a body that does not match) and If-None-Match: *, so an existing object is never replaced.
// The link is answered only after the store acknowledged that PUT; an object appears in S3 all
// at once or not at all, so nothing half-written can ever be served.
//
// A GET fetches the object into an unlinked temporary file, from which the answer is sent with
// sendfile: a slow client never holds a connection to the store, and no image sits whole in
// memory. Temporary files have no name, so a crash leaves nothing to clean.
#pragma once

#include <string>

#include "image_store.h"
#include "s3_client.h"

class S3Store : public ImageStore {
  public:
    S3Store(S3Settings settings, std::string tempDir);

    // Makes the temporary directory and asks the store for the bucket. false with one line in
    // `error` when the bucket is refused or missing; a store that cannot be reached is only
    // reported in `warning`, since it may come back before the first upload.
    bool open(std::string* error, std::string* warning);

    std::unique_ptr<ImageUpload> newUpload() const override;
    StoredImage find(const std::string& name, bool withBody) const override;
    RemoveResult remove(const std::string& name, std::string* error) const override;
    int failureStatus() const override { return 503; }

    const S3Client& client() const { return client_; }
    // An unlinked file in the temporary directory, open for reading and writing.
    UniqueFd temporaryFile(std::string* error) const;

  private:
    S3Client client_;
    std::string tempDir_;
    UniqueFd tempDirFd_;
};
