// The workflow library on disk: one folder of JSON files, one file per workflow, named after the
// workflow. Every load is guarded (inside the library before and after resolving links, a regular
// file, at most 2 MB, decodes, validates); every write is atomic, so a failed save never damages
// the file it would have replaced.
//
// Stateless apart from the change callback: the folder is chosen again on every call, so a change
// of VEDEVAVE_WORKFLOWS_DIR or of the filesystem takes effect at once. Meant for the main thread;
// nothing is cached, so other threads may call too.
#pragma once

#include "VedevaveApp/Workflows/Workflow.h"
#include "VedevaveApp/Workflows/WorkflowStoreError.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace VedevaveApp::WorkflowStore {

// Largest encoded workflow and largest file that is read.
inline constexpr std::uintmax_t maximumFileBytes = 2'097'152;
inline constexpr std::size_t maximumListedFiles = 512;
inline constexpr std::size_t maximumFileNameCharacters = 120;
// File systems take names of at most 255 bytes; the stem stays well inside with ".json" added.
inline constexpr std::size_t maximumFileNameStemBytes = 240;
// How far above the running executable the source tree's top-level build file is looked for.
inline constexpr int developmentSearchDepth = 12;

// "home", "lock", "apps", "cc", "volume-up", "volume-down", "mute".
const std::set<std::string, std::less<>>& allowedButtons();

// The library folder, created (with its parents) if missing; a failure to create it is ignored.
// VEDEVAVE_WORKFLOWS_DIR when set; else the source tree's "Workflows" folder when running from a
// build inside it; else "Vedevave/Workflows" in the user's documents folder.
std::filesystem::path directory();
// The "Workflows" folder of the first of up to 12 folders, from `start` upward, that holds this
// project's top-level CMakeLists.txt; absent when there is none.
std::optional<std::filesystem::path> developmentDirectory(const std::filesystem::path& start);
// The same, starting from the folder of the running executable.
std::optional<std::filesystem::path> developmentDirectory();

// The file name of a workflow: the trimmed name with "/" and ":" (and control characters) replaced
// by "-", a leading "." replaced too so that the file is never hidden, cut to 120 characters (and
// 240 bytes), plus ".json"; "Workflow.json" when nothing is left.
std::string fileName(std::string_view workflowName);
// The file of a workflow name in the library.
std::filesystem::path url(std::string_view workflowName);

// The library's workflow files, newest first, at most 512; hidden files, folders and files not
// ending in ".json" (any case) are skipped. Never fails: an unreadable library lists nothing.
std::vector<std::filesystem::path> list();

// The resolved location of `file` when it may be loaded; throws WorkflowStoreError::importBlocked
// (outside the library, before or after resolving links) or invalidFile (a symbolic link).
std::filesystem::path validatedManagedFileURL(const std::filesystem::path& file);

// Throws WorkflowStoreError, WorkflowDecodingError or std::filesystem::filesystem_error.
Workflow load(const std::filesystem::path& file);
// Validates, then writes atomically to url(workflow.name); calls the change callback. Returns the
// file. Throws like `load`; a failed save leaves the earlier file of that name as it was.
std::filesystem::path save(const Workflow& workflow);
// Copies the named library workflow to `destination`: that file when its extension is ".json" (any
// case), otherwise the workflow's file name inside that folder (created if missing). Atomic.
// Returns the written file.
std::filesystem::path exportWorkflow(std::string_view workflowName, const std::filesystem::path& destination);

// The validity rules in order; throws WorkflowStoreError (invalidWorkflow, tooManySteps or
// invalidStep with the number of the first bad step).
void validate(const Workflow& workflow);

// Called after every successful save, on the saving thread. Replaces any earlier callback; an empty
// function removes it.
void setOnLibraryChanged(std::function<void()> callback);

// Writes `bytes` to `file` through a temporary file in the same folder and a rename. Throws
// std::filesystem::filesystem_error and leaves `file` untouched on failure.
void writeAtomically(const std::filesystem::path& file, std::string_view bytes);

} // namespace VedevaveApp::WorkflowStore
