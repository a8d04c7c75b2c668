#include "storage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "random_token.h"

namespace {

// Ids are base64url, which has no dot, so no id can look like a new folder.
const char kNewFolderPrefix[] = ".new-";
constexpr long kNewFolderGrace = 60;  // seconds

// Uploads reach us in network-sized pieces; writing them in larger blocks saves system calls.
constexpr std::size_t kWriteBlock = 64 * 1024;

std::string describeErrno(const std::string& what, int err) {
    return what + ": " + std::error_code(err, std::generic_category()).message();
}

bool makeDirectories(const std::string& path, std::string* error) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        struct stat info;
        bool exists = ::stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        if (!exists && ::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            *error = describeErrno("cannot create " + prefix, errno);
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

UniqueFd openSubdirectory(int parent, const char* name, const std::string& shownAs,
                          std::string* error) {
    if (::mkdirat(parent, name, 0755) != 0 && errno != EEXIST) {
        *error = describeErrno("cannot create " + shownAs, errno);
        return {};
    }
    UniqueFd dir(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (!dir.valid()) *error = describeErrno("cannot open " + shownAs, errno);
    return dir;
}

// Deletes every file that an earlier run left half-written.
bool emptyDirectory(int dirFd, const std::string& shownAs, std::string* error) {
    int listFd = ::dup(dirFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) ::close(listFd);
        *error = describeErrno("cannot list " + shownAs, errno);
        return false;
    }
    ::rewinddir(dir);
    bool ok = true;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        if (::unlinkat(dirFd, entry->d_name, 0) != 0 && errno != ENOENT) {
            *error = describeErrno("cannot delete " + shownAs + "/" + entry->d_name, errno);
            ok = false;
            break;
        }
    }
    ::closedir(dir);
    return ok;
}

}  // namespace

bool Storage::open(const std::string& dataDir, std::string* error) {
    dataDir_ = dataDir;
    if (!makeDirectories(dataDir, error)) return false;
    data_.reset(::open(dataDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!data_.valid()) {
        *error = describeErrno("cannot open " + dataDir, errno);
        return false;
    }
    images_ = openSubdirectory(data_.get(), "images", dataDir + "/images", error);
    if (!images_.valid()) return false;
    incomingRoot_ = openSubdirectory(data_.get(), "incoming", dataDir + "/incoming", error);
    if (!incomingRoot_.valid()) return false;
    if (!createInstanceFolder(error)) return false;

    // rename() cannot cross file systems, and a copy would break the all-or-nothing promise.
    struct stat imagesStat, incomingStat;
    if (::fstat(images_.get(), &imagesStat) != 0 || ::fstat(incoming_.get(), &incomingStat) != 0) {
        *error = describeErrno("cannot examine " + dataDir, errno);
        return false;
    }
    if (imagesStat.st_dev != incomingStat.st_dev) {
        *error = dataDir + "/images and " + dataDir + "/incoming must be on one file system";
        return false;
    }
    removeDeadInstances();
    ::fsync(data_.get());
    return true;
}

// The folder is made and locked under a name that marks it as new, and only then given its
// final name: a server looking for dead folders must never find an unlocked one that lives.
bool Storage::createInstanceFolder(std::string* error) {
    std::string id = randomToken(9);
    if (id.empty()) {
        *error = describeErrno("cannot read the system's random source", errno);
        return false;
    }
    std::string newName = kNewFolderPrefix + id;
    std::string shownAs = dataDir_ + "/incoming/" + id;
    incoming_ = openSubdirectory(incomingRoot_.get(), newName.c_str(), shownAs, error);
    if (!incoming_.valid()) return false;
    if (::flock(incoming_.get(), LOCK_EX | LOCK_NB) != 0 ||
        ::renameat(incomingRoot_.get(), newName.c_str(), incomingRoot_.get(), id.c_str()) != 0) {
        *error = describeErrno("cannot take " + shownAs, errno);
        ::unlinkat(incomingRoot_.get(), newName.c_str(), AT_REMOVEDIR);
        incoming_.reset();
        return false;
    }
    instanceId_ = id;
    return true;
}

Storage::~Storage() {
    if (instanceId_.empty()) return;
    std::string ignored;
    emptyDirectory(incoming_.get(), "", &ignored);
    ::unlinkat(incomingRoot_.get(), instanceId_.c_str(), AT_REMOVEDIR);
}

int Storage::removeDeadInstances() const {
    int listFd = ::dup(incomingRoot_.get());
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) ::close(listFd);
        return 0;
    }
    ::rewinddir(dir);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && name != instanceId_) names.push_back(name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : names) removed += removeIfDead(name) ? 1 : 0;
    return removed;
}

bool Storage::removeIfDead(const std::string& name) const {
    struct stat info;
    if (::fstatat(incomingRoot_.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(info.st_mode)) {
        return false;  // files of other programs, or of older versions, are not ours to judge
    }
    // A folder still under its new name may be a server between mkdir and flock; give it time.
    if (name.rfind(kNewFolderPrefix, 0) == 0 && ::time(nullptr) - info.st_mtime < kNewFolderGrace) {
        return false;
    }
    UniqueFd folder(::openat(incomingRoot_.get(), name.c_str(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (!folder.valid() || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) return false;
    std::string ignored;
    if (!emptyDirectory(folder.get(), "", &ignored)) return false;
    return ::unlinkat(incomingRoot_.get(), name.c_str(), AT_REMOVEDIR) == 0;
}

UniqueFd Storage::openImage(const std::string& name) const {
    return UniqueFd(::openat(images_.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
}

Storage::RemoveResult Storage::removeImage(const std::string& name) const {
    if (::unlinkat(images_.get(), name.c_str(), 0) != 0) {
        return errno == ENOENT ? RemoveResult::Missing : RemoveResult::Failed;
    }
    // A deletion the user was told about must not come back after a crash.
    if (::fsync(images_.get()) != 0) return RemoveResult::Failed;
    return RemoveResult::Removed;
}

std::string PendingUpload::errorText() const {
    return std::error_code(error_, std::generic_category()).message();
}

PendingUpload::~PendingUpload() {
    if (!tempName_.empty() && !committed_) ::unlinkat(storage_.incomingDir(), tempName_.c_str(), 0);
}

bool PendingUpload::fail() {
    error_ = errno;
    return false;
}

bool PendingUpload::begin() {
    std::string random = randomToken(12);
    if (random.empty()) return fail();
    std::string name = random + ".part";
    file_.reset(::openat(storage_.incomingDir(), name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!file_.valid()) return fail();
    tempName_ = name;
    buffer_.reserve(kWriteBlock);
    return true;
}

bool PendingUpload::append(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_ += size;
    while (size > 0) {
        std::size_t take = std::min(size, kWriteBlock - buffer_.size());
        buffer_.insert(buffer_.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        if (buffer_.size() == kWriteBlock && !flush()) return false;
    }
    return true;
}

bool PendingUpload::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        ssize_t written = ::write(file_.get(), buffer_.data() + done, buffer_.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail();
        }
        done += static_cast<std::size_t>(written);
    }
    buffer_.clear();
    return true;
}

PendingUpload::CommitResult PendingUpload::commit(const std::string& name) {
    if (!file_.valid() && !synced_) {
        error_ = EBADF;
        return CommitResult::Failed;
    }
    if (!synced_) {
        if (!flush() || ::fsync(file_.get()) != 0) {
            fail();
            return CommitResult::Failed;
        }
        // close() can report a delayed write error on some file systems.
        if (::close(file_.release()) != 0) {
            fail();
            return CommitResult::Failed;
        }
        synced_ = true;
    }
    if (!moveIntoPlace(name)) {
        return error_ == EEXIST ? CommitResult::NameTaken : CommitResult::Failed;
    }
    committed_ = true;
    if (::fsync(storage_.imagesDir()) != 0) {
        // The file is complete and visible, but its name might not survive a crash; the caller
        // must not hand out a link it cannot stand behind.
        fail();
        ::unlinkat(storage_.imagesDir(), name.c_str(), 0);
        return CommitResult::Failed;
    }
    return CommitResult::Committed;
}

bool PendingUpload::moveIntoPlace(const std::string& name) {
    int from = storage_.incomingDir();
    int to = storage_.imagesDir();
    if (::renameat2(from, tempName_.c_str(), to, name.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return fail();
    // File systems without RENAME_NOREPLACE: link() refuses an existing name just the same.
    if (::linkat(from, tempName_.c_str(), to, name.c_str(), 0) != 0) return fail();
    ::unlinkat(from, tempName_.c_str(), 0);
    return true;
}
