// Reading the upload service's answer: an HTTP response whose body is the link.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Answers longer than this are refused rather than held in memory without bound; a link is a
// few dozen bytes.
constexpr std::string::size_type kMaxAnswerBytes = 64 * 1024;

// Links longer than this are refused: no service hands out such links, and a long text is the
// easiest place to hide something for a paste to run.
constexpr std::string::size_type kMaxLinkBytes = 2048;

// The text after the last "\r\n\r\n", untrimmed. Without one, the answer from its fourth byte
// on (the empty text for three bytes or fewer).
std::string extractLink(const std::string& answer);

// True when a Content-Length header promises more body bytes than arrived (or is no number):
// the answer was cut off on its way, and so may be its link. `answer` is the bytes as received.
bool answerIsCutOff(const std::string& answer);

// True when the answer's head has ended and a Content-Length header's promise has been kept:
// nothing more is to come, whatever happens to the connection then.
bool answerIsWhole(const std::string& answer);

// The link to put on the clipboard, or "" when the answer holds none. The status line must be
// "HTTP/<version> 2xx" and the headers must end; the extracted link, less trailing spaces, tabs,
// CR and LF, must pass isStrictLink. Anything else on the clipboard could be pasted into a
// terminal or a browser with effects the user never chose.
std::string acceptedLink(const std::string& answer);

// A web link in the plainest syntax: "http" or "https" in any case, "://", a host (a DNS name of
// letters, digits and hyphens in labels of 1 to 63 without a hyphen at either end, a dotted IPv4
// address or a bracketed IPv6 address), an optional port 1 to 65535, then optionally a path,
// query and fragment of A-Z a-z 0-9 - . _ ~ / ? # & = + , : @ % with every % followed by two hex
// digits; 1 to kMaxLinkBytes bytes in all. No user information: what a browser takes for the
// host must be what the user sees first.
bool isStrictLink(const std::string& link);

// "HTTP " + the status code + " " + the reason when the answer starts with a whole status line
// whose code is not 2xx (the reason cut to printable ASCII and 60 bytes); "" otherwise.
std::string refusalLine(const std::string& answer);

// The header lines of the answer's head as name and value, the value without surrounding spaces
// and tabs; none when the head has not ended.
std::vector<std::pair<std::string, std::string>> answerHeaders(const std::string& answer);

// Header names compare without regard to case.
bool sameHeaderName(const std::string& a, const std::string& b);
