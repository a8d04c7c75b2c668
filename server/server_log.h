// The log: one line per request and a line for each event worth an operator's attention, on
// standard error, where systemd's journal or a terminal picks them up. Every line is written
// with a single write() so that lines from different workers never interleave.
#pragma once

#include <chrono>
#include <string>

// "2024-05-01T12:34:56.789Z"
std::string formatUtcTime(std::chrono::system_clock::time_point when);

// Client-supplied text made safe for one log line: bytes outside printable ASCII and the
// backslash become \xHH, so a request cannot forge lines or terminal escapes.
std::string sanitizeForLog(const std::string& text);

// The request target as logged: deletion tokens are secrets, so "/delete/NAME/TOKEN" keeps
// only its name.
std::string redactTarget(const std::string& target);

struct RequestLogEntry {
    std::chrono::system_clock::time_point when;
    std::string client;
    std::string method;
    std::string target;
    std::string version;
    int status = 0;
    unsigned long long bodyBytes = 0;
    std::chrono::microseconds duration{0};
    std::string note;  // e.g. the stored name of an upload
};

// TIME CLIENT "METHOD TARGET VERSION" STATUS BYTES DURATIONms [NOTE]
std::string formatRequestLine(const RequestLogEntry& entry);

// Writes `line` and a line break to standard error.
void writeLogLine(const std::string& line);

// TIME glimmerix-server: TEXT
void logMessage(const std::string& text);
