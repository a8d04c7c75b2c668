#include "directory_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

namespace {

std::string describeErrno(int err) {
    return std::error_code(err, std::generic_category()).message();
}

}  // namespace

std::unique_ptr<ImageUpload> DirectoryStore::newUpload() const {
    return std::make_unique<PendingUpload>(storage_);
}

// The descriptor is opened even when only the size is wanted: it costs a system call, and the
// file then cannot vanish between the lookup and the answer.
StoredImage DirectoryStore::find(const std::string& name, bool) const {
    StoredImage image;
    image.body = storage_.openImage(name);
    struct stat info;
    if (!image.body.valid() || ::fstat(image.body.get(), &info) != 0) {
        image.result = errno == ENOENT ? StoreResult::Missing : StoreResult::Failed;
        image.error = describeErrno(errno);
        image.body.reset();
        return image;
    }
    image.result = StoreResult::Found;
    image.size = static_cast<std::uint64_t>(info.st_size);
    return image;
}

ImageStore::RemoveResult DirectoryStore::remove(const std::string& name, std::string* error) const {
    switch (storage_.removeImage(name)) {
        case Storage::RemoveResult::Removed:
            return RemoveResult::Removed;
        case Storage::RemoveResult::Missing:
            return RemoveResult::Missing;
        case Storage::RemoveResult::Failed:
            break;
    }
    *error = describeErrno(errno);
    return RemoveResult::Failed;
}

std::string DirectoryStore::sweep() const {
    int removed = storage_.removeDeadInstances();
    if (removed == 0) return "";
    return "removed the unfinished uploads of " + std::to_string(removed) + " stopped server(s)";
}
