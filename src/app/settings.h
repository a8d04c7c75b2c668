// The program's settings: where uploads go, the token they carry, extra certificates to trust
// for https, and whether a history of uploads is kept. Each is looked up on its own, first found
// wins: the environment, the user's file, the machine's file, the build default. They are read
// afresh for every upload, so an edited file counts from the next upload on.
//
// Files hold "key = value" lines, whole-line comments starting with "#" or ";", blank lines and
// an optional "[glimmerix]" section header (keys under any other section are not ours); UTF-8
// with or without a BOM, CRLF or LF line ends. Unknown keys are ignored; an empty value means the
// build default, so a user's file can undo a machine's setting.
#pragma once

#include <functional>
#include <string>

#include "upload/upload_settings.h"

constexpr const char* kHistoryFile = "uploads.tsv";

struct Settings {
    UploadSettings upload;
    bool history = false;  // append each upload's links to kHistoryFile
};

// Where settings come from besides the build default. Tests bring their own; the program's are
// systemSettingsSources().
struct SettingsSources {
    // True with the variable's UTF-8 value when it is set (also when set to nothing).
    std::function<bool(const char* name, std::string& value)> environment;
    std::string userFile;  // empty when the user has no settings folder
    std::string machineFile;
};

// This machine's environment and files: on Linux $XDG_CONFIG_HOME/glimmerix/glimmerix.conf
// (~/.config/... without it) and /etc/glimmerix/glimmerix.conf; on Windows
// %APPDATA%\Glimmerix\glimmerix.ini and %ProgramData%\Glimmerix\glimmerix.ini.
SettingsSources systemSettingsSources();

// "http://" + the build's upload host + "/api.php": where uploads go without settings.
std::string defaultUploadUrl();

// Looks up every setting and checks it. True with `settings` filled; false with `error` holding
// one line that names the setting (or the file) and what is wrong with it, such as
// `upload_url: unknown scheme "ftp"`. The token's value never appears in an error.
bool loadSettings(const SettingsSources& sources, Settings& settings, std::string& error);
