#include "upload_receiver.h"

#include <gtest/gtest.h>

#include "stored_name.h"
#include "temp_dir.h"
#include "test_images.h"

namespace {

class UploadReceiverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(storage_.open(temp_.path(), &error)) << error;
    }
    std::vector<std::string> images() const { return listDirectory(temp_.path() + "/images"); }
    std::vector<std::string> incoming() const { return listDirectory(temp_.path() + "/incoming"); }

    // Feeds `bytes` in pieces of `piece` bytes, as the multipart parser would.
    static void feed(UploadReceiver& receiver, const std::string& bytes, std::size_t piece) {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            receiver.addData(bytes.data() + at, std::min(piece, bytes.size() - at));
        }
    }

    TempDir temp_;
    Storage storage_;
};

}  // namespace

TEST_F(UploadReceiverTest, StoresTheFilePartUnderANewName) {
    std::string png = makePng(40, 30, 1);
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("file");
    feed(receiver, png, 4096);
    std::string name;
    ASSERT_EQ(receiver.finish(&name), UploadOutcome::Stored);
    EXPECT_EQ(parseStoredName(name), ImageKind::Png);
    EXPECT_EQ(images(), std::vector<std::string>{name});
    EXPECT_EQ(readFile(temp_.path() + "/images/" + name), png);
    EXPECT_TRUE(incoming().empty());
}

TEST_F(UploadReceiverTest, SniffsAcrossPiecesOfOneByte) {
    std::string jpeg = makeJpegShaped(500, 2);
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("file");
    feed(receiver, jpeg, 1);
    std::string name;
    ASSERT_EQ(receiver.finish(&name), UploadOutcome::Stored);
    EXPECT_EQ(parseStoredName(name), ImageKind::Jpeg);
    EXPECT_EQ(readFile(temp_.path() + "/images/" + name), jpeg);
}

TEST_F(UploadReceiverTest, AFileShorterThanTheSniffingWindowIsJudgedAtTheEnd) {
    std::string tiny("\xFF\xD8\xFF\xE0\x00\x02\xFF\xD9", 8);
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("file");
    feed(receiver, tiny, 3);
    std::string name;
    ASSERT_EQ(receiver.finish(&name), UploadOutcome::Stored);
    EXPECT_EQ(readFile(temp_.path() + "/images/" + name), tiny);
}

TEST_F(UploadReceiverTest, DropsOtherParts) {
    std::string png = makePng(8, 8, 3);
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("comment");
    feed(receiver, "a comment before the file", 5);
    receiver.beginPart("file");
    feed(receiver, png, 100);
    receiver.beginPart("trailer");
    feed(receiver, "more text after it", 5);
    std::string name;
    ASSERT_EQ(receiver.finish(&name), UploadOutcome::Stored);
    EXPECT_EQ(readFile(temp_.path() + "/images/" + name), png);
}

TEST_F(UploadReceiverTest, WithoutAFilePartNothingIsStored) {
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("image");
    feed(receiver, makePng(8, 8, 4), 100);
    std::string name;
    EXPECT_EQ(receiver.finish(&name), UploadOutcome::NoFilePart);
    EXPECT_TRUE(images().empty());
    EXPECT_TRUE(incoming().empty());
}

TEST_F(UploadReceiverTest, TwoFilePartsAreRefused) {
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("file");
    feed(receiver, makePng(8, 8, 5), 100);
    receiver.beginPart("file");
    feed(receiver, makePng(8, 8, 6), 100);
    std::string name;
    EXPECT_EQ(receiver.finish(&name), UploadOutcome::SeveralFileParts);
    EXPECT_TRUE(images().empty());
    EXPECT_TRUE(incoming().empty());
}

TEST_F(UploadReceiverTest, NonImagesNeverReachTheDisk) {
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("file");
    feed(receiver, "<?php system($_GET['c']); ?> and then a lot more text", 7);
    EXPECT_TRUE(incoming().empty());
    std::string name;
    EXPECT_EQ(receiver.finish(&name), UploadOutcome::NotAnImage);
    EXPECT_TRUE(images().empty());
}

TEST_F(UploadReceiverTest, AnEmptyFilePartIsNotAnImage) {
    UploadReceiver receiver(storage_, 1 << 20);
    receiver.beginPart("file");
    std::string name;
    EXPECT_EQ(receiver.finish(&name), UploadOutcome::NotAnImage);
}

TEST_F(UploadReceiverTest, AnImageOverTheLimitIsDroppedAsSoonAsItPassesIt) {
    std::string png = makePngOfSize(20'000, 7);
    UploadReceiver receiver(storage_, 10'000);
    receiver.beginPart("file");
    for (std::size_t at = 0; at < png.size(); at += 1000) {
        // The body is still read to its end, so the client gets to read the answer.
        EXPECT_TRUE(
            receiver.addData(png.data() + at, std::min<std::size_t>(1000, png.size() - at)));
        if (at > 10'000) {
            EXPECT_TRUE(receiver.tooLarge());
            EXPECT_TRUE(incoming().empty());
        }
    }
    std::string name;
    EXPECT_EQ(receiver.finish(&name), UploadOutcome::TooLarge);
    EXPECT_TRUE(images().empty());
    EXPECT_TRUE(incoming().empty());
}

TEST_F(UploadReceiverTest, ImageExactlyAtTheLimitIsAccepted) {
    std::string png = makePngOfSize(5'000, 8);
    UploadReceiver receiver(storage_, png.size());
    receiver.beginPart("file");
    feed(receiver, png, 512);
    std::string name;
    EXPECT_EQ(receiver.finish(&name), UploadOutcome::Stored);
}

TEST_F(UploadReceiverTest, StopsReadingABodyFarPastTheLimit) {
    UploadReceiver receiver(storage_, 1'000);
    receiver.beginPart("notes");  // not even the file part counts for free
    std::string chunk(4096, 'x');
    std::size_t accepted = 0;
    while (receiver.addData(chunk.data(), chunk.size())) {
        accepted += chunk.size();
        ASSERT_LT(accepted, 1'000 + kMultipartOverhead + chunk.size());
    }
    EXPECT_TRUE(receiver.tooLarge());
}
