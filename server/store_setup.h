// Chooses and opens the image store and the deletion key that the options ask for: the data
// directory with its delete.key by default, an S3 bucket with a key file given to every
// instance when --s3-endpoint is set.
#pragma once

#include <memory>
#include <string>

#include "deletion_key.h"
#include "image_store.h"
#include "options.h"
#include "storage.h"

struct OpenedStore {
    std::unique_ptr<Storage> directory;  // only for the directory store
    std::unique_ptr<ImageStore> store;
    DeletionKey key;
    std::string description;  // for the start-up line, e.g. "data in DIR"
};

// false with one line in `error`; `warning` may hold a line to log either way.
bool openStore(const ServerOptions& options, OpenedStore* opened, std::string* error,
               std::string* warning);
