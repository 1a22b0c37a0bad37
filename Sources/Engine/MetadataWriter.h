// Writes the small JSON files other processes read: the metadata file the application's
// CoreDeviceBridge polls and the capture device's sidecar. Writes are atomic (a
// temporary file in the same folder, then rename), so a reader never sees half a file. Any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace Engine {

class MetadataWriter {
public:
    // Writes `value` to `path` atomically, creating the parent folder if needed. Returns an
    // error text, empty on success.
    static std::string writeAtomically(const std::string& path, const nlohmann::json& value);

    // The metadata file's content: "host", "hid_socket", "video_socket" (what the application
    // reads) plus facts for people and tests.
    static nlohmann::json metadata(const std::string& udid, int port, const std::string& hidSocket,
                                   const std::string& videoSocket, const std::string& captureSocket);

    // Removes `path` only if it still names `hidSocket` (another engine may have replaced it).
    static void removeIfOwned(const std::string& path, const std::string& hidSocket);
};

} // namespace Engine
