// The apps installed on the simulated phone: names, bundle identifiers, icon colours and where
// they sit on the home screen. Immutable after construction; any thread may read.
//
// The next issue gives some of these apps real screens (Notes, Messages, Settings, Calculator,
// Safari, Photos); they are listed here once, and screens look them up by bundle identifier.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

struct AppInfo {
    std::string name;
    std::string bundleId;
    uint32_t colorTop = 0; // icon gradient, 0xRRGGBB
    uint32_t colorBottom = 0;
    std::string glyph; // short text drawn on the icon
    bool inDock = false;
};

class AppCatalog {
public:
    static constexpr std::string_view springboardBundleId = "com.apple.springboard";
    static constexpr std::string_view springboardName = "SpringBoard";

    static const AppCatalog& standard();

    const std::vector<AppInfo>& apps() const { return apps_; }
    // Indexes into apps(), in home-screen order (grid) and dock order.
    const std::vector<int>& gridApps() const { return grid_; }
    const std::vector<int>& dockApps() const { return dock_; }

    // Finds an app by its name, ignoring case and white space anywhere ("  calcu lator" finds
    // Calculator), or by its exact bundle identifier (case-insensitive).
    const AppInfo* find(std::string_view query) const;
    const AppInfo* findByBundleId(std::string_view bundleId) const;
    std::optional<int> indexOf(std::string_view bundleId) const;

    // Lower case without white space: the form names are compared in.
    static std::string normalizeName(std::string_view name);

    explicit AppCatalog(std::vector<AppInfo> apps);

private:
    std::vector<AppInfo> apps_;
    std::vector<int> grid_;
    std::vector<int> dock_;
};

} // namespace Engine
