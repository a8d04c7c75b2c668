// The parsers that read what clients send, each on its own: data in, result out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_kind.h"
#include "image_request.h"
#include "multipart_reader.h"
#include "options.h"
#include "request_framing.h"
#include "server_log.h"
#include "stored_name.h"
#include "trusted_addresses.h"

namespace {

struct Collected : MultipartHandler {
    std::string events;  // "[name]data[name]data"
    void beginPart(const std::string& name) override { events += "[" + name + "]"; }
    void partData(const char* data, std::size_t size) override { events.append(data, size); }
};

const std::string kForm =
    "preamble\r\n--XyZ\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n"
    "--XyZ\r\ncontent-disposition: form-data; name=file; filename=\"a.png\"\r\n"
    "Content-Type: image/png\r\n\r\n\r\n--Xy\r\n-\r\n--XyZ--\r\nepilogue";

// The form read in two pieces split at every position, so no cut can lose or invent a byte.
TEST(MultipartReader, ReadsTheSameWhereverTheBodyIsCut) {
    for (std::size_t cut = 0; cut <= kForm.size(); ++cut) {
        MultipartReader reader("XyZ");
        Collected got;
        ASSERT_TRUE(reader.feed(kForm.data(), cut, got));
        ASSERT_TRUE(reader.feed(kForm.data() + cut, kForm.size() - cut, got));
        EXPECT_TRUE(reader.complete()) << cut;
        EXPECT_EQ(got.events, "[note]hi[file]\r\n--Xy\r\n-") << cut;
    }
}

TEST(MultipartReader, MalformedAndIncompleteBodies) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"--XyZ\r\n\r\ndata", false},                   // no closing delimiter yet
        {"--XyZ\r\n\r\ndata\r\n--XyZ", false},          // delimiter without its ending
        {"--XyZ junk\r\n\r\nx\r\n--XyZ--", false},      // garbage after a delimiter
        {"--XyZ\r\n" + std::string(9000, 'h'), false},  // endless part headers
        {"--XyZ--", true},                              // an empty form is well formed
    };
    for (const auto& [body, complete] : cases) {
        MultipartReader reader("XyZ");
        Collected got;
        reader.feed(body.data(), body.size(), got);
        EXPECT_EQ(reader.complete(), complete) << body.substr(0, 40);
    }
}

TEST(MultipartReader, BoundaryAndNameParameters) {
    EXPECT_EQ(multipartBoundary("multipart/form-data; boundary=abc"), "abc");
    EXPECT_EQ(multipartBoundary("Multipart/Form-Data;boundary=\"a b\""), "a b");
    EXPECT_EQ(multipartBoundary("multipart/mixed; boundary=abc"), "");
    EXPECT_EQ(multipartBoundary("multipart/form-data"), "");
    EXPECT_EQ(multipartBoundary("multipart/form-data; boundary=" + std::string(71, 'a')), "");
    EXPECT_EQ(dispositionName(" form-data; filename=\"x\"; name=\"file\""), "file");
    EXPECT_EQ(dispositionName(" form-data; filename=\"name\""), "");
}

TEST(ImageRequest, RangeHeaders) {
    struct Case {
        const char* header;
        RangeAnswer answer;
        std::uint64_t offset, length;
    };
    const Case cases[] = {
        {"", RangeAnswer::Whole, 0, 0},
        {"bytes=0-9", RangeAnswer::Partial, 0, 10},
        {"bytes=90-", RangeAnswer::Partial, 90, 10},
        {"bytes=-5", RangeAnswer::Partial, 95, 5},
        {"bytes=-500", RangeAnswer::Partial, 0, 100},
        {"bytes=50-5000", RangeAnswer::Partial, 50, 50},
        {"bytes=100-", RangeAnswer::Unsatisfiable, 0, 0},
        {"bytes=-0", RangeAnswer::Unsatisfiable, 0, 0},
        {"bytes=9-1", RangeAnswer::Whole, 0, 0},  // invalid: ignored, never 416
        {"bytes=0-1,5-6", RangeAnswer::Whole, 0, 0},
        {"bytes=x-", RangeAnswer::Whole, 0, 0},
        {"bytes=-", RangeAnswer::Whole, 0, 0},
        {"items=0-9", RangeAnswer::Whole, 0, 0},
        {"bytes=99999999999999999999-", RangeAnswer::Whole, 0, 0},
    };
    for (const Case& c : cases) {
        ByteRange range{0, 0};
        EXPECT_EQ(resolveRange(c.header, 100, &range), c.answer) << c.header;
        if (c.answer == RangeAnswer::Partial) {
            EXPECT_EQ(range.offset, c.offset) << c.header;
            EXPECT_EQ(range.length, c.length) << c.header;
        }
    }
    EXPECT_TRUE(etagListMatches("W/\"b\", \"a\"", "\"a\""));
    EXPECT_FALSE(etagListMatches("\"ab\"", "\"a\""));
}

TEST(RequestFraming, OnlyOneBodyLengthIsAccepted) {
    EXPECT_TRUE(bodyFramingIsUnambiguous({}, true));
    EXPECT_TRUE(bodyFramingIsUnambiguous({"5"}, false));
    EXPECT_TRUE(bodyFramingIsUnambiguous({"5", "5"}, false));
    EXPECT_TRUE(bodyFramingIsUnambiguous({"5, 5"}, false));
    EXPECT_FALSE(bodyFramingIsUnambiguous({"5", "7"}, false));
    EXPECT_FALSE(bodyFramingIsUnambiguous({"5,7"}, false));
    EXPECT_FALSE(bodyFramingIsUnambiguous({"5"}, true));
}

TEST(TrustedAddresses, ParsedAndMatched) {
    TrustedAddresses trusted;
    ASSERT_TRUE(parseTrustedAddresses("loopback,10.0.0.5,2001:DB8::1", &trusted));
    for (const char* address : {"127.0.0.1", "127.3.2.1", "::1", "10.0.0.5", "2001:db8::1"}) {
        EXPECT_TRUE(isTrusted(trusted, address)) << address;
    }
    EXPECT_FALSE(isTrusted(trusted, "10.0.0.50"));
    ASSERT_TRUE(parseTrustedAddresses("none", &trusted));
    EXPECT_FALSE(isTrusted(trusted, "127.0.0.1"));
    EXPECT_FALSE(parseTrustedAddresses("10.0.0.300", &trusted));
    EXPECT_FALSE(parseTrustedAddresses("", &trusted));
}

TEST(StoredName, OnlyExactNamesOfAKindAreAccepted) {
    std::string name = newStoredName(ImageKind::Png);
    EXPECT_EQ(parseStoredName(name), ImageKind::Png);
    EXPECT_NE(newStoredName(ImageKind::Png), name);
    std::string id = name.substr(0, kIdChars);
    EXPECT_EQ(parseStoredName(id + ".jpg"), ImageKind::Jpeg);
    for (const std::string& bad : {id + ".PNG", id + ".gif", id.substr(1) + ".png", id + "a.png",
                                   id.substr(1) + "/.png", id.substr(1) + "..png"}) {
        EXPECT_EQ(parseStoredName(bad), ImageKind::Unknown) << bad;
    }
}

TEST(ImageKind, SniffedFromTheFirstBytes) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    const std::pair<std::string, ImageKind> cases[] = {
        {png, ImageKind::Png},
        {std::string("\xff\xd8\xff\xe0", 4) + std::string(12, 'j'), ImageKind::Jpeg},
        {png.substr(0, 12) + "IDAT", ImageKind::Unknown},  // IHDR must come first
        {"GIF89a" + std::string(10, 'x'), ImageKind::Unknown},
        {"", ImageKind::Unknown},
    };
    for (const auto& [bytes, kind] : cases) {
        EXPECT_EQ(
            sniffImageKind(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
            kind);
    }
}

TEST(ServerLog, LinesAreSafeAndKeepTokensOut) {
    EXPECT_EQ(redactTarget("/delete/abc.png/SECRET"), "/delete/abc.png/...");
    EXPECT_EQ(sanitizeForLog("a\nb\\\x1b"), "a\\x0Ab\\x5C\\x1B");
}

TEST(Options, FlagsAndTheirErrors) {
    ServerOptions options;
    std::string error;
    std::vector<const char*> argv = {"glimmerix-server",
                                     "--max-connections=100",
                                     "--max-connections-per-ip",
                                     "3",
                                     "--trusted-proxies",
                                     "none",
                                     "--header-timeout",
                                     "2.5",
                                     "--max-size",
                                     "2M"};
    ASSERT_EQ(parseOptions(static_cast<int>(argv.size()), argv.data(), &options, &error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(options.maxConnections, 100u);
    EXPECT_EQ(options.maxConnectionsPerIp, 3u);
    EXPECT_FALSE(options.trustedProxies.loopback);
    EXPECT_EQ(options.headerTimeout.count(), 2500);
    EXPECT_EQ(options.maxUploadBytes, 2u << 20);
    for (std::vector<const char*> bad : {std::vector<const char*>{"x", "--max-connections", "0"},
                                         {"x", "--header-timeout", "-1"},
                                         {"x", "--trusted-proxies", "example.com"},
                                         {"x", "--port", "65536"},
                                         {"x", "--no-such-flag", "1"}}) {
        EXPECT_EQ(parseOptions(static_cast<int>(bad.size()), bad.data(), &options, &error),
                  ParseOutcome::Error)
            << bad[1];
    }
}

}  // namespace
