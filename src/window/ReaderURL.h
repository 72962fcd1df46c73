// The reader page's address: the reader file with its query items in a fixed order.
#pragma once

#include <optional>
#include <string>

namespace cvl {

// A run of several documents that the reader steps through (a signing run, for example).
struct ReaderRun {
    int position = 0;  // 1-based
    int total = 0;
    std::string name;
    int sameCopies = 0;
    bool replay = false;
};

// Everything the address depends on, gathered by the caller from the settings and the state
// of the application so that building it stays a pure function.
struct ReaderAddressInputs {
    std::string readerPage;  // path of reader.html
    std::string pdf;
    std::string orig;
    bool darkScheme = false;  // the resolved application scheme
    std::optional<std::string> docId;
    std::optional<bool> statusBar;       // "reader_statusbar"; absent shows it
    std::optional<std::string> zoom;     // "reader_default_zoom"
    std::optional<bool> zoomWithWindow;  // "reader_zoom_with_window"; absent follows the window
    std::string themeMode = "system";    // "reading_theme_files": "system" or "perfile"
    bool nightActiveWithPages = false;   // night schedule active now with night pages on
    std::optional<std::string> pairCode;
    bool testLaunch = false;
    int page = 0;
    std::string verb;
    std::optional<ReaderRun> run;
};

namespace ReaderAddress {

// file://<reader page>?pdf=..&orig=..&theme=..[&docid][&sb][&z][&zw][&ptmode][&ptheme]...
std::string build(const ReaderAddressInputs& in);

// Sets (or replaces) one query item of an address, keeping the others in place.
std::string withQueryItem(const std::string& url, const std::string& key, const std::string& value);

// "file://" + percent-encoded path, and back; nothing for an address of another scheme.
std::string fileURL(const std::string& path);
std::optional<std::string> filePath(const std::string& url);

}  // namespace ReaderAddress
}  // namespace cvl
