// The parsers that read what clients send, each on its own: data in, result out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http_client.h"
#include "image_request.h"
#include "image_structure.h"
#include "multipart_reader.h"
#include "request_framing.h"
#include "server_log.h"
#include "upload_access.h"

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
    struct Case {
        std::string body;
        bool complete;
    };
    const Case cases[] = {
        {"--XyZ\r\n\r\ndata", false},                   // no closing delimiter yet
        {"--XyZ\r\n\r\ndata\r\n--XyZ", false},          // delimiter without its ending
        {"--XyZ junk\r\n\r\nx\r\n--XyZ--", false},      // garbage after a delimiter
        {"--XyZ\r\n" + std::string(9000, 'h'), false},  // endless part headers
        {"--XyZ--", true},                              // an empty form is well formed
    };
    for (const Case& c : cases) {
        MultipartReader reader("XyZ");
        Collected got;
        reader.feed(c.body.data(), c.body.size(), got);
        EXPECT_EQ(reader.complete(), c.complete) << c.body.substr(0, 40);
    }
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
        {"bytes=50-5000", RangeAnswer::Partial, 50, 50},
        {"bytes=100-", RangeAnswer::Unsatisfiable, 0, 0},
        {"bytes=9-1", RangeAnswer::Whole, 0, 0},  // invalid: ignored, never 416
        {"bytes=0-1,5-6", RangeAnswer::Whole, 0, 0},
        {"pages=1", RangeAnswer::Whole, 0, 0},
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

TEST(UploadAccess, AddressListsAndForwardedHops) {
    struct Case {
        const char* list;
        std::vector<const char*> inside, outside;
    };
    const Case cases[] = {
        {"loopback,private",
         {"127.8.0.1", "::1", "172.31.9.9", "fd12::1", "fe80::1"},
         {"172.32.0.1", "8.8.8.8", "2001:db8::1"}},
        {"2001:db8::/33", {"2001:db8:7fff::1"}, {"2001:db8:8000::1"}},
        {"192.0.2.7", {"192.0.2.7"}, {"192.0.2.8"}},
        {"any", {"203.0.113.1"}, {}},
    };
    for (const Case& c : cases) {
        UploadSources sources;
        ASSERT_TRUE(parseUploadSources(c.list, &sources)) << c.list;
        for (const char* address : c.inside) EXPECT_TRUE(sources.contains(address)) << address;
        for (const char* address : c.outside) EXPECT_FALSE(sources.contains(address)) << address;
    }
    UploadSources sources;
    for (const char* bad : {"", "10.0.0.0/33", "10.0.0.0/", "local", "10.0.0.0/8,"}) {
        EXPECT_FALSE(parseUploadSources(bad, &sources)) << bad;
    }
    EXPECT_EQ(lastForwardedHop("203.0.113.9, 2001:DB8::5"), "2001:db8::5");
    EXPECT_EQ(lastForwardedHop("203.0.113.9, unknown"), "");
    EXPECT_EQ(bearerToken("Basic abc"), "");
}

// Time is passed in: a second of the limit starts with its first line.
TEST(LogRateLimit, HoldsBackLinesOverTheRateAndCountsThem) {
    LogRateLimit limit(3);
    const LogRateLimit::Clock::time_point t0{};
    auto at = [&](int ms) { return t0 + std::chrono::milliseconds(ms); };
    std::uint64_t heldBack = 0;
    int written = 0;
    for (int i = 0; i < 10; ++i) written += limit.admit(at(i * 10), &heldBack);
    EXPECT_EQ(written, 3);
    EXPECT_EQ(limit.takeHeldBack(at(990)), 0u);  // that second is not over yet
    EXPECT_TRUE(limit.admit(at(1000), &heldBack));
    EXPECT_EQ(heldBack, 7u);
    for (int i = 0; i < 5; ++i) limit.admit(at(1100), &heldBack);
    EXPECT_EQ(heldBack, 0u);
    EXPECT_EQ(limit.takeHeldBack(at(2000)), 3u);  // a flood that ended is still reported, once
    EXPECT_EQ(limit.takeHeldBack(at(3000)), 0u);
}

// Each file fed whole and byte by byte: the verdict must not depend on how the body is cut.
TEST(ImageStructure, OnlyWholeWellFormedImagesPass) {
    const std::string png = makePng(300, 1), jpeg = makeJpeg(300, 2);
    const std::string html = "<html><script>alert(1)</script></html>";
    auto withByte = [](std::string s, std::size_t at, char c) { return s.replace(at, 1, 1, c); };
    const std::string iend = png.substr(png.size() - 12);
    // A progressive-looking JPEG: stuffed FF, a restart marker, a second table and scan.
    const std::string scans = jpeg.substr(0, 60) + std::string("\xff\x00\xff\xd3", 4) +
                              std::string("\xff\xc4\0\x02\xff\xda\0\x02", 8) + jpeg.substr(60);
    struct Case {
        std::string bytes;
        ImageKind kind;
        bool whole;
    };
    const Case cases[] = {
        {png, ImageKind::Png, true},
        {jpeg, ImageKind::Jpeg, true},
        {scans, ImageKind::Jpeg, true},
        {png.substr(0, 16) + html, ImageKind::Png, false},
        {std::string("\xff\xd8\xff\xe0", 4) + html, ImageKind::Jpeg, false},
        {withByte(png, 100, png[100] ^ 1), ImageKind::Png, false},       // IDAT's CRC wrong
        {withByte(png, 11, 12), ImageKind::Png, false},                  // IHDR 12 bytes long
        {png + "x", ImageKind::Png, false},                              // after IEND
        {png.substr(0, png.size() - 1), ImageKind::Png, false},          // cut short
        {png.substr(0, 33) + iend, ImageKind::Png, false},               // no IDAT
        {jpeg + "x", ImageKind::Jpeg, false},                            // after EOI
        {jpeg.substr(0, jpeg.size() - 2), ImageKind::Jpeg, false},       // no EOI
        {jpeg.substr(0, 20) + jpeg.substr(33), ImageKind::Jpeg, false},  // SOS without SOF
        {withByte(jpeg, 5, 1), ImageKind::Jpeg, false},                  // segment length 1
    };
    for (const Case& c : cases) {
        ImageStructure atOnce(c.kind), byByte(c.kind);
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        bool fed = atOnce.feed(data, c.bytes.size());
        for (std::size_t i = 0; i < c.bytes.size(); ++i) byByte.feed(data + i, 1);
        EXPECT_EQ(fed && atOnce.complete(), c.whole) << c.bytes.size();
        EXPECT_EQ(byByte.complete(), c.whole) << c.bytes.size();
    }
}

}  // namespace
