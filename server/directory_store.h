// The data directory as an ImageStore: images/ through Storage (storage.h), served with
// sendfile straight from the file, deletions made durable with an fsync.
#pragma once

#include "image_store.h"
#include "storage.h"

class DirectoryStore : public ImageStore {
  public:
    explicit DirectoryStore(const Storage& storage) : storage_(storage) {}

    std::unique_ptr<ImageUpload> newUpload() const override;
    StoredImage find(const std::string& name, bool withBody) const override;
    RemoveResult remove(const std::string& name, std::string* error) const override;
    int failureStatus() const override { return 507; }
    std::string sweep() const override;

  private:
    const Storage& storage_;
};
