// Links between passages of two documents, kept in links.json in the support folder, and the
// application's link-making state (the pending first end, the focus of a followed link).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

// One end of a link as the reader page produced it. The page's object is kept unchanged in
// `json`; path, page and text are read from it.
struct LinkEnd {
    std::string json;       // the endpoint object's JSON text
    std::string path;       // "path", empty when absent
    std::int64_t page = 0;  // "page"
    std::string text;       // "text"
};

struct DocLink {
    std::string id;
    LinkEnd a;  // where linking started
    LinkEnd b;  // where it finished
    std::string note;
    double created = 0;  // Unix seconds
};

// Parses what the page answered for "window.__cvlLinkEndpoint || ''": an object, or a JSON
// string holding one. None for anything else (no selection).
std::optional<LinkEnd> parseLinkEndpoint(const std::string& text);
// The endpoint's "path", or none.
std::optional<std::string> linkEndPath(const LinkEnd& end);

std::string linksStorePath();
// A missing or malformed file reads as no links.
std::vector<DocLink> loadLinks();
// Rewrites the whole file (pretty-printed, sorted keys); false when the write failed.
bool saveLinks(const std::vector<DocLink>& links);
// Links with an end at `path`, each listed once.
std::vector<DocLink> linksInvolving(const std::string& path);

// Edits by id; true when a link was changed and the file saved.
bool setLinkNote(const std::string& id, const std::string& note);
bool deleteLink(const std::string& id);

// Page calls used while linking.
std::string reloadLinksScript();
std::string linkModeOffScript();
inline constexpr const char* kLinkEndpointQuery = "window.__cvlLinkEndpoint || ''";
inline constexpr const char* kLinkingToast =
    "Linking: select a passage in another document, then Link here";
inline constexpr const char* kLinkCreatedToast = "Link created";
inline constexpr const char* kLinkNotSavedToast =
    "The link could not be saved: the links file cannot be written.";
std::string linkModeOnScript(const std::string& docName);

// The "cvlLinks" call for a reader: {"self", "links", optional "focus"} as Base64 JSON.
std::string linksScript(const std::string& selfPath, const std::vector<DocLink>& links,
                        const std::optional<std::pair<std::string, std::string>>& focus);

// The Markdown section of the document's links; empty when it has none.
std::string linksExportMarkdown(const std::string& docPath);

// The application's link-making state. Used on the main thread.
class LinkSession {
  public:
    // What the host does after a step: scripts for every open reader page, then a toast.
    struct Effects {
        std::vector<std::string> readerScripts;
        std::string toast;
        std::optional<DocLink> created;
    };

    // Starts a link at `end` (replacing any pending one); none when there is no endpoint.
    std::optional<Effects> begin(const std::optional<LinkEnd>& end, const std::string& docName);
    // Completes the pending link at `end`, stores it and clears the pending end. Nothing is
    // created (none is returned) without both ends.
    std::optional<Effects> finish(const std::optional<LinkEnd>& end,
                                  std::optional<double> now = std::nullopt);
    Effects cancel();
    bool hasPending() const { return pending_.has_value(); }

    // A followed link asks the reader of `targetPath` to focus end "a" or "b" of link `id`.
    void setFocus(const std::string& targetPath, const std::string& id, const std::string& end);
    // The "cvlLinks" call for the reader of `selfPath`; hands over (and clears) its focus.
    std::string sendLinksScript(const std::string& selfPath);

  private:
    std::optional<LinkEnd> pending_;
    struct Focus {
        std::string path, id, end;
    };
    std::optional<Focus> focus_;
};

}  // namespace cvl
