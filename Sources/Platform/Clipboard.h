// The host's general clipboard, plain text only. In the desktop interface the Qt clipboard
// implements it; headless, and until the interface installs its own, the clipboard is a file that
// the simulated phone pastes from. Any thread may call; implementations serialise themselves.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // The clipboard's plain text, or absent when it holds none (or none that can be read as UTF-8).
    virtual std::optional<std::string> readText() = 0;
    // Replaces the clipboard's contents with `text`. Returns false, after logging why, when the text
    // could not be stored; the old contents may then still be there.
    virtual bool writeText(std::string_view text) = 0;
};

// The file-backed clipboard. Writes are atomic (a temporary file renamed over the old one), so a
// reader never sees half a text.
class FileClipboard final : public Clipboard {
public:
    // Without a path, the file is looked up on every operation (see defaultPath), so that a change
    // of VEDEVAVE_CLIPBOARD_FILE takes effect at once, as it does in the simulated phone.
    FileClipboard() = default;
    explicit FileClipboard(std::filesystem::path path) : fixedPath_(std::move(path)) {}

    std::optional<std::string> readText() override;
    bool writeText(std::string_view text) override;

    // VEDEVAVE_CLIPBOARD_FILE when set and not empty; otherwise "clipboard.txt" in
    // $XDG_RUNTIME_DIR/vedevave/, or in /tmp/vedevave-<uid>/ when there is no runtime directory.
    static std::filesystem::path defaultPath();

    // Longest text the clipboard reads back; a larger file is refused rather than loaded.
    static constexpr std::size_t maximumTextBytes = 16 * 1024 * 1024;

private:
    std::filesystem::path path() const { return fixedPath_ ? *fixedPath_ : defaultPath(); }

    std::optional<std::filesystem::path> fixedPath_;
};

// The process's general clipboard: a FileClipboard until the desktop interface installs another.
std::shared_ptr<Clipboard> generalClipboard();
void setGeneralClipboard(std::shared_ptr<Clipboard> clipboard);

} // namespace Platform
