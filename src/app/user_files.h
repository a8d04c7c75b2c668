// The platform's side of settings and history: the environment, where the settings files are,
// and reading and appending files whose names are UTF-8 on every platform
// (user_files_posix.cpp, user_files_win32.cpp).
#pragma once

#include <string>

// True with the variable's value (UTF-8) when it is set.
bool readEnvironment(const char* name, std::string& value);

// The user's and the machine's settings file; empty when there is no such folder.
std::string userSettingsPath();
std::string machineSettingsPath();

enum class FileRead { kRead, kMissing, kFailed };

// Reads the whole file into `bytes`. kMissing when there is no such file; kFailed when it
// exists but cannot be read (no permission, a folder).
FileRead readWholeFile(const std::string& path, std::string& bytes);

// Appends `text` to the file, creating it readable and writable by the user only. False when
// the file cannot be opened or the whole text cannot be written.
bool appendPrivateFile(const std::string& path, const std::string& text);
