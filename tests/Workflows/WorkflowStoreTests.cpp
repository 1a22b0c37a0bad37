#include "VedevaveApp/Workflows/WorkflowStore.h"
#include "WorkflowTestSupport.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using namespace VedevaveApp;
namespace fs = std::filesystem;

Workflow sample(std::string name, std::size_t taps = 1) {
    Workflow workflow(std::move(name), {}, std::nullopt);
    for (std::size_t i = 0; i < taps; ++i) {
        workflow.steps.push_back(WorkflowStep::tap(0.25, 0.75));
    }
    return workflow;
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), {});
}

// The store error `load` throws, or absent.
std::optional<WorkflowStoreError::Kind> loadError(const fs::path& file) {
    try {
        (void)WorkflowStore::load(file);
    } catch (const WorkflowStoreError& error) {
        return error.kind();
    }
    return std::nullopt;
}

class WorkflowStoreTest : public ::testing::Test {
protected:
    WorkflowTestSupport::TemporaryLibrary library;
};

TEST_F(WorkflowStoreTest, FileNamesFollowTheTrimmedName) {
    const std::vector<std::pair<std::string, std::string>> names{
        {"  a/b:c \n", "a-b-c.json"},
        {" \t ", "Workflow.json"},
        {"Open Notes", "Open Notes.json"},
        {std::string(130, 'x'), std::string(120, 'x') + ".json"},
        // Not hidden (a listing would never show it) and no control characters in file names.
        {".profile", "-profile.json"},
        {"a\x01"
         "b",
         "a-b.json"},
    };
    for (const auto& [name, file] : names) {
        EXPECT_EQ(WorkflowStore::fileName(name), file) << name;
    }
    // 120 three-byte characters would exceed the file system's 255 bytes.
    std::string wide;
    for (int i = 0; i < 120; ++i) {
        wide += "\u6F22";
    }
    EXPECT_EQ(WorkflowStore::fileName(wide).size(), 80 * 3 + 5);
    EXPECT_EQ(WorkflowStore::url("x"), library.library() / "x.json");
}

TEST_F(WorkflowStoreTest, SaveLoadRoundTripAndNamesDifferingInSlashOrColonShareAFile) {
    int changes = 0;
    WorkflowStore::setOnLibraryChanged([&] { ++changes; });
    const auto first = WorkflowStore::save(sample("a/b", 1));
    const auto second = WorkflowStore::save(sample("a:b", 2));
    WorkflowStore::setOnLibraryChanged({});
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.filename(), "a-b.json");
    EXPECT_EQ(changes, 2);
    const Workflow loaded = WorkflowStore::load(first);
    EXPECT_EQ(loaded.name, "a:b");
    EXPECT_EQ(loaded.steps.size(), 2u);
    EXPECT_EQ(WorkflowStore::list(), std::vector<fs::path>{first});
}

TEST_F(WorkflowStoreTest, AnInvalidWorkflowIsNotSavedAndNothingIsAnnounced) {
    int changes = 0;
    WorkflowStore::setOnLibraryChanged([&] { ++changes; });
    Workflow invalid = sample("Bad");
    invalid.steps.push_back(WorkflowStep::button("screenshot"));
    try {
        WorkflowStore::save(invalid);
        ADD_FAILURE();
    } catch (const WorkflowStoreError& error) {
        EXPECT_EQ(error.description(), "Workflow step 2 is invalid or exceeds its safety limit.");
    }
    WorkflowStore::setOnLibraryChanged({});
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(fs::exists(WorkflowStore::url("Bad")));
}

TEST_F(WorkflowStoreTest, AFailedWriteLeavesTheEarlierFileIntact) {
    const auto file = WorkflowStore::save(sample("Keep", 1));
    const std::string before = readFile(file);
    // Writes beyond this many bytes fail with EFBIG (the signal would otherwise end the process).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit original{};
    ::getrlimit(RLIMIT_FSIZE, &original);
    rlimit small = original;
    small.rlim_cur = before.size() + 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        WorkflowStore::save(sample("Keep", 40));
    } catch (const fs::filesystem_error& error) {
        failed = true;
        EXPECT_EQ(error.code(), std::errc::file_too_large);
    }
    ::setrlimit(RLIMIT_FSIZE, &original);
    EXPECT_TRUE(failed);
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(WorkflowStore::load(file).steps.size(), 1u);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(library.library()), fs::directory_iterator()), 1);
}

TEST_F(WorkflowStoreTest, LoadRefusesLinksEscapesAndOversizedFiles) {
    const auto inside = WorkflowStore::save(sample("Inside"));
    fs::create_symlink(inside, library.library() / "link.json");
    writeFile(library.outside() / "outside.json", readFile(inside));
    fs::create_symlink(library.outside() / "outside.json", library.library() / "escape.json");
    fs::create_directories(library.library() / "sub");
    fs::create_symlink(library.outside(), library.library() / "sub" / "up");
    fs::create_directory(library.library() / "folder.json");

    using Kind = WorkflowStoreError::Kind;
    EXPECT_EQ(loadError(inside), std::nullopt);
    EXPECT_EQ(loadError(library.library() / "sub" / ".." / "Inside.json"), std::nullopt);
    EXPECT_EQ(loadError(library.library() / "link.json"), Kind::invalidFile);
    EXPECT_EQ(loadError(library.library() / "escape.json"), Kind::invalidFile);
    EXPECT_EQ(loadError(library.library() / ".." / "outside.json"), Kind::importBlocked);
    EXPECT_EQ(loadError(library.outside() / "outside.json"), Kind::importBlocked);
    EXPECT_EQ(loadError("/etc/passwd"), Kind::importBlocked);
    // A link in a folder above the file leads out of the library once resolved.
    EXPECT_EQ(loadError(library.library() / "sub" / "up" / "outside.json"), Kind::importBlocked);
    EXPECT_EQ(loadError(library.library() / "folder.json"), Kind::invalidFile);
    EXPECT_THROW((void)WorkflowStore::load(library.library() / "missing.json"), fs::filesystem_error);

    // Exactly 2 MB loads (padding after the object is white space); one byte more does not.
    std::string text = readFile(inside);
    text.resize(WorkflowStore::maximumFileBytes, ' ');
    writeFile(library.library() / "big.json", text);
    EXPECT_EQ(loadError(library.library() / "big.json"), std::nullopt);
    text.push_back(' ');
    writeFile(library.library() / "big.json", text);
    EXPECT_EQ(loadError(library.library() / "big.json"), Kind::fileTooLarge);
}

TEST_F(WorkflowStoreTest, MalformedFilesAreRefusedWhole) {
    writeFile(library.library() / "broken.json",
              R"({"name":"x","version":1,"createdAt":"2026-03-01T14:05:09Z",)");
    EXPECT_THROW((void)WorkflowStore::load(library.library() / "broken.json"), WorkflowDecodingError);
    writeFile(library.library() / "kind.json",
              R"({"name":"x","version":1,"createdAt":"2026-03-01T14:05:09Z","steps":[{"kind":"fly"}]})");
    EXPECT_THROW((void)WorkflowStore::load(library.library() / "kind.json"), WorkflowDecodingError);
    writeFile(
        library.library() / "limits.json",
        R"({"name":"x","version":1,"createdAt":"2026-03-01T14:05:09Z","steps":[{"kind":"wait","ms":70000}]})");
    EXPECT_EQ(loadError(library.library() / "limits.json"), WorkflowStoreError::Kind::invalidStep);
    ::mkfifo((library.library() / "pipe.json").c_str(), 0600);
    EXPECT_EQ(loadError(library.library() / "pipe.json"), WorkflowStoreError::Kind::invalidFile);
}

TEST_F(WorkflowStoreTest, ListingIsNewestFirstCappedAndSkipsHiddenAndOtherFiles) {
    const std::string text = encodeWorkflow(sample("x"));
    const auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < 600; ++i) {
        const auto file = library.library() / ("w" + std::to_string(i) + (i % 7 == 0 ? ".JSON" : ".json"));
        writeFile(file, text);
        fs::last_write_time(file, now - std::chrono::hours(600 - i));
    }
    writeFile(library.library() / ".hidden.json", text);
    writeFile(library.library() / "notes.txt", text);
    writeFile(library.library() / "json", text);
    const auto listed = WorkflowStore::list();
    ASSERT_EQ(listed.size(), 512u);
    EXPECT_EQ(listed.front().filename(), "w599.json");
    EXPECT_EQ(listed.back().filename(), "w88.json");
    EXPECT_EQ(listed[4].filename(), "w595.JSON");

    Platform::Environment::set("VEDEVAVE_WORKFLOWS_DIR", "/proc/self/no-such/folder");
    EXPECT_TRUE(WorkflowStore::list().empty());
}

TEST_F(WorkflowStoreTest, ExportWritesToAJsonFileOrIntoAFolder) {
    WorkflowStore::save(sample(" Trip: 1 "));
    const auto folder = library.outside() / "exports";
    const auto intoFolder = WorkflowStore::exportWorkflow(" Trip: 1 ", folder);
    EXPECT_EQ(intoFolder, folder / "Trip- 1.json");
    EXPECT_EQ(readFile(intoFolder), readFile(WorkflowStore::url("Trip: 1")));
    const auto asFile = WorkflowStore::exportWorkflow("Trip: 1", library.outside() / "Copy.JSON");
    EXPECT_EQ(asFile, library.outside() / "Copy.JSON");
    EXPECT_EQ(decodeWorkflow(readFile(asFile)).name, " Trip: 1 ");
    EXPECT_THROW(WorkflowStore::exportWorkflow("Missing", folder), fs::filesystem_error);
}

TEST(WorkflowLibraryDirectory, EnvironmentThenSourceTreeThenDocuments) {
    const auto root = fs::temp_directory_path() / ("vdv-devdir-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const auto deep = root / "tree" / "build" / "a" / "b" / "c";
    fs::create_directories(deep);
    writeFile(root / "tree" / "CMakeLists.txt", "cmake_minimum_required(VERSION 3.25)\nproject(Vedevave)\n");
    writeFile(root / "tree" / "build" / "CMakeLists.txt", "project(Other)\n");
    EXPECT_EQ(WorkflowStore::developmentDirectory(deep), root / "tree" / "Workflows");
    // Twelve folders are examined: the executable's and eleven above it.
    auto tooDeep = root / "tree";
    for (int i = 0; i < 12; ++i) {
        tooDeep /= "d";
    }
    fs::create_directories(tooDeep);
    EXPECT_EQ(WorkflowStore::developmentDirectory(tooDeep.parent_path()), root / "tree" / "Workflows");
    EXPECT_EQ(WorkflowStore::developmentDirectory(tooDeep), std::nullopt);
    EXPECT_EQ(WorkflowStore::developmentDirectory("/"), std::nullopt);

    Platform::Environment::set("VEDEVAVE_WORKFLOWS_DIR", (root / "env" / "lib").string());
    EXPECT_EQ(WorkflowStore::directory(), root / "env" / "lib");
    EXPECT_TRUE(fs::is_directory(root / "env" / "lib"));
    Platform::Environment::unset("VEDEVAVE_WORKFLOWS_DIR");
    // These tests run from a build inside the source tree.
    EXPECT_EQ(WorkflowStore::directory(), fs::path(VEDEVAVE_EXAMPLE_WORKFLOWS));
    fs::remove_all(root);
}

TEST(WorkflowLibraryExamples, TheRepositoryExamplesAreValid) {
    Platform::Environment::set("VEDEVAVE_WORKFLOWS_DIR", VEDEVAVE_EXAMPLE_WORKFLOWS);
    const auto files = WorkflowStore::list();
    EXPECT_GE(files.size(), 1u);
    for (const auto& file : files) {
        EXPECT_NO_THROW((void)WorkflowStore::load(file)) << file;
    }
    Platform::Environment::unset("VEDEVAVE_WORKFLOWS_DIR");
}

} // namespace
