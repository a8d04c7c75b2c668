#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/settings.h"
#include "app/upload_history.h"

namespace fs = std::filesystem;

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    return text;
}

// PEM, USER and MACHINE stand for the paths of a readable file and the two settings files.
TEST(Settings, FirstFoundWinsPerSettingAndBadOnesNameThemselves) {
    const std::string dir = ::testing::TempDir() + "glimmerix_settings", pem = dir + "/ca.pem";
    const std::string user = dir + "/user.conf", machine = dir + "/machine.ini";
    struct Row {
        const char* variable;        // GLIMMERIX_NAME=value, or ""
        const char *user, *machine;  // the files' text; nullptr: none, "<dir>": a folder there
        const char* expected;  // scheme|host|port|given|path|token|ca_file|history, or the error
    } rows[] = {
        // clang-format off
        {"", nullptr, nullptr, "http|<host>|80|0|/api.php|||0"},
        {"UPLOAD_URL=HTTPS://Shots.example:8443/up/api.php?x=1", "upload_url = http://user/",
         "[glimmerix]\r\nupload_token = a.b~c\r\n", "https|Shots.example|8443|1|/up/api.php?x=1|a.b~c||0"},
        {"", "\xEF\xBB\xBFupload_history=off\r\n# c = d\r\n; x\r\n\r\n  Upload_URL = \"http://u:81\" \r\n"
             "[other]\r\nupload_token = theirs\r\n[ Glimmerix ]\r\ncolour = red\r\nupload_url = http://2nd/",
         "upload_url = http://m/\nupload_history = Yes\nupload_token = t\n", "http|u|81|1|/|t||0"},
        // Set to nothing means the build default, also over a machine's value.
        {"UPLOAD_URL=", "upload_token =", "upload_url = http://m/\nupload_token = t",
         "http|<host>|80|0|/api.php|||0"},
        {"CA_FILE=PEM ", nullptr, "upload_url=https://h", "https|h|443|0|/||PEM|0"},
        {"CA_FILE=/none.pem", "upload_url=http://h", nullptr, "http|h|80|0|/||/none.pem|0"},
        {"CA_FILE=/none.pem", "upload_url=https://h", nullptr, "ca_file: cannot read \"/none.pem\""},
        {"UPLOAD_URL=ftp://h/", nullptr, nullptr, "upload_url: unknown scheme \"ftp\""},
        {"UPLOAD_URL=h/api.php", nullptr, nullptr, "upload_url: expected http://HOST[:PORT][/PATH] or https://..."},
        {"UPLOAD_URL=http://:80/", nullptr, nullptr, "upload_url: no host"},
        {"UPLOAD_URL=http://me@h\n/", nullptr, nullptr, "upload_url: bad host \"me@h?\""},
        {"UPLOAD_URL=http://h:65536/", nullptr, nullptr, "upload_url: bad port \"65536\""},
        {"UPLOAD_URL=http://h/a b", nullptr, nullptr, "upload_url: bad path \"/a b\""},
        {"", nullptr, "upload_token = se cret", "upload_token: only printable ASCII without spaces is allowed"},
        {"UPLOAD_HISTORY=maybe", nullptr, nullptr, "upload_history: expected on or off, not \"maybe\""},
        {"", "# fine\nupload_url http://h/", nullptr, "USER:2: expected key = value"},
        {"", nullptr, "\xFF\xFEu", "MACHINE: UTF-16 text; save it as UTF-8"},
        {"", "<dir>", nullptr, "USER: cannot be read"},
        // clang-format on
    };
    const std::string host = defaultUploadUrl().substr(7, defaultUploadUrl().find('/', 7) - 7);
    for (const auto& row : rows) {
        fs::remove_all(dir);
        fs::create_directory(dir);
        std::ofstream(pem) << "certificates";
        for (auto [path, text] : {std::pair(user, row.user), std::pair(machine, row.machine)}) {
            if (text && std::string(text) == "<dir>") fs::create_directory(path);
            if (text && std::string(text) != "<dir>") std::ofstream(path, std::ios::binary) << text;
        }
        const std::string variable = std::string("GLIMMERIX_") + row.variable;
        SettingsSources sources{
            [&](const char* name, std::string& value) {
                return variable.rfind(std::string(name) + "=", 0) == 0 &&
                       (value = replaced(variable.substr(variable.find('=') + 1), "PEM", pem),
                        true);
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
            got = replaced(replaced(error, user, "USER"), machine, "MACHINE");
        }
        EXPECT_EQ(replaced(row.expected, "<host>", host), got)
            << row.variable << " / " << (row.user ? row.user : "-");
    }
}

// What reaches the history comes from the network: nothing in it may break a line or a field.
TEST(UploadHistory, AppendsOneCheckedLinePerUploadToAPrivateFile) {
    EXPECT_EQ("2026-12-07T18:00:01Z\thttp://h/a.png\thttp://h/d?k=1\n",
              historyLine(1796666401, " http://h/a.png\r\n", "http://h/d?k=1\r"));
    EXPECT_EQ("1970-01-01T00:00:00Z\tl\t-\n", historyLine(0, "l", "http://h/d\tx"));
    EXPECT_EQ("", historyLine(0, "http://h/a.png\nforged", "-"));
    EXPECT_EQ("", historyLine(0, "http://h/\xC3\xA9", "-"));

    const std::string file = ::testing::TempDir() + "glimmerix_uploads.tsv";
    fs::remove(file);
    EXPECT_TRUE(appendUploadHistory(file, 0, "a", "b") && appendUploadHistory(file, 0, "c", ""));
    EXPECT_FALSE(appendUploadHistory(file + ".missing/uploads.tsv", 0, "a", "b"));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ("1970-01-01T00:00:00Z\ta\tb\n1970-01-01T00:00:00Z\tc\t-\n",
              std::string(std::istreambuf_iterator<char>(in), {}));
#ifndef _WIN32
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(file).permissions());
#endif
}
