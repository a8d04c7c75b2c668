// Settings and history files the POSIX way: the XDG base directory for the user's settings,
// /etc for the machine's, and a history file that only its owner may read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "app/settings.h"
#include "app/user_files.h"

bool readEnvironment(const char* name, std::string& value) {
    const char* found = std::getenv(name);
    if (!found) return false;
    value = found;
    return true;
}

std::string userSettingsPath() {
    // XDG base directories are absolute: a relative XDG_CONFIG_HOME is ignored, as elsewhere.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/glimmerix/glimmerix.conf";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return "";
    return std::string(home) + "/.config/glimmerix/glimmerix.conf";
}

std::string machineSettingsPath() {
    return "/etc/glimmerix/glimmerix.conf";
}

SettingsSources systemSettingsSources() {
    return {readEnvironment, userSettingsPath(), machineSettingsPath()};
}

FileRead readWholeFile(const std::string& path, std::string& bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? FileRead::kMissing : FileRead::kFailed;
    bytes.clear();
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, std::size_t(got));
    close(fd);
    return got == 0 ? FileRead::kRead : FileRead::kFailed;
}

bool appendPrivateFile(const std::string& path, const std::string& text) {
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // One write, so that two programs appending at once cannot interleave within a line.
    bool whole = write(fd, text.data(), text.size()) == ssize_t(text.size());
    return close(fd) == 0 && whole;
}
