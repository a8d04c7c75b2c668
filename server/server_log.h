// The log: one line per request and a line for each event worth an operator's attention, on
// standard error, where systemd's journal or a terminal picks them up. Every line is written
// with a single write() so that lines from different workers never interleave.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
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

// Caps the request lines written per second, so that a flood of requests cannot turn into a flood
// of log (a pipelined flood once wrote 3.5 million lines in 30 s). Each second, counted from the
// first line of the second, lets `perSecond` lines through; the lines held back are counted and
// reported once that second is over. Time is passed in, so tests need no clock of their own.
class LogRateLimit {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LogRateLimit(std::size_t perSecond) : perSecond_(perSecond) {}

    // Whether a request line at `now` may be written. `heldBack` gets the number of lines held
    // back in the second before, to be reported first (0: nothing to report).
    bool admit(Clock::time_point now, std::uint64_t* heldBack);

    // The number of lines held back in a second that is over by `now`, once (0 otherwise): for
    // a flood that ended, when no new line comes to carry the report.
    std::uint64_t takeHeldBack(Clock::time_point now);

  private:
    std::uint64_t closeSecond(Clock::time_point now);

    const std::size_t perSecond_;
    std::mutex mutex_;
    Clock::time_point secondStart_{};
    std::size_t written_ = 0;
    std::uint64_t heldBack_ = 0;
    bool started_ = false;
};

// "N request lines not logged (over M a second)"
std::string heldBackMessage(std::uint64_t heldBack, std::size_t perSecond);

// Writes `line` and a line break to standard error.
void writeLogLine(const std::string& line);

// TIME glimmerix-server: TEXT
void logMessage(const std::string& text);
