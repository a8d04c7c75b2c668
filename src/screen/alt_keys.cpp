#include "screen/alt_keys.h"

#include <cstring>

namespace {

// Each row of the keyboard runs on in scan-code order; the digit row's Alt codes start at 120.
struct KeyRow {
    const char* keys;
    int firstCode;
};
constexpr KeyRow kRows[] = {
    {"qwertyuiop", 16}, {"asdfghjkl", 30}, {"zxcvbnm", 44}, {"1234567890-=", 120}};

}  // namespace

int altKeyCode(int key) {
    if (key >= 'A' && key <= 'Z') key += 'a' - 'A';
    if (key <= 0 || key > 127) return kNoKeyCode;
    for (const KeyRow& row : kRows) {
        if (const char* at = std::strchr(row.keys, key))
            return (row.firstCode + int(at - row.keys)) << 8;
    }
    return kNoKeyCode;
}
