#include "Engine/MetadataWriter.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace Engine {

std::string MetadataWriter::writeAtomically(const std::string& path, const nlohmann::json& value) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path);
    if (target.has_parent_path()) {
        fs::create_directories(target.parent_path(), ec);
    }
    const std::string temporary = path + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return "cannot write " + temporary;
        }
        out << value.dump(2) << '\n';
        if (!out.flush()) {
            return "cannot write " + temporary;
        }
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return "cannot rename " + temporary + " to " + path;
    }
    return {};
}

nlohmann::json MetadataWriter::metadata(const std::string& udid, int port, const std::string& hidSocket,
                                        const std::string& videoSocket, const std::string& captureSocket) {
    return {
        {"host", "127.0.0.1"},
        {"hid_socket", hidSocket},
        {"video_socket", videoSocket},
        {"port", port},
        {"udid", udid},
        {"pid", static_cast<int>(::getpid())},
        {"capture_socket", captureSocket},
        {"engine", "DaridiveVarara"},
        {"simulated", true},
    };
}

void MetadataWriter::removeIfOwned(const std::string& path, const std::string& hidSocket) {
    std::ifstream in(path);
    if (!in) {
        return;
    }
    const auto value = nlohmann::json::parse(in, nullptr, false);
    if (value.is_object() && value.value("hid_socket", "") == hidSocket) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
}

} // namespace Engine
