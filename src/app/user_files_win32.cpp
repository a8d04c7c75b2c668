// Settings and history files the Windows way: the roaming application data folder for the
// user's settings, ProgramData for the machine's. File names are UTF-8 inside the program and
// UTF-16 for Windows, so a user name outside the ANSI code page works too. The history file gets
// the ACL it inherits from the user's own working folder (%LOCALAPPDATA%\Glimmerix when started
// from the installer's shortcuts), which only that user and the system may read.
#include <shlobj.h>
#include <windows.h>

#include "app/settings.h"
#include "app/user_files.h"

namespace {

std::wstring wide(const std::string& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), length);
    return text;
}

std::string utf8(const wchar_t* text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return "";
    std::string bytes(std::size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), length, nullptr, nullptr);
    bytes.pop_back();  // the terminating zero
    return bytes;
}

std::string settingsPathIn(int folderId) {
    wchar_t folder[MAX_PATH];
    if (SHGetFolderPathW(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) return "";
    return utf8(folder) + "\\Glimmerix\\glimmerix.ini";
}

}  // namespace

bool readEnvironment(const char* name, std::string& value) {
    std::wstring wideName = wide(name);
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (length == 0) {
        // Set to nothing reads as length 0 too, but leaves no error behind.
        SetLastError(ERROR_SUCCESS);
        wchar_t empty[1];
        GetEnvironmentVariableW(wideName.c_str(), empty, 1);
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        return true;
    }
    std::wstring text(length, L'\0');
    GetEnvironmentVariableW(wideName.c_str(), text.data(), length);
    value = utf8(text.c_str());
    return true;
}

std::string userSettingsPath() {
    return settingsPathIn(CSIDL_APPDATA);
}
std::string machineSettingsPath() {
    return settingsPathIn(CSIDL_COMMON_APPDATA);
}

SettingsSources systemSettingsSources() {
    return {readEnvironment, userSettingsPath(), machineSettingsPath()};
}

FileRead readWholeFile(const std::string& path, std::string& bytes) {
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::kMissing
                                                                              : FileRead::kFailed;
    }
    bytes.clear();
    char buffer[4096];
    DWORD got = 0;
    BOOL ok;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return ok ? FileRead::kRead : FileRead::kFailed;
}

bool appendPrivateFile(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileW(wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
    return CloseHandle(file) && ok && written == text.size();
}
