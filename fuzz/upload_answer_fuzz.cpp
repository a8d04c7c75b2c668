// The upload service's answer, as the network delivers it: whatever the bytes, a link that is
// accepted must be one that is safe to put on the clipboard.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "upload/answer.h"

namespace {

bool startsWithFolded(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i) {
        char c = i < text.size() ? text[i] : '\0';
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    const std::string link = extractLink(answer);
    if (link.size() > answer.size()) std::abort();
    (void)answerIsCutOff(answer);
    (void)answerIsWhole(answer);
    (void)answerHeaders(answer);
    for (char c : refusalLine(answer))
        if (c < 32 || c > 126) std::abort();
    const std::string accepted = acceptedLink(answer);
    if (accepted.empty()) return 0;
    if (accepted.size() > kMaxLinkBytes) std::abort();
    for (char c : accepted)
        if (c < 33 || c > 126) std::abort();
    if (!startsWithFolded(accepted, "http://") && !startsWithFolded(accepted, "https://"))
        std::abort();
    if (link.compare(0, accepted.size(), accepted) != 0) std::abort();
    return 0;
}
