#include "app/settings.h"

#include <array>
#include <map>

#include "app/user_files.h"

#ifndef GLIMMERIX_UPLOAD_HOST
#error "GLIMMERIX_UPLOAD_HOST must name the upload service's host (a CMake cache variable)"
#endif

namespace {

using FileValues = std::map<std::string, std::string>;

struct Setting {
    const char* key;
    const char* variable;
};
constexpr Setting kUrl{"upload_url", "GLIMMERIX_UPLOAD_URL"};
constexpr Setting kToken{"upload_token", "GLIMMERIX_UPLOAD_TOKEN"};
constexpr Setting kCaFile{"ca_file", "GLIMMERIX_CA_FILE"};
constexpr Setting kHistory{"upload_history", "GLIMMERIX_UPLOAD_HISTORY"};
constexpr std::array<Setting, 4> kSettings{kUrl, kToken, kCaFile, kHistory};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// Printable ASCII other than the space: what a header value or request target may carry as is.
bool isVisibleAscii(char c) {
    return c > ' ' && c < 0x7F;
}

// A value quoted for an error line, with control characters shown as "?" so that the line stays
// one line.
std::string quoted(const std::string& value) {
    std::string shown;
    for (char c : value) {
        unsigned char byte = static_cast<unsigned char>(c);
        shown += byte < ' ' || byte == 0x7F ? '?' : c;
    }
    return "\"" + shown + "\"";
}

bool fail(std::string& error, const std::string& line) {
    error = line;
    return false;
}

// Keeps the first value of each of our keys in the file's lines outside foreign sections.
bool parseSettingsFile(const std::string& path, std::string bytes, FileValues& values,
                       std::string& error) {
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)
        return fail(error, path + ": UTF-16 text; save it as UTF-8");
    bool ours = true;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[' && line.back() == ']') {
            ours = lowered(trimmed(line.substr(1, line.size() - 2))) == "glimmerix";
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            return fail(error, path + ":" + std::to_string(lineNumber) + ": expected key = value");
        std::string value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (ours) values.emplace(lowered(trimmed(line.substr(0, equals))), value);
    }
    return true;
}

bool readSettingsFile(const std::string& path, FileValues& values, std::string& error) {
    if (path.empty()) return true;
    std::string bytes;
    switch (readWholeFile(path, bytes)) {
        case FileRead::kMissing:
            return true;
        case FileRead::kFailed:
            return fail(error, path + ": cannot be read");
        case FileRead::kRead:
            break;
    }
    return parseSettingsFile(path, bytes, values, error);
}

bool parseHost(const std::string& host, std::string& error) {
    if (host.empty()) return fail(error, "upload_url: no host");
    for (char c : host) {
        bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-' && c != '.' && c != '_')
            return fail(error, "upload_url: bad host " + quoted(host));
    }
    return true;
}

bool parsePort(const std::string& digits, int& port, std::string& error) {
    bool valid = !digits.empty() && digits.size() <= 5 &&
                 digits.find_first_not_of("0123456789") == std::string::npos;
    port = valid ? std::stoi(digits) : 0;
    if (port < 1 || port > 65535) return fail(error, "upload_url: bad port " + quoted(digits));
    return true;
}

// http://HOST[:PORT][/PATH] or https://...; the scheme in any case. No user name, no IPv6
// literal (the transport resolves IPv4), no fragment; the path and query go to the request line
// as written, so they must be printable ASCII without spaces.
bool parseUploadUrl(const std::string& url, UploadSettings& upload, std::string& error) {
    std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos)
        return fail(error, "upload_url: expected http://HOST[:PORT][/PATH] or https://...");
    upload.scheme = lowered(url.substr(0, schemeEnd));
    if (upload.scheme != "http" && upload.scheme != "https")
        return fail(error, "upload_url: unknown scheme " + quoted(url.substr(0, schemeEnd)));
    std::size_t authority = schemeEnd + 3;
    std::size_t pathStart = url.find('/', authority);
    if (pathStart == std::string::npos) pathStart = url.size();
    std::string hostPort = url.substr(authority, pathStart - authority);
    std::size_t colon = hostPort.find(':');
    upload.host = hostPort.substr(0, colon);
    if (!parseHost(upload.host, error)) return false;
    upload.portGiven = colon != std::string::npos;
    upload.port = upload.scheme == "https" ? 443 : 80;
    if (upload.portGiven && !parsePort(hostPort.substr(colon + 1), upload.port, error))
        return false;
    upload.path = pathStart < url.size() ? url.substr(pathStart) : "/";
    for (char c : upload.path)
        if (!isVisibleAscii(c) || c == '#')
            return fail(error, "upload_url: bad path " + quoted(upload.path));
    return true;
}

bool parseHistory(const std::string& value, bool& history, std::string& error) {
    const std::string word = lowered(value);
    history = word == "on" || word == "yes" || word == "true" || word == "1";
    if (history || word == "off" || word == "no" || word == "false" || word == "0") return true;
    return fail(error, "upload_history: expected on or off, not " + quoted(value));
}

// The setting's value from the first place that has it; false when none does. Blanks around a
// variable's value are dropped as in the files: cmd's "set NAME=value " keeps a trailing one.
bool lookUp(const SettingsSources& sources, const FileValues& user, const FileValues& machine,
            const Setting& setting, std::string& value) {
    if (sources.environment && sources.environment(setting.variable, value)) {
        value = trimmed(value);
        return true;
    }
    for (const FileValues* file : {&user, &machine}) {
        auto found = file->find(setting.key);
        if (found != file->end()) {
            value = found->second;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string defaultUploadUrl() {
    return "http://" GLIMMERIX_UPLOAD_HOST "/api.php";
}

bool loadSettings(const SettingsSources& sources, Settings& settings, std::string& error) {
    FileValues user, machine;
    if (!readSettingsFile(sources.userFile, user, error) ||
        !readSettingsFile(sources.machineFile, machine, error))
        return false;
    std::map<std::string, std::string> chosen;
    for (const Setting& setting : kSettings) {
        std::string value;
        if (lookUp(sources, user, machine, setting, value) && !value.empty())
            chosen[setting.key] = value;
    }
    settings = Settings{};
    std::string url = chosen.count(kUrl.key) ? chosen[kUrl.key] : defaultUploadUrl();
    if (!parseUploadUrl(url, settings.upload, error)) return false;
    settings.upload.token = chosen[kToken.key];
    for (char c : settings.upload.token)
        if (!isVisibleAscii(c))
            return fail(error, "upload_token: only printable ASCII without spaces is allowed");
    settings.upload.caFile = chosen[kCaFile.key];
    std::string certificates;
    if (!settings.upload.caFile.empty() && settings.upload.scheme == "https" &&
        readWholeFile(settings.upload.caFile, certificates) != FileRead::kRead)
        return fail(error, "ca_file: cannot read " + quoted(settings.upload.caFile));
    return !chosen.count(kHistory.key) ||
           parseHistory(chosen[kHistory.key], settings.history, error);
}
