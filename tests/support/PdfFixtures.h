// Test helper: PDFs made at run time with known text, outlines, links and images.
// Header-only so that any test folder can include it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileIO.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfRender.h"

namespace cvl::test {

inline const PdfRect kLetter{0, 0, 612, 792};

// The line shown on 1-based page `n` of a text fixture: "Page 3 alpha".
inline std::string fixtureLine(int n, const std::string& word = "alpha") {
    return "Page " + std::to_string(n) + " " + word;
}

// A document of `pages` Letter pages; page n shows fixtureLine(n, word) and any extra lines.
inline PdfDocument makeTextPdf(int pages, const std::string& word = "alpha",
                               const std::vector<std::string>& extraLines = {}) {
    PdfDocument doc;
    for (int n = 1; n <= pages; ++n) {
        std::vector<std::string> lines{fixtureLine(n, word)};
        lines.insert(lines.end(), extraLines.begin(), extraLines.end());
        doc.insertTextPage(n - 1, kLetter, lines);
    }
    return doc;
}

// A text document whose navigation is fully known:
// - outline: "Chapter n" -> page n-1 for every page; "Part A" (no target) holding "Chapter 1"..;
//   concretely: top level "Chapter n" for each page, and the first entry has a child
//   "Section 1.1" pointing at the last page;
// - links: page n-1 has a link to page n (the next page), the last page links to page 0;
// - named destinations "page-n" -> page n-1, and page 0 has a second link by name to the last
//   page through a go-to action.
inline PdfDocument makeNavigablePdf(int pages, const std::string& word = "alpha") {
    PdfDocument doc = makeTextPdf(pages, word);
    std::vector<PdfOutlineItem> outline;
    for (int n = 1; n <= pages; ++n) {
        PdfOutlineItem item;
        item.title = "Chapter " + std::to_string(n);
        item.destination = PdfDestination{n - 1, PdfPoint{0, 792}, 0};
        outline.push_back(item);
    }
    if (!outline.empty()) {
        PdfOutlineItem child;
        child.title = "Section 1.1";
        child.destination = PdfDestination{pages - 1, std::nullopt, 0};
        outline[0].children.push_back(child);
        outline[0].open = true;
    }
    doc.setOutline(outline);
    for (int i = 0; i < pages; ++i) {
        doc.addLink(i, PdfRect{72, 72, 200, 90},
                    PdfDestination{(i + 1) % pages, PdfPoint{0, 792}, 0});
        doc.addNamedDestination("page-" + std::to_string(i + 1),
                                PdfDestination{i, PdfPoint{0, 700}, 0});
    }
    if (pages > 0)
        doc.addNamedLink(0, PdfRect{72, 100, 200, 118}, "page-" + std::to_string(pages), true);
    return doc;
}

inline std::string bytesOf(const PdfDocument& doc, const PdfSaveOptions& options = {}) {
    return doc.save(options).value_or(std::string());
}

inline bool writePdf(const PdfDocument& doc, const std::string& path,
                     const PdfSaveOptions& options = {}) {
    return doc.saveToFile(path, options).ok();
}

// Text pages encrypted with a user password.
inline std::string makeEncryptedPdfBytes(int pages, const std::string& password) {
    PdfSaveOptions options;
    options.userPassword = password;
    options.ownerPassword = password + "-owner";
    return bytesOf(makeTextPdf(pages), options);
}

// A PDF cut off in the middle of its objects.
inline std::string makeTruncatedPdfBytes(int pages) {
    std::string bytes = bytesOf(makeTextPdf(pages), PdfSaveOptions{false, false, false, {}, {}});
    return bytes.substr(0, bytes.size() / 3);
}

// Bytes that only look like a PDF at the start.
inline std::string damagedPdfBytes() {
    return "%PDF-1.7\n1 0 obj << /Type /Catalog /Pages 9 0 R >> endobj\ntrailer << >>\n"
           "this is not the rest of a PDF\n";
}

// A photo-like RGB bitmap: smooth gradients with a little deterministic noise, so that it
// deflates poorly and JPEG-encodes well.
inline PdfBitmap photoBitmap(int width, int height, unsigned seed = 1) {
    PdfBitmap bmp;
    bmp.width = width;
    bmp.height = height;
    bmp.pixels.resize(size_t(width) * size_t(height) * 3);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            int noise = int((state >> 24) & 15) - 8;
            size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
            bmp.pixels[i] = std::uint8_t(std::clamp(x * 255 / width + noise, 0, 255));
            bmp.pixels[i + 1] = std::uint8_t(std::clamp(y * 255 / height + noise, 0, 255));
            bmp.pixels[i + 2] =
                std::uint8_t(std::clamp((x + y) * 127 / (width + height) + 64 + noise, 0, 255));
        }
    return bmp;
}

// A document of `pages` pages, each a large photo-like image (stored losslessly) with a text
// page after it when `withText`.
inline PdfDocument makeImagePdf(int pages, int width = 1600, int height = 1200,
                                bool withText = true) {
    PdfDocument doc;
    for (int n = 1; n <= pages; ++n) {
        auto png = encodePng(photoBitmap(width, height, unsigned(n)));
        if (png) doc.insertImagePage(doc.pageCount(), *png);
        if (withText) doc.insertTextPage(doc.pageCount(), kLetter, {fixtureLine(n)});
    }
    return doc;
}

}  // namespace cvl::test
