#include "storage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "temp_dir.h"

namespace {

const std::string kName = "AbCdEfGhIjKlMnOp-_09.png";

class StorageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(storage_.open(dataDir(), &error)) << error;
    }
    std::string dataDir() const { return temp_.path() + "/data"; }
    std::vector<std::string> images() const { return listDirectory(dataDir() + "/images"); }
    std::vector<std::string> incoming() const { return listDirectory(dataDir() + "/incoming"); }

    TempDir temp_;
    Storage storage_;
};

// Bytes that say how long they should be and end in a marker, so a reader can tell a whole
// file from a partial one without knowing which upload it came from.
std::string selfDescribing(std::size_t size, char fill) {
    char head[17];
    std::snprintf(head, sizeof head, "%016zu", size);
    std::string bytes = std::string(head) + std::string(size - 16 - 4, fill) + "END!";
    return bytes;
}

}  // namespace

TEST_F(StorageTest, LaysOutImagesAndIncomingDirectories) {
    struct stat info;
    EXPECT_EQ(::stat((dataDir() + "/images").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(::stat((dataDir() + "/incoming").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_TRUE(images().empty());
}

TEST_F(StorageTest, AnUploadIsInvisibleUntilCommittedThenWholeAtOnce) {
    std::string bytes = selfDescribing(300 * 1024, 'x');  // several write blocks
    PendingUpload upload(storage_);
    ASSERT_TRUE(upload.begin());
    ASSERT_TRUE(upload.append(bytes.data(), bytes.size() / 2));
    EXPECT_TRUE(images().empty());
    EXPECT_EQ(incoming().size(), 1u);
    EXPECT_FALSE(storage_.openImage(kName).valid());

    ASSERT_TRUE(upload.append(bytes.data() + bytes.size() / 2, bytes.size() - bytes.size() / 2));
    EXPECT_TRUE(images().empty());
    EXPECT_EQ(upload.size(), bytes.size());

    ASSERT_EQ(upload.commit(kName), PendingUpload::CommitResult::Committed);
    EXPECT_EQ(images(), std::vector<std::string>{kName});
    EXPECT_TRUE(incoming().empty());
    EXPECT_EQ(readFile(dataDir() + "/images/" + kName), bytes);
}

TEST_F(StorageTest, AnAbandonedUploadLeavesNothing) {
    {
        PendingUpload upload(storage_);
        ASSERT_TRUE(upload.begin());
        ASSERT_TRUE(upload.append("partial", 7));
        EXPECT_EQ(incoming().size(), 1u);
    }
    EXPECT_TRUE(incoming().empty());
    EXPECT_TRUE(images().empty());
}

TEST_F(StorageTest, CommitNeverReplacesAnExistingImage) {
    PendingUpload first(storage_);
    ASSERT_TRUE(first.begin());
    ASSERT_TRUE(first.append("first", 5));
    ASSERT_EQ(first.commit(kName), PendingUpload::CommitResult::Committed);

    PendingUpload second(storage_);
    ASSERT_TRUE(second.begin());
    ASSERT_TRUE(second.append("second", 6));
    EXPECT_EQ(second.commit(kName), PendingUpload::CommitResult::NameTaken);
    EXPECT_EQ(readFile(dataDir() + "/images/" + kName), "first");
    // Still pending, so it can go under another name.
    const std::string other = "ZZZZZZZZZZZZZZZZZZZZ.png";
    EXPECT_EQ(second.commit(other), PendingUpload::CommitResult::Committed);
    EXPECT_EQ(readFile(dataDir() + "/images/" + other), "second");
    EXPECT_TRUE(incoming().empty());
}

TEST_F(StorageTest, OpeningEmptiesIncomingButKeepsImages) {
    PendingUpload kept(storage_);
    ASSERT_TRUE(kept.begin());
    ASSERT_TRUE(kept.append("kept", 4));
    ASSERT_EQ(kept.commit(kName), PendingUpload::CommitResult::Committed);
    // What a crash mid-upload leaves behind.
    writeFile(dataDir() + "/incoming/abcdefghijklmnop.part", "half an ima");
    writeFile(dataDir() + "/incoming/0123456789abcdef.part", "");

    storage_ = Storage();  // as after a crash: the old process is gone
    Storage reopened;
    std::string error;
    ASSERT_TRUE(reopened.open(dataDir(), &error)) << error;
    EXPECT_TRUE(incoming().empty());
    EXPECT_EQ(images(), std::vector<std::string>{kName});
}

TEST_F(StorageTest, OnlyOneStorageAtATimeUsesADirectory) {
    Storage second;
    std::string error;
    EXPECT_FALSE(second.open(dataDir(), &error));
    EXPECT_NE(error.find("another glimmerix-server"), std::string::npos) << error;
}

TEST_F(StorageTest, RemovesImagesOnce) {
    PendingUpload upload(storage_);
    ASSERT_TRUE(upload.begin());
    ASSERT_TRUE(upload.append("bytes", 5));
    ASSERT_EQ(upload.commit(kName), PendingUpload::CommitResult::Committed);
    EXPECT_EQ(storage_.removeImage(kName), Storage::RemoveResult::Removed);
    EXPECT_EQ(storage_.removeImage(kName), Storage::RemoveResult::Missing);
    EXPECT_TRUE(images().empty());
    errno = 0;
    EXPECT_FALSE(storage_.openImage(kName).valid());
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(StorageTest, RefusesADataDirectoryThatIsAFile) {
    std::string path = temp_.path() + "/plain-file";
    writeFile(path, "not a directory");
    Storage storage;
    std::string error;
    EXPECT_FALSE(storage.open(path, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

// A reader racing many writers must only ever find complete files in images/.
TEST_F(StorageTest, ConcurrentReadersNeverSeeAPartialImage) {
    std::atomic<bool> writing{true};
    std::atomic<int> checked{0};
    std::atomic<int> partial{0};
    std::thread reader([&] {
        while (writing) {
            for (const auto& name : images()) {
                std::string bytes = readFile(dataDir() + "/images/" + name);
                if (bytes.empty()) continue;  // deleted between listing and reading: not ours
                std::size_t declared = std::stoul(bytes.substr(0, 16));
                if (bytes.size() != declared || bytes.compare(bytes.size() - 4, 4, "END!") != 0) {
                    ++partial;
                }
                ++checked;
            }
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < 25; ++i) {
                std::string bytes = selfDescribing(20'000 + 9'000 * i, static_cast<char>('a' + w));
                PendingUpload upload(storage_);
                ASSERT_TRUE(upload.begin());
                // Small pieces, as they come off the network.
                for (std::size_t at = 0; at < bytes.size(); at += 1500) {
                    ASSERT_TRUE(upload.append(bytes.data() + at,
                                              std::min<std::size_t>(1500, bytes.size() - at)));
                }
                char name[32];
                std::snprintf(name, sizeof name, "AAAAAAAAAAAAAAAAAA%c%c.png", 'a' + w, 'A' + i);
                ASSERT_EQ(upload.commit(name), PendingUpload::CommitResult::Committed);
            }
        });
    }
    for (auto& writer : writers) writer.join();
    writing = false;
    reader.join();
    EXPECT_EQ(images().size(), 100u);
    EXPECT_TRUE(incoming().empty());
    EXPECT_GT(checked.load(), 0);
    EXPECT_EQ(partial.load(), 0);
}
