#include "multipart_reader.h"

#include <algorithm>
#include <cctype>

namespace {

// Part headers are a few short lines; anything longer is not a form a client meant to send.
constexpr std::size_t kMaxPartHeaderBytes = 8 * 1024;
constexpr std::size_t kMaxBoundaryChars = 70;  // the limit MIME sets

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The value of parameter `key` in "type; key=value; key2=\"value\"", unquoted.
std::string parameter(std::string_view header, std::string_view key) {
    std::size_t start = header.find(';');
    while (start != std::string_view::npos) {
        std::size_t end = header.find(';', start + 1);
        std::string_view item = trim(header.substr(start + 1, end - start - 1));
        std::size_t equals = item.find('=');
        if (equals != std::string_view::npos &&
            equalsIgnoringCase(trim(item.substr(0, equals)), key)) {
            std::string_view value = trim(item.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            return std::string(value);
        }
        start = end;
    }
    return {};
}

}  // namespace

std::string multipartBoundary(std::string_view contentType) {
    std::string_view type = trim(contentType.substr(0, contentType.find(';')));
    if (!equalsIgnoringCase(type, "multipart/form-data")) return {};
    std::string boundary = parameter(contentType, "boundary");
    if (boundary.size() > kMaxBoundaryChars) return {};
    return boundary;
}

std::string dispositionName(std::string_view disposition) {
    return parameter(disposition, "name");
}

MultipartReader::MultipartReader(std::string boundary)
    : delimiter_("\r\n--" + boundary), pending_("\r\n") {
    // The first delimiter has no line break before it; the one put in front makes it look like
    // every later one.
    if (boundary.empty()) state_ = State::Malformed;
}

bool MultipartReader::feed(const char* data, std::size_t size, MultipartHandler& handler) {
    if (state_ == State::Malformed) return false;
    if (state_ == State::Done) return true;  // the epilogue means nothing
    pending_.append(data, size);
    while (step(handler)) {
    }
    return state_ != State::Malformed;
}

// One move of the state machine; false when it needs more bytes or has ended.
bool MultipartReader::step(MultipartHandler& handler) {
    switch (state_) {
        case State::Preamble:
        case State::Data: {
            std::size_t found = pending_.find(delimiter_);
            if (found == std::string::npos) {
                // Keep what could be the start of a delimiter cut in two by the network.
                std::size_t keep = std::min(pending_.size(), delimiter_.size() - 1);
                emitData(pending_.size() - keep, handler);
                return false;
            }
            emitData(found, handler);
            pending_.erase(0, delimiter_.size());
            state_ = State::AfterDelimiter;
            return true;
        }
        case State::AfterDelimiter:
            if (pending_.size() < 2) return false;
            if (pending_.compare(0, 2, "--") == 0) {
                state_ = State::Done;
                pending_.clear();
                return false;
            }
            if (pending_.compare(0, 2, "\r\n") != 0) {
                state_ = State::Malformed;
                return false;
            }
            pending_.erase(0, 2);
            state_ = State::Headers;
            return true;
        case State::Headers:
            return readHeaders(handler);
        case State::Done:
        case State::Malformed:
            return false;
    }
    return false;
}

bool MultipartReader::readHeaders(MultipartHandler& handler) {
    std::size_t end = pending_.compare(0, 2, "\r\n") == 0 ? 0 : pending_.find("\r\n\r\n");
    if (end == std::string::npos) {
        if (pending_.size() > kMaxPartHeaderBytes) state_ = State::Malformed;
        return false;
    }
    if (end > kMaxPartHeaderBytes) {
        state_ = State::Malformed;
        return false;
    }
    std::string name;
    std::string_view headers(pending_.data(), end);
    for (std::size_t start = 0; start < headers.size();) {
        std::size_t lineEnd = std::min(headers.find("\r\n", start), headers.size());
        std::string_view line = headers.substr(start, lineEnd - start);
        std::size_t colon = line.find(':');
        if (colon != std::string_view::npos &&
            equalsIgnoringCase(trim(line.substr(0, colon)), "Content-Disposition")) {
            name = dispositionName(line.substr(colon + 1));
        }
        start = lineEnd + 2;
    }
    pending_.erase(0, end == 0 ? 2 : end + 4);
    handler.beginPart(name);
    state_ = State::Data;
    return true;
}

void MultipartReader::emitData(std::size_t size, MultipartHandler& handler) {
    if (size == 0) return;
    if (state_ == State::Data) handler.partData(pending_.data(), size);
    pending_.erase(0, size);
}
