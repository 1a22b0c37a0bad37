// Handing URLs and files to the desktop: the default browser, the file's application, the folder
// view. Any thread may call; the helper program runs detached and is reaped in the background.
#pragma once

#include <filesystem>
#include <string>

namespace Platform::Workspace {

// Each returns false, after one diagnostic line, when the opener could not be started (for example
// when xdg-open is not installed). They never wait for the opened application.
bool openURL(const std::string& url);
bool openFile(const std::filesystem::path& file);
// Opens the folder that contains `file`.
bool revealFile(const std::filesystem::path& file);

} // namespace Platform::Workspace
