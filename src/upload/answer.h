// Reading the upload service's answer: an HTTP response whose body is the link.
#pragma once

#include <string>

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

// The link to put on the clipboard, or "" when the answer holds none. The status line must be
// "HTTP/<version> 2xx" and the headers must end; the extracted link, less trailing spaces, tabs,
// CR and LF, must be 1 to kMaxLinkBytes of printable ASCII (33 to 126) starting with "http://"
// or "https://" in any case, with a host after it. Anything else on the clipboard could be
// pasted into a terminal or a browser with effects the user never chose.
std::string acceptedLink(const std::string& answer);
