#include "app/upload_history.h"

#include "app/user_files.h"

namespace {

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The field as it may stand in a tab-separated line, or "" when it cannot.
std::string field(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isWhite(text[begin])) ++begin;
    while (end > begin && isWhite(text[end - 1])) --end;
    for (std::size_t i = begin; i < end; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c <= ' ' || c >= 0x7F) return "";
    }
    return text.substr(begin, end - begin);
}

}  // namespace

std::string historyLine(std::time_t when, const std::string& link, const std::string& deleteUrl) {
    std::string linkField = field(link);
    std::string deleteField = field(deleteUrl);
    // gmtime's shared result is safe here: only the program's own thread formats times.
    const std::tm* utc = std::gmtime(&when);
    char time[32];
    if (linkField.empty() || !utc || !std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", utc))
        return "";
    return std::string(time) + "\t" + linkField + "\t" + (deleteField.empty() ? "-" : deleteField) +
           "\n";
}

bool appendUploadHistory(const std::string& file, std::time_t when, const std::string& link,
                         const std::string& deleteUrl) {
    std::string line = historyLine(when, link, deleteUrl);
    return !line.empty() && appendPrivateFile(file, line);
}
