#include "upload_receiver.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "stored_name.h"

namespace {

// A fresh 120-bit name is taken only if the previous one exists; several misses in a row mean
// something other than chance is going on.
constexpr int kNameAttempts = 4;

}  // namespace

UploadReceiver::UploadReceiver(const ImageStore& store, std::uint64_t maxImageBytes)
    : store_(store), maxImageBytes_(maxImageBytes) {
    head_.reserve(kSniffBytes);
}

void UploadReceiver::beginPart(const std::string& fieldName) {
    inFilePart_ = fieldName == "file";
    if (!inFilePart_) return;
    if (++fileParts_ > 1) {
        inFilePart_ = false;
        pending_.reset();
    }
}

void UploadReceiver::partData(const char* data, std::size_t size) {
    if (inFilePart_ && failure_ == UploadOutcome::Stored) {
        addFileData(reinterpret_cast<const unsigned char*>(data), size);
    }
}

void UploadReceiver::addFileData(const unsigned char* data, std::size_t size) {
    fileBytes_ += size;
    if (fileBytes_ > maxImageBytes_) {
        failure_ = UploadOutcome::TooLarge;
        pending_.reset();
        return;
    }
    if (!kindDecided_) {
        std::size_t take = std::min(size, kSniffBytes - head_.size());
        head_.insert(head_.end(), data, data + take);
        data += take;
        size -= take;
        if (head_.size() < kSniffBytes) return;
        decideKind();
        if (failure_ != UploadOutcome::Stored) return;
    }
    if (size == 0) return;
    checkStructure(data, size);
    if (failure_ == UploadOutcome::Stored && !pending_->append(data, size)) {
        failStorage(pending_->errorText());
    }
}

void UploadReceiver::checkStructure(const unsigned char* data, std::size_t size) {
    if (structure_->feed(data, size)) return;
    failure_ = UploadOutcome::NotAnImage;
    pending_.reset();
}

void UploadReceiver::decideKind() {
    kindDecided_ = true;
    kind_ = sniffImageKind(head_.data(), head_.size());
    if (kind_ == ImageKind::Unknown) {
        failure_ = UploadOutcome::NotAnImage;
        return;
    }
    structure_.emplace(kind_);
    checkStructure(head_.data(), head_.size());
    if (failure_ != UploadOutcome::Stored) return;
    pending_ = store_.newUpload();
    if (!pending_->begin() || !pending_->append(head_.data(), head_.size())) {
        failStorage(pending_->errorText());
    }
}

void UploadReceiver::failStorage(std::string error) {
    failure_ = UploadOutcome::StorageFailed;
    storageError_ = std::move(error);
    pending_.reset();
}

UploadOutcome UploadReceiver::finish(std::string* storedName) {
    if (failure_ != UploadOutcome::Stored) return failure_;
    if (fileParts_ == 0) return UploadOutcome::NoFilePart;
    if (fileParts_ > 1) return UploadOutcome::SeveralFileParts;
    // Files shorter than the sniffing window are decided on what there is.
    if (!kindDecided_) decideKind();
    if (failure_ != UploadOutcome::Stored) return failure_;
    if (!structure_->complete()) return UploadOutcome::NotAnImage;  // cut short

    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = newStoredName(kind_);
        if (name.empty()) {
            failStorage(std::error_code(errno, std::generic_category()).message());
            return failure_;
        }
        switch (pending_->commit(name)) {
            case ImageUpload::CommitResult::Committed:
                *storedName = name;
                return UploadOutcome::Stored;
            case ImageUpload::CommitResult::NameTaken:
                continue;
            case ImageUpload::CommitResult::Failed:
                failStorage(pending_->errorText());
                return failure_;
        }
    }
    failStorage("every fresh name was taken");
    return failure_;
}
