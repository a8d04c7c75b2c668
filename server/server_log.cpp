#include "server_log.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

std::string formatUtcTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    std::time_t seconds = system_clock::to_time_t(when);
    auto millis = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    return text;
}

std::string sanitizeForLog(const std::string& text) {
    std::string safe;
    safe.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '\\' || c == '"') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            safe += escaped;
        } else {
            safe += static_cast<char>(c);
        }
    }
    return safe;
}

std::string redactTarget(const std::string& target) {
    const std::string prefix = "/delete/";
    if (target.compare(0, prefix.size(), prefix) != 0) return target;
    std::size_t tokenStart = target.find('/', prefix.size());
    if (tokenStart == std::string::npos) return target;
    return target.substr(0, tokenStart + 1) + "...";
}

std::string formatRequestLine(const RequestLogEntry& entry) {
    char figures[96];
    std::snprintf(figures, sizeof figures, " %d %llu %.1fms", entry.status, entry.bodyBytes,
                  static_cast<double>(entry.duration.count()) / 1000.0);
    std::string line = formatUtcTime(entry.when) + " " + sanitizeForLog(entry.client) + " \"" +
                       sanitizeForLog(entry.method) + " " +
                       sanitizeForLog(redactTarget(entry.target)) + " " +
                       sanitizeForLog(entry.version) + "\"" + figures;
    if (!entry.note.empty()) line += " " + sanitizeForLog(entry.note);
    return line;
}

// Ends the current second if `now` is past it; returns the lines it held back.
std::uint64_t LogRateLimit::closeSecond(Clock::time_point now) {
    if (started_ && now - secondStart_ < std::chrono::seconds(1)) return 0;
    std::uint64_t heldBack = heldBack_;
    started_ = false;
    written_ = 0;
    heldBack_ = 0;
    return heldBack;
}

bool LogRateLimit::admit(Clock::time_point now, std::uint64_t* heldBack) {
    std::lock_guard<std::mutex> lock(mutex_);
    *heldBack = closeSecond(now);
    if (!started_) {
        started_ = true;
        secondStart_ = now;
    }
    if (written_ < perSecond_) {
        ++written_;
        return true;
    }
    ++heldBack_;
    return false;
}

std::uint64_t LogRateLimit::takeHeldBack(Clock::time_point now) {
    std::lock_guard<std::mutex> lock(mutex_);
    return closeSecond(now);
}

std::string heldBackMessage(std::uint64_t heldBack, std::size_t perSecond) {
    return std::to_string(heldBack) + " request lines not logged (over " +
           std::to_string(perSecond) + " a second)";
}

void writeLogLine(const std::string& line) {
    std::string withBreak = line + "\n";
    const char* data = withBreak.data();
    std::size_t left = withBreak.size();
    while (left > 0) {
        ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written <= 0) return;  // nowhere to report a broken log
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

void logMessage(const std::string& text) {
    writeLogLine(formatUtcTime(std::chrono::system_clock::now()) + " glimmerix-server: " + text);
}
