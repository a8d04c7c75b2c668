#include "storage.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>

#include "deletion_key.h"
#include "temp_dir.h"

namespace {

const std::string kName = "AbCdEfGhIjKlMnOp-_09.png";

class StorageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(storage_->open(dataDir(), &error)) << error;
    }
    std::string dataDir() const { return temp_.path + "/data"; }
    std::size_t folders() const { return countEntries(dataDir() + "/incoming"); }
    std::size_t incoming() const { return incomingFiles(dataDir()); }

    TempDir temp_;
    std::unique_ptr<Storage> storage_ = std::make_unique<Storage>();
};

}  // namespace

TEST_F(StorageTest, AnUploadIsInvisibleUntilCommittedAndNeverReplacesAnImage) {
    std::string bytes(300 * 1024, 'x');  // several write blocks
    {
        PendingUpload upload(*storage_);
        ASSERT_TRUE(upload.begin());
        ASSERT_TRUE(upload.append(bytes.data(), bytes.size()));
        EXPECT_EQ(countEntries(dataDir() + "/images"), 0u);
        EXPECT_EQ(incoming(), 1u);
        ASSERT_EQ(upload.commit(kName), PendingUpload::CommitResult::Committed);
    }
    EXPECT_EQ(readFile(dataDir() + "/images/" + kName), bytes);
    {
        PendingUpload second(*storage_);
        ASSERT_TRUE(second.begin() && second.append("second", 6));
        EXPECT_EQ(second.commit(kName), PendingUpload::CommitResult::NameTaken);
    }
    EXPECT_EQ(readFile(dataDir() + "/images/" + kName), bytes);
    EXPECT_EQ(incoming(), 0u);  // the second upload went with its PendingUpload
}

// Servers share a directory and its deletion key: each has its own locked folder, and only the
// folders of dead servers (lock free) are ever removed, by whoever looks next.
TEST_F(StorageTest, ServersShareADirectoryAndCleanOnlyWhatTheDeadLeft) {
    Storage second;
    std::string error;
    ASSERT_TRUE(second.open(dataDir(), &error)) << error;
    ASSERT_EQ(folders(), 2u);
    PendingUpload living(second);
    ASSERT_TRUE(living.begin());
    // A dead server's folder: present, holding a half upload, locked by nobody.
    ASSERT_EQ(::mkdir((dataDir() + "/incoming/deadserver01").c_str(), 0755), 0);
    std::ofstream(dataDir() + "/incoming/deadserver01/x.part") << "half";
    EXPECT_EQ(storage_->removeDeadInstances(), 1);
    EXPECT_EQ(folders(), 2u);
    EXPECT_EQ(incoming(), 1u);  // the living server's upload is untouched
    storage_.reset();           // a clean stop takes its own folder away
    EXPECT_EQ(folders(), 1u);
    DeletionKey made, found;  // created by one server, found by the other
    ASSERT_TRUE(made.loadOrCreate(dataDir() + "/delete.key", &error)) << error;
    ASSERT_TRUE(found.loadOrCreate(dataDir() + "/delete.key", &error)) << error;
    EXPECT_TRUE(found.accepts(kName, made.tokenFor(kName)));
    EXPECT_FALSE(found.accepts(kName, made.tokenFor("ZZZZZZZZZZZZZZZZZZZZ.png")));
}
