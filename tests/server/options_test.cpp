#include "options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ParseOutcome parse(std::vector<const char*> args, ServerOptions* options,
                   std::string* error = nullptr) {
    args.insert(args.begin(), "glimmerix-server");
    std::string ignored;
    return parseOptions(static_cast<int>(args.size()), args.data(), options,
                        error ? error : &ignored);
}

}  // namespace

TEST(Options, DefaultsSuitAServiceOnPort80) {
    ServerOptions options;
    ASSERT_EQ(parse({}, &options), ParseOutcome::Run);
    EXPECT_EQ(options.listenAddress, "0.0.0.0");
    EXPECT_EQ(options.port, 80);
    EXPECT_EQ(options.dataDir, "/var/lib/glimmerix");
    EXPECT_EQ(options.publicUrl, "");
    EXPECT_EQ(options.maxUploadBytes, 32u << 20);
    EXPECT_EQ(options.threads, 32u);
    EXPECT_EQ(options.readTimeout.count(), 10'000);
    EXPECT_EQ(options.writeTimeout.count(), 10'000);
    EXPECT_EQ(options.requestTimeout.count(), 120'000);
    EXPECT_EQ(options.keepAliveTimeout.count(), 5'000);
}

TEST(Options, ReadsEveryFlagInBothForms) {
    ServerOptions options;
    ASSERT_EQ(parse({"--listen", "::", "--port=8080", "--data-dir", "/srv/shots",
                     "--public-url=https://shots.example.com/", "--max-size", "5M", "--threads=4",
                     "--read-timeout", "2.5", "--write-timeout=3", "--request-timeout", "60",
                     "--keep-alive-timeout=0.5"},
                    &options),
              ParseOutcome::Run);
    EXPECT_EQ(options.listenAddress, "::");
    EXPECT_EQ(options.port, 8080);
    EXPECT_EQ(options.dataDir, "/srv/shots");
    EXPECT_EQ(options.publicUrl, "https://shots.example.com");  // trailing '/' dropped
    EXPECT_EQ(options.maxUploadBytes, 5u << 20);
    EXPECT_EQ(options.threads, 4u);
    EXPECT_EQ(options.readTimeout.count(), 2'500);
    EXPECT_EQ(options.writeTimeout.count(), 3'000);
    EXPECT_EQ(options.requestTimeout.count(), 60'000);
    EXPECT_EQ(options.keepAliveTimeout.count(), 500);
}

TEST(Options, SizesTakeBinarySuffixes) {
    ServerOptions options;
    ASSERT_EQ(parse({"--max-size", "65536"}, &options), ParseOutcome::Run);
    EXPECT_EQ(options.maxUploadBytes, 65536u);
    ASSERT_EQ(parse({"--max-size", "512k"}, &options), ParseOutcome::Run);
    EXPECT_EQ(options.maxUploadBytes, 512u * 1024);
    ASSERT_EQ(parse({"--max-size", "1G"}, &options), ParseOutcome::Run);
    EXPECT_EQ(options.maxUploadBytes, 1u << 30);
}

TEST(Options, RejectsBadValuesNamingTheFlag) {
    const std::vector<std::vector<const char*>> bad = {
        {"--port", "65536"},
        {"--port", "-1"},
        {"--port", "80x"},
        {"--max-size", "0"},
        {"--max-size", "12T"},
        {"--max-size", "M"},
        {"--threads", "0"},
        {"--read-timeout", "0"},
        {"--read-timeout", "-3"},
        {"--write-timeout", "soon"},
        {"--request-timeout", "1e9"},
        {"--public-url", "shots.example.com"},
        {"--public-url", "http://"},
        {"--public-url", "http://a b"},
        {"--data-dir="},
        {"--listen="},
    };
    for (const auto& args : bad) {
        ServerOptions options;
        std::string error;
        EXPECT_EQ(parse(args, &options, &error), ParseOutcome::Error) << args[0];
        std::string flag = args[0];
        flag = flag.substr(0, flag.find('='));
        EXPECT_NE(error.find(flag), std::string::npos) << error;
    }
}

TEST(Options, RejectsUnknownFlagsStrayArgumentsAndMissingValues) {
    ServerOptions options;
    std::string error;
    EXPECT_EQ(parse({"--colour", "blue"}, &options, &error), ParseOutcome::Error);
    EXPECT_NE(error.find("--colour"), std::string::npos);
    EXPECT_EQ(parse({"8080"}, &options, &error), ParseOutcome::Error);
    EXPECT_EQ(parse({"--port"}, &options, &error), ParseOutcome::Error);
    EXPECT_NE(error.find("needs a value"), std::string::npos);
}

TEST(Options, HelpAndVersion) {
    ServerOptions options;
    EXPECT_EQ(parse({"--help"}, &options), ParseOutcome::ShowHelp);
    EXPECT_EQ(parse({"-h"}, &options), ParseOutcome::ShowHelp);
    EXPECT_EQ(parse({"--port", "1", "--version"}, &options), ParseOutcome::ShowVersion);
    for (const char* flag :
         {"--listen", "--port", "--data-dir", "--public-url", "--max-size", "--threads",
          "--read-timeout", "--write-timeout", "--request-timeout", "--keep-alive-timeout"}) {
        EXPECT_NE(usageText().find(flag), std::string::npos) << flag;
    }
}

TEST(Options, DefaultPublicUrlNamesThePortOnlyWhenNot80) {
    EXPECT_EQ(defaultPublicUrl("shots", 80), "http://shots");
    EXPECT_EQ(defaultPublicUrl("shots", 8080), "http://shots:8080");
}
