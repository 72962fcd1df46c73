// Process-wide constants, built at program start before the command-line flags are looked at.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Brand.h"

namespace cvl {

struct SRGB {
    double r, g, b, a;
};

// Page metrics of the document editor, in points.
inline constexpr double kPageWidthMax = 760;
inline constexpr double kPageMarginH = 72;
inline constexpr double kPageMarginV = 84;
inline constexpr double kCanvasPadV = 30;

// Night editor colours.
inline constexpr SRGB kEdNightPaper{0.118, 0.122, 0.129, 1};
inline constexpr SRGB kEdNightCanvas{0.075, 0.078, 0.086, 1};
inline constexpr SRGB kEdNightBar{0.137, 0.137, 0.145, 1};
inline constexpr SRGB kEdNightInk{0.933, 0.910, 0.871, 1};
inline constexpr SRGB kEdNightNotice{0.157, 0.129, 0.067, 1};

inline constexpr int kClosedTabDepth = 20;
inline constexpr const char* kSetAsideAlbum = "Tamsin Set Aside";
inline constexpr const char* kUpdateFeedDefault =
    "https://updates.corvello.app/tamber/appcast.json";

// The one-page blank PDF the reader pre-warmer loads, generated with a correct xref table.
std::string makeWarmPDF();

// The integer in a drag_mode file's text (trimmed, optional sign, decimal); 3 otherwise.
int parseDragMode(std::optional<std::string_view> fileText);

// The build number of the running application (written into the open-tab snapshot).
std::string buildNumber();

struct AppConstants {
    std::string home;        // kHome
    std::string archive;     // kArchive
    std::string configPath;  // kConfigPath
    Brand brand;             // kBrand
    std::string version;     // kVersion
    std::string updateFeedDefault;
    int dragMode = 3;  // kDragMode
    std::string warmPDF;
};

// Builds the constants in their fixed order (home, archive, config path, brand, version,
// feed, drag mode, warm PDF) and keeps them for the process. Later calls return the same.
const AppConstants& appConstants();

// The process's command-line arguments (argv[1...]), recorded by main before anything else.
void setProcessArguments(int argc, char** argv);
const std::vector<std::string>& processArguments();

}  // namespace cvl
