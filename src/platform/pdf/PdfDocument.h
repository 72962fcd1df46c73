// A PDF document and its pages: open, read, edit, write. The only face of the PDF library that
// the rest of the program sees. Every call returns a value or an empty result; nothing throws.
//
// Coordinates are PDF page points in the page's own (unrotated) user space, origin bottom-left,
// exactly as the page's boxes are written in the file.
//
// A PdfDocument is a shared handle: copies refer to the same document. Each call locks the
// document, so one document may be used from several threads; calls on different documents run
// in parallel.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"

namespace cvl {

struct PdfPoint {
    double x = 0;
    double y = 0;
};

struct PdfRect {
    double x0 = 0;
    double y0 = 0;
    double x1 = 0;
    double y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
    bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
    // The smallest rectangle holding both.
    PdfRect united(const PdfRect& other) const;
};

enum class PdfBox { media, crop };

// A place in the document: a page and, optionally, a point on it and a zoom.
struct PdfDestination {
    int page = -1;  // 0-based page index; -1 when the target is not a page of this document
    std::optional<PdfPoint> point;  // top-left corner to show, when given
    double zoom = 0;                // 0 keeps the viewer's zoom
};

// One link annotation as read from a page.
struct PdfLink {
    PdfRect rect;
    std::optional<PdfDestination> destination;  // internal target (direct, go-to action or named)
    std::string namedDestination;               // the name, when the target was given by name
    std::string uri;                            // external target (URI action)
};

// One outline (bookmark) entry.
struct PdfOutlineItem {
    std::string title;
    bool open = false;
    std::optional<PdfDestination> destination;  // page target, when it has one
    std::string uri;                            // URI action, when it has one
    std::vector<PdfOutlineItem> children;
};

// The text of one page, with a box for every character.
struct PdfTextChar {
    char32_t codepoint = 0;
    std::size_t offset = 0;  // byte offset of the character's UTF-8 form in PdfPageText::text
    int line = 0;            // index into PdfPageText::lines
    PdfRect box;
};

struct PdfTextLine {
    PdfRect box;
    std::size_t begin = 0;  // byte range of the line in PdfPageText::text (without the newline)
    std::size_t end = 0;
};

struct PdfPageText {
    std::string text;  // lines joined with "\n" in reading order
    std::vector<PdfTextLine> lines;
    std::vector<PdfTextChar> chars;

    // One rectangle per line for the characters whose bytes lie in [begin, end): what a search hit
    // highlights.
    std::vector<PdfRect> rectsForRange(std::size_t begin, std::size_t end) const;
};

struct PdfSaveOptions {
    bool garbageCollect = true;  // drop unreferenced objects and renumber the rest
    bool deduplicate = false;    // also merge identical objects (slower; for smallest output)
    bool compress = true;        // deflate uncompressed streams
    // When set, the output is encrypted with AES-256 using these passwords.
    std::string userPassword;
    std::string ownerPassword;
};

class PdfDocument {
  public:
    // A new document without pages.
    PdfDocument();

    // Opens a PDF from a file or from bytes. An encrypted document opens locked when it needs a
    // password; see isLocked(). Failures carry a user-facing message.
    static Result<PdfDocument> openFile(const std::string& path);
    static Result<PdfDocument> openBytes(std::string bytes);

    bool isEncrypted() const;
    // The file's cross-reference table was damaged and rebuilt while reading it.
    bool wasRepaired() const;
    bool isLocked() const;
    bool unlock(const std::string& password);

    int pageCount() const;
    bool validPage(int page) const { return page >= 0 && page < pageCount(); }
    std::optional<PdfRect> pageBox(int page, PdfBox box) const;
    std::optional<PdfRect> mediaBox(int page) const { return pageBox(page, PdfBox::media); }
    std::optional<PdfRect> cropBox(int page) const { return pageBox(page, PdfBox::crop); }
    int rotation(int page) const;  // 0, 90, 180 or 270
    std::optional<std::string> pageText(int page) const;
    std::optional<PdfPageText> pageTextWithBoxes(int page) const;
    // The page's label ("iv", "A-3"); the 1-based page number when the document defines none.
    std::string pageLabel(int page) const;

    // Navigation.
    std::vector<PdfOutlineItem> outline() const;
    std::vector<PdfLink> links(int page) const;
    std::optional<PdfDestination> namedDestination(const std::string& name) const;

    // Serialising.
    std::optional<std::string> save(const PdfSaveOptions& options = {}) const;
    Status saveToFile(const std::string& path, const PdfSaveOptions& options = {}) const;
    // An independent copy made from the serialised bytes; none when they cannot be produced or
    // reopened.
    std::optional<PdfDocument> workingCopy() const;

    // Editing. Page positions are clamped into 0...pageCount.
    bool setRotation(int page, int degrees);
    bool setPageBox(int page, PdfBox box, const PdfRect& rect);
    bool insertBlankPage(int at, const PdfRect& mediaBox);
    // A page of the given size showing the lines in Helvetica, top to bottom from the top-left
    // margin. Latin-1 text.
    bool insertTextPage(int at, const PdfRect& mediaBox, const std::vector<std::string>& lines,
                        double fontSize = 14);
    // A page the size of the image (at its resolution, 72 dpi when unknown) showing it whole.
    bool insertImagePage(int at, std::string_view imageBytes);
    bool setOutline(const std::vector<PdfOutlineItem>& items);
    bool addLink(int page, const PdfRect& rect, const PdfDestination& target);
    bool addNamedLink(int page, const PdfRect& rect, const std::string& name, bool viaAction);
    bool addUriLink(int page, const PdfRect& rect, const std::string& uri);
    bool addNamedDestination(const std::string& name, const PdfDestination& target);

    // Puts the pages into `order` (0-based indices, each valid): the first use of an index takes
    // the existing page, any later use a copy of it; pages not named are removed.
    bool arrangePages(const std::vector<int>& order);
    // Removes navigation that points at no page of this document: outline entries (kept as plain
    // headings when they have children), link annotations, named destinations and the open
    // action. Returns how many were removed or cleared, -1 on failure.
    int pruneNavigation();
    // Inserts copies of `other`'s pages (all, or the listed 0-based indices in that order) at
    // `at`: their links to copied pages are re-pointed at the copies (same point and zoom),
    // links to pages left behind are dropped, and `other`'s outline is appended at the end of
    // this document's outline with its targets mapped the same way (entries for pages left
    // behind are dropped, or kept as headings when they have children).
    bool insertPagesFrom(const PdfDocument& other, int at, const std::vector<int>& only = {});

    struct ImageOptions {
        double targetDpi = 150;        // downsampled images end at this resolution
        double downsampleAbove = 225;  // only images above this effective resolution shrink
        int jpegQuality = 75;
    };
    // Re-encodes 8-bit grey and RGB images as JPEG where that is smaller, downsampling those far
    // above the target resolution. Returns the number of images changed, -1 on failure.
    int recompressImages(const ImageOptions& options);

    struct Impl;
    const std::shared_ptr<Impl>& impl() const { return impl_; }
    explicit PdfDocument(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

  private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace cvl
