// The upload history: one line per upload whose link reached the clipboard, so that a user can
// find a picture's deletion URL later and take back what they regret publishing.
#pragma once

#include <ctime>
#include <string>

// The history line for an upload at `when`: the UTC time as ISO 8601, the link and the deletion
// URL (or "-" when the answer had none), tab-separated, ending in "\n". Both come from the
// network, so each is cut to its text between surrounding white space and must then be printable
// ASCII without spaces: a deletion URL that is not becomes "-", a link that is not gives "" (no
// line), as a mangled link is no use in a history.
std::string historyLine(std::time_t when, const std::string& link, const std::string& deleteUrl);

// Appends historyLine(when, ...) to `file`, created readable by the user only. False when there
// is no line to write or the file cannot take it; the upload has succeeded all the same.
bool appendUploadHistory(const std::string& file, std::time_t when, const std::string& link,
                         const std::string& deleteUrl);
