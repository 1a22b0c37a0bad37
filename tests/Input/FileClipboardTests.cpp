#include "Platform/Clipboard.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class FileClipboardTest : public ::testing::Test {
protected:
    FileClipboardTest() {
        directory = fs::temp_directory_path() / ("vedevave-clipboard-test-" + std::to_string(::getpid()));
        fs::remove_all(directory);
        fs::create_directories(directory);
    }
    ~FileClipboardTest() override {
        fs::remove_all(directory);
        ::unsetenv("VEDEVAVE_CLIPBOARD_FILE");
    }
    fs::path directory;
};

TEST_F(FileClipboardTest, WritesAtomicallyAndReadsBack) {
    ::setenv("VEDEVAVE_CLIPBOARD_FILE", (directory / "board.txt").c_str(), 1);
    Platform::FileClipboard clipboard;
    EXPECT_EQ(clipboard.readText(), std::nullopt); // nothing copied yet
    ASSERT_TRUE(clipboard.writeText("first"));
    ASSERT_TRUE(clipboard.writeText("Привет\n✓"));
    EXPECT_EQ(clipboard.readText(), "Привет\n✓");
    // Only the clipboard file remains: no temporary files are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), fs::directory_iterator()), 1);
}

TEST_F(FileClipboardTest, RefusesFilesThatAreNotText) {
    Platform::FileClipboard clipboard(directory / "board.txt");
    std::ofstream(directory / "board.txt", std::ios::binary) << "ok\xC3\x28";
    EXPECT_EQ(clipboard.readText(), std::nullopt);
    std::ofstream(directory / "board.txt", std::ios::binary) << "\xED\xA0\x80"; // a lone surrogate
    EXPECT_EQ(clipboard.readText(), std::nullopt);
}

TEST_F(FileClipboardTest, DefaultLocationIsAPrivateFolderOfTheRuntimeDirectory) {
    const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = oldRuntime ? oldRuntime : "";
    ::setenv("XDG_RUNTIME_DIR", directory.c_str(), 1);
    EXPECT_EQ(Platform::FileClipboard::defaultPath(), directory / "vedevave" / "clipboard.txt");
    Platform::FileClipboard clipboard;
    ASSERT_TRUE(clipboard.writeText("x"));
    EXPECT_EQ(fs::status(directory / "vedevave").permissions() & fs::perms::all, fs::perms::owner_all);
    oldRuntime ? ::setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
