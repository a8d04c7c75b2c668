#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/settings.h"
#include "app/upload_history.h"

namespace {

// "USER" and "MACHINE" in a file's text or an expected error stand for the two files' paths; a
// file of "<dir>" is a folder in its place; nullptr is no file.
struct Case {
    std::map<std::string, std::string> environment;
    const char* user;
    const char* machine;
    std::string expected;  // scheme|host|port|port given|path|token|ca_file|history, or the error
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

TEST(Settings, FirstFoundWinsPerSettingAndBadOnesNameThemselves) {
    const std::string dir = ::testing::TempDir() + "glimmerix_settings";
    const std::string user = dir + "/user.conf", machine = dir + "/machine.ini";
    const std::string pem = dir + "/ca.pem";
    const Case cases[] = {
        {{}, nullptr, nullptr, "http|" GLIMMERIX_UPLOAD_HOST "|80|0|/api.php|||0"},
        {{{"GLIMMERIX_UPLOAD_URL", "HTTPS://Shots.example:8443/up/api.php?x=1"}},
         "upload_url = http://user/",
         "[glimmerix]\r\nupload_token = a.b~c\r\n",
         "https|Shots.example|8443|1|/up/api.php?x=1|a.b~c||0"},
        {{},
         "\xEF\xBB\xBFupload_history=off\r\n# c = d\r\n; x\r\n\r\n  Upload_URL = \"http://u:81\"  "
         "\r\n[other]\r\n"
         "upload_token = theirs\r\n[ Glimmerix ]\r\ncolour = red\r\nupload_url = http://later/\r\n",
         "upload_url = http://m/\nupload_history = Yes\nupload_token = t\n",
         "http|u|81|1|/|t||0"},
        // Set to nothing means the build default, also over a machine's value.
        {{{"GLIMMERIX_UPLOAD_URL", ""}},
         "upload_token =",
         "upload_url = http://m/\nupload_token = t",
         "http|" GLIMMERIX_UPLOAD_HOST "|80|0|/api.php|||0"},
        {{{"GLIMMERIX_CA_FILE", "PEM"}}, nullptr, "upload_url=https://h", "https|h|443|0|/||PEM|0"},
        {{{"GLIMMERIX_CA_FILE", "/none.pem"}},
         "upload_url=http://h",
         nullptr,
         "http|h|80|0|/||/none.pem|0"},
        {{{"GLIMMERIX_CA_FILE", "/none.pem"}},
         "upload_url=https://h",
         nullptr,
         "ca_file: cannot read \"/none.pem\""},
        {{{"GLIMMERIX_UPLOAD_URL", "ftp://h/"}},
         nullptr,
         nullptr,
         "upload_url: unknown scheme \"ftp\""},
        {{{"GLIMMERIX_UPLOAD_URL", "h/api.php"}},
         nullptr,
         nullptr,
         "upload_url: expected http://HOST[:PORT][/PATH] or https://..."},
        {{{"GLIMMERIX_UPLOAD_URL", "http://:80/"}}, nullptr, nullptr, "upload_url: no host"},
        {{{"GLIMMERIX_UPLOAD_URL", "http://me@h\n/"}},
         nullptr,
         nullptr,
         "upload_url: bad host \"me@h?\""},
        {{{"GLIMMERIX_UPLOAD_URL", "http://h:65536/"}},
         nullptr,
         nullptr,
         "upload_url: bad port \"65536\""},
        {{{"GLIMMERIX_UPLOAD_URL", "http://h:/"}}, nullptr, nullptr, "upload_url: bad port \"\""},
        {{{"GLIMMERIX_UPLOAD_URL", "http://h/a b"}},
         nullptr,
         nullptr,
         "upload_url: bad path \"/a b\""},
        {{{"GLIMMERIX_UPLOAD_TOKEN", "se cret"}},
         nullptr,
         nullptr,
         "upload_token: only printable ASCII without spaces is allowed"},
        {{},
         nullptr,
         "upload_token = s\xC3\xA9",
         "upload_token: only printable ASCII without spaces is allowed"},
        {{{"GLIMMERIX_UPLOAD_HISTORY", "maybe"}},
         nullptr,
         nullptr,
         "upload_history: expected on or off, not \"maybe\""},
        {{}, "# fine\nupload_url http://h/", nullptr, "USER:2: expected key = value"},
        {{}, nullptr, "\xFF\xFEu\0", "MACHINE: UTF-16 text; save it as UTF-8"},
        {{}, "<dir>", nullptr, "USER: cannot be read"},
    };
    for (const Case& row : cases) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directory(dir);
        std::ofstream(pem) << "certificates";
        for (auto [path, text] : {std::pair{user, row.user}, {machine, row.machine}}) {
            if (text && std::string(text) == "<dir>")
                std::filesystem::create_directory(path);
            else if (text)
                std::ofstream(path, std::ios::binary) << text;
        }
        SettingsSources sources{[&](const char* name, std::string& value) {
                                    auto found = row.environment.find(name);
                                    if (found == row.environment.end()) return false;
                                    value = replaced(found->second, "PEM", pem);
                                    return true;
                                },
                                user, machine};
        Settings settings;
        std::string error, got;
        if (loadSettings(sources, settings, error)) {
            const UploadSettings& u = settings.upload;
            got = u.scheme + "|" + u.host + "|" + std::to_string(u.port) + "|" +
                  std::to_string(u.portGiven) + "|" + u.path + "|" + u.token + "|" +
                  replaced(u.caFile, pem, "PEM") + "|" + std::to_string(settings.history);
        } else {
            EXPECT_EQ(std::string::npos, error.find('\n'));
            got = replaced(replaced(error, user, "USER"), machine, "MACHINE");
        }
        EXPECT_EQ(row.expected, got)
            << (row.user ? row.user : "") << " / " << (row.machine ? row.machine : "");
    }
}

// What reaches the history comes from the network: nothing in it may break a line or a field.
TEST(UploadHistory, AppendsOneCheckedLinePerUploadToAPrivateFile) {
    EXPECT_EQ("1970-01-01T00:00:00Z\thttp://h/a.png\t-\n",
              historyLine(0, " http://h/a.png\r\n", ""));
    EXPECT_EQ("2026-12-07T18:00:01Z\thttp://h/a.png\thttp://h/d?k=1\n",
              historyLine(1796666401, "http://h/a.png", "http://h/d?k=1\r"));
    EXPECT_EQ("1970-01-01T00:00:00Z\tl\t-\n", historyLine(0, "l", "http://h/d\tx"));
    EXPECT_EQ("", historyLine(0, "http://h/a.png\nforged", "-"));
    EXPECT_EQ("", historyLine(0, "http://h/\xC3\xA9", "-"));

    const std::string file = ::testing::TempDir() + "glimmerix_uploads.tsv";
    std::filesystem::remove(file);
    EXPECT_TRUE(appendUploadHistory(file, 0, "a", "b"));
    EXPECT_TRUE(appendUploadHistory(file, 0, "c", ""));
    EXPECT_FALSE(appendUploadHistory(file, 0, "", "b"));
    EXPECT_FALSE(appendUploadHistory(file + ".missing/uploads.tsv", 0, "a", "b"));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ("1970-01-01T00:00:00Z\ta\tb\n1970-01-01T00:00:00Z\tc\t-\n",
              std::string(std::istreambuf_iterator<char>(in), {}));
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
              std::filesystem::status(file).permissions());
#endif
}
