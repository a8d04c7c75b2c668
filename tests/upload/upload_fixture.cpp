#include "upload_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "screen/draw.h"
#include "screen/font.h"
#include "screen/screen_state.h"

namespace {

std::uint32_t pixelAt(const ScreenState& s, int x, int y) {
    return s.pixels[std::size_t(y) * std::size_t(s.width) + std::size_t(x)];
}

char readCell(const ScreenState& s, int row, int column, std::uint32_t colour) {
    std::uint8_t bits[8];
    for (int r = 0; r < 8; ++r) {
        bits[r] = 0;
        for (int c = 0; c < 8; ++c)
            if (pixelAt(s, (column - 1) * 8 + c, (row - 1) * 8 + r) == colour) bits[r] |= 0x80 >> c;
    }
    for (int code = 32; code < 127; ++code) {
        bool same = true;
        for (int r = 0; r < 8 && same; ++r) same = glyphRow(code, r) == bits[r];
        if (same) return char(code);
    }
    return '?';
}

}  // namespace

void UploadTest::SetUp() {
    previousDirectory_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "glimmerix-upload-XXXXXX");
    ASSERT_NE(nullptr, mkdtemp(&pattern[0]));
    directory_ = pattern;
    std::filesystem::current_path(directory_);

    ASSERT_EQ(0, setScreenMode(kWidth, kHeight, 32, 0, kBorderless, 0));
    while (!readKey().empty()) {
    }
    drawLine(nullptr, 0, 0, kWidth, kHeight, kEditorFill, kFilledBox, kSolid, kAbsolute);
    setTextColour(0xFFFFFFFF, 0xFF000000);
    setWindowTitle("editor");

    uploadConnection() = UploadConnection{};
    uploadConnection().timeoutMs = 3000;
    headlessClipboard() = HeadlessClipboard{};
    headlessClipboard().text = kClipboardBefore;
    program.work = WorkArea{kWidth, kHeight};
}

void UploadTest::TearDown() {
    uploadConnection() = UploadConnection{};
    std::filesystem::current_path(previousDirectory_);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

void UploadTest::writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream file(name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string UploadTest::readFile(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool UploadTest::fileExists(const std::string& name) {
    return std::filesystem::exists(name);
}

std::string consoleRow(int row, std::uint32_t colour) {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    std::string text;
    for (int column = 1; column <= s.width / 8; ++column) text += readCell(s, row, column, colour);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

bool statusBandIsClean(std::uint32_t textColour) {
    ScreenState& s = screenState();
    std::lock_guard<std::mutex> guard(s.lock);
    for (int y = 0; y <= 24; ++y)
        for (int x = 0; x < s.width; ++x) {
            std::uint32_t pixel = pixelAt(s, x, y);
            if (pixel != 0xFF000000 && pixel != textColour) return false;
        }
    return true;
}

std::string atColumn(int column, const std::string& text) {
    return std::string(std::size_t(column - 1), ' ') + text;
}
