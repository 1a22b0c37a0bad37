#include "Platform/Paths.h"
#include "Platform/PreferenceStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class PreferenceFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("vedevave-prefs-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        file = folder / "nested" / "preferences.json";
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
    fs::path file;
};

TEST_F(PreferenceFileTest, ValuesSurviveAndAreSeenByAnotherInstance) {
    Platform::FilePreferenceStore writer(file);
    writer.setValue("vedevave.showTouches", false);
    writer.setValue("vedevave.captureFPS", 60);
    writer.setValue("vedevave.keyboardPhone", "fr");

    Platform::FilePreferenceStore reader(file);
    EXPECT_EQ(reader.boolValue("vedevave.showTouches"), false);
    EXPECT_EQ(reader.integerValue("vedevave.captureFPS"), 60);
    EXPECT_EQ(reader.stringValue("vedevave.keyboardPhone"), "fr");
    EXPECT_FALSE(reader.stringValue("vedevave.captureFPS")); // wrong type reads as absent

    writer.removeValue("vedevave.captureFPS");
    writer.setValue("vedevave.keyboardPhone", "de");
    EXPECT_FALSE(reader.integerValue("vedevave.captureFPS")); // the reader notices the replacement
    EXPECT_EQ(reader.stringValue("vedevave.keyboardPhone"), "de");
}

TEST_F(PreferenceFileTest, UnreadableFileIsKeptAsideAndDefaultsApply) {
    fs::create_directories(file.parent_path());
    for (const std::string& garbage : {std::string("{\"half\": "), std::string("[1, 2]")}) {
        std::ofstream(file) << garbage;
        Platform::FilePreferenceStore store(file);
        EXPECT_FALSE(store.value("anything"));
        store.setValue("vedevave.setupChecklistSeen", true);
        EXPECT_EQ(Platform::FilePreferenceStore(file).boolValue("vedevave.setupChecklistSeen"), true);
    }
    int asideCount = 0;
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
        if (entry.path().filename().string().find(".unreadable-") != std::string::npos) {
            ++asideCount;
        }
    }
    EXPECT_GE(asideCount, 1); // the two may share one timestamp; at least one copy survives
}

TEST_F(PreferenceFileTest, ConcurrentWritersFromSeveralStoresLoseNothing) {
    constexpr int writers = 4;
    constexpr int keysEach = 25;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            Platform::FilePreferenceStore store(file); // as if another process
            for (int k = 0; k < keysEach; ++k) {
                store.setValue("key." + std::to_string(w) + "." + std::to_string(k), k);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    Platform::FilePreferenceStore check(file);
    for (int w = 0; w < writers; ++w) {
        for (int k = 0; k < keysEach; ++k) {
            EXPECT_EQ(check.integerValue("key." + std::to_string(w) + "." + std::to_string(k)), k);
        }
    }
}

TEST(Paths, UserDirectoryEntries) {
    const std::string text = "# comment\n"
                             "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"
                             "XDG_DOCUMENTS_DIR=\"/data/docs\"\n"
                             "XDG_MUSIC_DIR=\"$HOME\"\n"
                             "XDG_VIDEOS_DIR=relative\n";
    EXPECT_EQ(Platform::Paths::userDirectoryEntry(text, "XDG_DESKTOP_DIR", "/home/u"), "/home/u/Bureau");
    EXPECT_EQ(Platform::Paths::userDirectoryEntry(text, "XDG_DOCUMENTS_DIR", "/home/u"), "/data/docs");
    EXPECT_EQ(Platform::Paths::userDirectoryEntry(text, "XDG_MUSIC_DIR", "/home/u"), "/home/u");
    EXPECT_EQ(Platform::Paths::userDirectoryEntry(text, "XDG_VIDEOS_DIR", "/home/u"), "");
    EXPECT_EQ(Platform::Paths::userDirectoryEntry(text, "XDG_PICTURES_DIR", "/home/u"), "");
}

} // namespace
