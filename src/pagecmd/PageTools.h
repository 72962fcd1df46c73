// Page-level document operations. Every operation is a stateless function that works on a copy
// (made from the document's serialised bytes) and returns a new document, documents or bytes;
// none changes its input or writes the caller's file. After pages move, disappear or arrive
// from another file, outline entries and links are re-pointed or removed so that nothing points
// outside the document. Page indices are 0-based.
//
// The file operations write new files beside a source, all or nothing, through a staging folder.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl::PageTools {

// What to write into a new file.
struct Payload {
    enum class Kind { data, pdf, lazyPDF, lazyData };
    Kind kind = Kind::data;
    std::string bytes;
    std::optional<PdfDocument> document;
    std::function<std::optional<PdfDocument>()> makeDocument;
    std::function<std::optional<std::string>()> makeData;

    static Payload data(std::string bytes);
    static Payload pdf(PdfDocument document);
    static Payload lazyPDF(std::function<std::optional<PdfDocument>()> producer);
    static Payload lazyData(std::function<std::optional<std::string>()> producer);
};

struct NamedPayload {
    std::string name;
    Payload payload;
};

// What to publish: one new file at `path`, or a new folder at `path` holding named parts.
struct NewItem {
    enum class Kind { file, folder };
    Kind kind = Kind::file;
    std::string path;
    Payload payload;                  // file
    std::vector<NamedPayload> parts;  // folder

    static NewItem file(std::string path, Payload payload);
    static NewItem folder(std::string path, std::vector<NamedPayload> parts);
};

struct CompressResult {
    std::string bytes;
    std::size_t before = 0;
    std::size_t after = 0;
};

// ---- document operations: a new document, or nothing on any failure ----

std::optional<PdfDocument> working(const PdfDocument& doc);
std::optional<PdfDocument> rotate(const PdfDocument& doc, const std::set<int>& pages, int degrees);
std::optional<PdfDocument> deletePages(const PdfDocument& doc, const std::set<int>& pages);
std::optional<PdfDocument> extract(const PdfDocument& doc, const std::vector<int>& order);
std::optional<PdfDocument> reorder(const PdfDocument& doc, const std::vector<int>& order);
std::optional<PdfDocument> move(const PdfDocument& doc, int from, int to);
std::optional<PdfDocument> duplicate(const PdfDocument& doc, int page);
std::optional<PdfDocument> insertBlank(const PdfDocument& doc, int at);
std::optional<PdfDocument> insertDocument(const PdfDocument& doc, const PdfDocument& other, int at);
std::optional<PdfDocument> merge(const std::vector<PdfDocument>& docs);
std::optional<PdfDocument> part(const std::string& bytes, const std::vector<int>& pages);
// The same from an open document: the pages are copied into a new document, so one source
// serves many parts without being read again.
std::optional<PdfDocument> part(const PdfDocument& source, const std::vector<int>& pages);
// One document per part; `after` holds 1-based page numbers. Empty on any failure.
std::vector<PdfDocument> split(const PdfDocument& doc, const std::vector<int>& after);
std::optional<CompressResult> compress(const std::string& bytes, double minSaving = 0.1);
std::optional<std::string> compress(const PdfDocument& doc, double minSaving = 0.1);
std::optional<std::string> compressFileAt(const std::string& path, double minSaving = 0.1);
// Encoded images of the pages' crop boxes at `dpi`, drawn as shown (rotation applied).
std::optional<std::vector<std::string>> pageImages(const PdfDocument& doc,
                                                   const std::vector<int>& pages, double dpi,
                                                   bool jpeg);
// One page per image file that loads with a non-zero size.
PdfDocument imagesToPDF(const std::vector<std::string>& imagePaths);

// Building blocks: page order in place (first use of an index takes the page, later uses a
// copy), and removal of navigation that points outside the document.
bool arrange(PdfDocument& doc, const std::vector<int>& order);
bool prune(PdfDocument& doc);

// ---- file operations ----

// A path in the folder of `path` that does not exist yet: "STEM SUFFIX.EXT", then
// "STEM SUFFIX 2.EXT", ...; without ".EXT" when `ext` is empty.
std::string newFileBeside(const std::string& path, const std::string& suffix,
                          const std::string& ext);
// Writes bytes to a new file (never replacing one); true on success.
bool writeNew(const std::string& data, const std::string& path);
// Creates the file or folder atomically; the destination path, or the failure's message.
Result<std::string> publishNew(const NewItem& item);

}  // namespace cvl::PageTools
