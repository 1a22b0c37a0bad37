// The standard folders of the desktop, following the XDG base-directory and user-directory rules.
// Any thread may call; nothing is created unless the name says so.
#pragma once

#include <filesystem>

namespace Platform::Paths {

std::filesystem::path home();
// $XDG_CONFIG_HOME/vedevave (default ~/.config/vedevave)
std::filesystem::path configDirectory();
// $XDG_DATA_HOME/vedevave (default ~/.local/share/vedevave)
std::filesystem::path dataDirectory();
// The user's documents and desktop folders from user-dirs.dirs (defaults ~/Documents, ~/Desktop).
std::filesystem::path documentsDirectory();
std::filesystem::path desktopDirectory();
// $XDG_RUNTIME_DIR when set, else the temporary folder.
std::filesystem::path runtimeDirectory();
// $TMPDIR or /tmp.
std::filesystem::path temporaryDirectory();

// Reads one entry (e.g. "XDG_DOCUMENTS_DIR") of a user-dirs.dirs text; "$HOME" is expanded.
// Empty when the entry is missing or malformed.
std::filesystem::path userDirectoryEntry(const std::string& fileText, const std::string& key,
                                         const std::filesystem::path& home);

} // namespace Platform::Paths
