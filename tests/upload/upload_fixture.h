// Shared ground for the upload tests: each test runs in a fresh working directory (the capture
// files and dump.txt live there), with a headless editor window, a fresh headless clipboard and
// the client's connection settings reset. The screen is read back as text, glyph by glyph.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/app.h"
#include "desktop/clipboard_headless.h"
#include "screen/draw.h"
#include "screen/screen.h"
#include "screen/window_headless.h"
#include "upload/upload_client.h"

class UploadTest : public ::testing::Test {
  protected:
    // 60 text columns and 25 rows.
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 200;
    // What the editor frame left on the screen, so that the band's wiping shows.
    static constexpr std::uint32_t kEditorFill = 0xFF203040;
    static constexpr const char* kClipboardBefore = "what the user copied before";

    void SetUp() override;
    void TearDown() override;

    static void writeFile(const std::string& name, const std::string& bytes);
    static std::string readFile(const std::string& name);
    static bool fileExists(const std::string& name);

    Program program;

  private:
    std::filesystem::path previousDirectory_;
    std::filesystem::path directory_;
};

// The text of console row `row` (counted from 1) as drawn in `colour`, with each cell read back
// as the printable character whose glyph it shows ('?' for none) and trailing spaces dropped.
std::string consoleRow(int row, std::uint32_t colour);

// True when every pixel of the top 25 rows is either black or `textColour`: the status band
// wiped whatever the editor left there.
bool statusBandIsClean(std::uint32_t textColour);

// The text that would sit at `column` (from 1) of a row: the cells before it blank.
std::string atColumn(int column, const std::string& text);
