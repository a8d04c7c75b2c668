#include "deletion_key.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "random_token.h"
#include "temp_dir.h"

namespace {

const std::string kName = "AbCdEfGhIjKlMnOp-_09.png";

}  // namespace

TEST(DeletionKey, CreatesAPrivateKeyOfRandomBytesAtFirstStart) {
    TempDir dir;
    std::string path = dir.path() + "/delete.key";
    DeletionKey key;
    std::string error;
    ASSERT_TRUE(key.loadOrCreate(path, &error)) << error;
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, static_cast<off_t>(kDeletionKeyBytes));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(readFile(path), std::string(kDeletionKeyBytes, '\0'));
    EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"delete.key"});
}

TEST(DeletionKey, TokensSurviveARestart) {
    TempDir dir;
    std::string path = dir.path() + "/delete.key";
    std::string error;
    DeletionKey first;
    ASSERT_TRUE(first.loadOrCreate(path, &error)) << error;
    DeletionKey second;
    ASSERT_TRUE(second.loadOrCreate(path, &error)) << error;
    EXPECT_EQ(first.tokenFor(kName), second.tokenFor(kName));
    EXPECT_TRUE(second.accepts(kName, first.tokenFor(kName)));
}

TEST(DeletionKey, TokenIsTheTruncatedHmacSha256OfTheName) {
    TempDir dir;
    std::string path = dir.path() + "/delete.key";
    std::string keyBytes;
    for (int i = 0; i < 32; ++i) keyBytes += static_cast<char>(i);
    writeFile(path, keyBytes);
    DeletionKey key;
    std::string error;
    ASSERT_TRUE(key.loadOrCreate(path, &error)) << error;
    // First 16 bytes of HMAC-SHA256(00 01 .. 1F, name), base64url.
    EXPECT_EQ(key.tokenFor(kName), "U-ZXR5rV8gyfRCJW5SYDgw");
}

TEST(DeletionKey, TokensAreUrlSafeAndDifferPerNameAndPerKey) {
    TempDir dirA, dirB;
    std::string error;
    DeletionKey a, b;
    ASSERT_TRUE(a.loadOrCreate(dirA.path() + "/delete.key", &error)) << error;
    ASSERT_TRUE(b.loadOrCreate(dirB.path() + "/delete.key", &error)) << error;
    std::string token = a.tokenFor(kName);
    ASSERT_EQ(token.size(), kDeletionTokenChars);
    for (char c : token) EXPECT_TRUE(isBase64UrlChar(c));
    EXPECT_NE(token, a.tokenFor("AbCdEfGhIjKlMnOp-_09.jpg"));
    EXPECT_NE(token, b.tokenFor(kName));
}

TEST(DeletionKey, AcceptsOnlyTheExactToken) {
    TempDir dir;
    std::string error;
    DeletionKey key;
    ASSERT_TRUE(key.loadOrCreate(dir.path() + "/delete.key", &error)) << error;
    std::string token = key.tokenFor(kName);
    EXPECT_TRUE(key.accepts(kName, token));
    std::string changed = token;
    changed[10] = changed[10] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(key.accepts(kName, changed));
    EXPECT_FALSE(key.accepts(kName, ""));
    EXPECT_FALSE(key.accepts(kName, token.substr(0, 21)));
    EXPECT_FALSE(key.accepts(kName, token + "A"));
    EXPECT_FALSE(key.accepts("AbCdEfGhIjKlMnOp-_09.jpg", token));
}

TEST(DeletionKey, RefusesAFileThatIsNoKey) {
    TempDir dir;
    std::string path = dir.path() + "/delete.key";
    writeFile(path, "too short");
    DeletionKey key;
    std::string error;
    EXPECT_FALSE(key.loadOrCreate(path, &error));
    EXPECT_NE(error.find("delete.key"), std::string::npos) << error;
    EXPECT_EQ(readFile(path), "too short");
}
