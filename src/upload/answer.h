// Reading the upload service's answer: an HTTP response whose body is the link.
#pragma once

#include <string>

// Answers longer than this are refused rather than held in memory without bound; a link is a
// few dozen bytes.
constexpr std::string::size_type kMaxAnswerBytes = 64 * 1024;

// The text after the last "\r\n\r\n", untrimmed. Without one, the answer from its fourth byte
// on (the empty text for three bytes or fewer).
std::string extractLink(const std::string& answer);

// True when the answer's status line is "HTTP/<version> 2xx", the response carries a header end
// ("\r\n\r\n") and the link after it is not empty: only then is there a link to hand on.
bool answerHasLink(const std::string& answer);
