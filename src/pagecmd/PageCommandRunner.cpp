// Planning, storing and running previewed page commands.
#include "pagecmd/PageCommandRunner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "pagecmd/PageCommandJson.h"
#include "pagecmd/PageTools.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/RealPath.h"
#include "platform/SysLog.h"

namespace cvl::PageCommandRunner {

namespace fs = std::filesystem;
using Op = PageCommand::Op;

namespace {

const char* const kBuildFailed =
    "Corvello couldn\u2019t build the new file. Your original is unchanged.";

std::string curlyQuoted(const std::string& s) {
    return "\u201c" + s + "\u201d";
}

std::string fileName(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string plural(int n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The pages as a reader sees them in a summary: "every page" when all of several are listed.
std::string pagesText(const std::vector<int>& pages, int n) {
    std::set<int> distinct(pages.begin(), pages.end());
    if (n >= 2 && int(distinct.size()) == n) return "every page";
    return pagesHuman(pages);
}

std::string joinInts(const std::vector<int>& v, const std::string& sep) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) out += (i ? sep : "") + std::to_string(v[i]);
    return out;
}

// "a", "a and b", "a, b and c".
std::string joinHuman(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

// The 1-based page ranges of the parts of a split: [first, last] each.
std::vector<std::pair<int, int>> splitRanges(const PageCommand& command, int n) {
    std::vector<int> points = command.after;
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.empty())
        for (int a = 1; a < n; ++a) points.push_back(a);
    std::vector<std::pair<int, int>> ranges;
    int start = 1;
    for (int a : points) {
        ranges.emplace_back(start, a);
        start = a + 1;
    }
    ranges.emplace_back(start, n);
    return ranges;
}

std::vector<int> imagePages(const PageCommand& command, int n) {
    if (!command.pages.empty()) return command.pages;
    std::vector<int> all;
    for (int p = 1; p <= n; ++p) all.push_back(p);
    return all;
}

std::string realPath(const std::string& path) {
    return resolvedPath(path).value_or(path);
}

std::vector<int> zeroBased(const std::vector<int>& pages) {
    std::vector<int> out;
    for (int p : pages) out.push_back(p - 1);
    return out;
}

}  // namespace

std::string stem(const std::string& path) {
    return fs::path(path).stem().string();
}

std::string formatSize(std::size_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + " bytes";
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double value = double(bytes);
    int unit = -1;
    while (value >= 1000 && unit < 3) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

Result<Snapshot> snapshot(const std::string& path) {
    std::string name = fileName(path);
    auto data = readFile(path);
    if (!data) return Failure{readFailureMessage(path)};
    // A PDF starts with its header within the first kilobyte; anything else is another kind
    // of file, whatever its name says.
    if (data->substr(0, 1024).find("%PDF-") == std::string::npos)
        return Failure{curlyQuoted(name) + " isn\u2019t a PDF."};
    auto opened = PdfDocument::openBytes(*data);
    if (!opened) return Failure{curlyQuoted(name) + " is damaged and can\u2019t be opened."};
    if (opened->isLocked())
        return Failure{curlyQuoted(name) + " is locked. Unlock it first, then try again."};
    if (opened->pageCount() < 1) return Failure{curlyQuoted(name) + " has no pages."};
    // A file rebuilt while reading may still be missing pieces: it must survive being written
    // before anything is previewed, so a damaged file is named as such now, not after "Run".
    if (opened->wasRepaired() && !opened->save())
        return Failure{
            curlyQuoted(name) +
            " is damaged, so Corvello can\u2019t change it. Your original is unchanged."};
    Snapshot snap{path, std::move(*data), "", opened.value()};
    snap.sha = sha256Hex(snap.data);
    return snap;
}

Result<Original> readOriginal(const std::string& path) {
    auto data = readFile(path);
    if (!data) return Failure{readFailureMessage(path)};
    return Original{path, sha256Hex(*data)};
}

std::optional<std::string> describeMove(const std::vector<int>& order) {
    int n = int(order.size());
    if (n < 2) return std::nullopt;
    // Two pages that changed places.
    std::vector<int> moved;
    for (int i = 0; i < n; ++i)
        if (order[size_t(i)] != i + 1) moved.push_back(i);
    if (moved.size() == 2 && order[size_t(moved[0])] == moved[1] + 1 &&
        order[size_t(moved[1])] == moved[0] + 1)
        return "Swap pages " + std::to_string(moved[0] + 1) + " and " +
               std::to_string(moved[1] + 1) + ".";
    // One page taken out and put elsewhere.
    for (int p = 1; p <= n; ++p) {
        std::vector<int> rest;
        for (int v : order)
            if (v != p) rest.push_back(v);
        bool others = true;
        for (int i = 0; i < int(rest.size()); ++i)
            others = others && rest[size_t(i)] == (i + 1 < p ? i + 1 : i + 2);
        if (!others) continue;
        int at = int(std::find(order.begin(), order.end(), p) - order.begin());
        if (at == p - 1) continue;  // not moved
        if (at == 0) return "Move page " + std::to_string(p) + " to the front.";
        if (at == n - 1) return "Move page " + std::to_string(p) + " to the end.";
        return "Move page " + std::to_string(p) + " so it comes right after page " +
               std::to_string(order[size_t(at - 1)]) + ".";
    }
    return std::nullopt;
}

std::vector<std::string> outputs(const PageCommand& c, const std::string& path, int n) {
    auto beside = [&](const std::string& suffix, const std::string& ext) {
        return std::vector<std::string>{PageTools::newFileBeside(path, suffix, ext)};
    };
    int k = int(c.pages.size());
    switch (c.op) {
        case Op::rotate:
            return beside("(rotated)", "pdf");
        case Op::delete_:
            return beside("(" + std::to_string(k) + (k == 1 ? " page" : " pages") + " removed)",
                          "pdf");
        case Op::extract: {
            std::string list = k == 1                ? std::to_string(c.pages[0])
                               : contiguous(c.pages) ? std::to_string(c.pages.front()) + "-" +
                                                           std::to_string(c.pages.back())
                                                     : joinInts(c.pages, ",");
            return beside((k == 1 ? "(page " : "(pages ") + list + ")", "pdf");
        }
        case Op::reorder:
            return beside("(reordered)", "pdf");
        case Op::duplicate:
            return beside(
                "(page " + std::to_string(c.pages.empty() ? 0 : c.pages[0]) + " duplicated)",
                "pdf");
        case Op::insertBlank:
            return beside("(blank page added)", "pdf");
        case Op::split:
            return beside("(split)", "");
        case Op::compress:
            return beside("(compressed)", "pdf");
        case Op::toImages:
            return beside("(images)", "");
        case Op::merge:
            return beside("(merged)", "pdf");
    }
    (void)n;
    return {};
}

std::vector<std::string> splitPartNames(const PageCommand& c, const std::string& stemName, int n) {
    std::vector<std::string> names;
    for (auto [a, b] : splitRanges(c, n))
        names.push_back(stemName + " " +
                        (a == b ? "(page " + std::to_string(a) + ")"
                                : "(pages " + std::to_string(a) + "-" + std::to_string(b) + ")") +
                        ".pdf");
    return names;
}

std::vector<std::string> imagePartNames(const PageCommand& c, const std::string& stemName, int n) {
    int digits = int(std::to_string(std::max(n, 1)).size());
    std::vector<std::string> names;
    for (int p : imagePages(c, n)) {
        std::string number = std::to_string(p);
        if (int(number.size()) < digits) number.insert(0, size_t(digits) - number.size(), '0');
        names.push_back(stemName + " p" + number + (c.jpeg ? ".jpg" : ".png"));
    }
    return names;
}

std::string fingerprint(const PageCommand& command, const Snapshot& src,
                        const std::vector<Snapshot>& others, const std::vector<std::string>& outs,
                        const std::optional<Original>& original) {
    std::string text = pageCommandToJson(command).dump();  // keys sorted
    text += "\n" + src.sha;
    for (const auto& o : others) text += "\n" + o.sha;
    for (const auto& o : outs) text += "\n" + o;
    if (original) text += "\noriginal\n" + original->path + "\n" + original->sha;
    return sha256Hex(text);
}

Result<PagePlan> plan(const PageCommand& c, const Snapshot& src,
                      const std::vector<Snapshot>& others,
                      const std::optional<Original>& original) {
    const int n = src.doc.pageCount();
    // New files are named after the document the user sees: a converted PDF's original.
    const std::string& base = original ? original->path : src.path;
    for (int p : c.pages)
        if (p < 1 || p > n)
            return Failure{"This document has " + std::to_string(n) +
                           " pages; the command names a page it doesn't have."};
    const int k = int(c.pages.size());
    PagePlan plan;
    plan.command = c;
    switch (c.op) {
        case Op::rotate: {
            if (c.pages.empty() || (c.degrees != 90 && c.degrees != -90 && c.degrees != 180))
                return Failure{"Say which pages and which way to turn them."};
            const char* way = c.degrees == 90    ? "right (90\u00b0 clockwise)"
                              : c.degrees == -90 ? "left (90\u00b0 counterclockwise)"
                                                 : "upside down (180\u00b0)";
            plan.summary = "Turn " + pagesText(c.pages, n) + " " + way + ".";
            break;
        }
        case Op::delete_:
            if (k <= 0 || k >= n) return Failure{"That would remove every page."};
            plan.summary = "Remove " + pagesHuman(c.pages) + " (" + std::to_string(k) + " of " +
                           std::to_string(n) + "). The new PDF has " + plural(n - k, "page") + ".";
            break;
        case Op::extract:
            if (k <= 0) return Failure{"Say which pages to copy out."};
            plan.summary =
                "Copy " + pagesText(c.pages, n) + " into a new " + std::to_string(k) + "-page PDF.";
            break;
        case Op::reorder: {
            std::vector<int> sorted = c.order;
            std::sort(sorted.begin(), sorted.end());
            bool permutation = int(sorted.size()) == n;
            for (int i = 0; permutation && i < n; ++i) permutation = sorted[size_t(i)] == i + 1;
            if (!permutation) return Failure{"The new order has to list every page once."};
            if (c.order == sorted) return Failure{"That order is the same as the document's."};
            std::vector<int> reversed(sorted.rbegin(), sorted.rend());
            if (c.order == reversed)
                plan.summary =
                    "Reverse the page order (page " + std::to_string(n) + " first, page 1 last).";
            else if (auto move = describeMove(c.order))
                plan.summary = *move;
            else
                plan.summary = "Put the pages in this order: " + joinInts(c.order, ", ") + ".";
            break;
        }
        case Op::duplicate:
            if (k != 1) return Failure{"Duplicate works on one page at a time."};
            plan.summary = "Add a copy of page " + std::to_string(c.pages[0]) +
                           " right after it. The new PDF has " + std::to_string(n + 1) + " pages.";
            break;
        case Op::insertBlank:
            if (c.at < 0 || c.at > n) return Failure{"That position isn't in this document."};
            if (c.at == 0)
                plan.summary = "Add a blank page at the beginning.";
            else if (c.at == n)
                plan.summary = "Add a blank page at the end, after page " + std::to_string(n) + ".";
            else
                plan.summary = "Add a blank page after page " + std::to_string(c.at) + ".";
            break;
        case Op::split: {
            bool inside = n >= 2;
            for (int a : c.after) inside = inside && a >= 1 && a <= n - 1;
            if (!inside) return Failure{"That split point isn't inside this document."};
            if (c.after.empty()) {
                plan.summary =
                    "Split into " + std::to_string(n) + " one-page PDFs, in a new folder.";
            } else {
                std::vector<std::string> ranges;
                for (auto [a, b] : splitRanges(c, n))
                    ranges.push_back(a == b ? "page " + std::to_string(a)
                                            : "pages " + std::to_string(a) + "\u2013" +
                                                  std::to_string(b));
                plan.summary = "Split into " + std::to_string(ranges.size()) +
                               " PDFs: " + joinHuman(ranges) + ", in a new folder.";
            }
            plan.parts = splitPartNames(c, stem(base), n);
            break;
        }
        case Op::compress: {
            auto result = PageTools::compress(src.data, 0.10);
            if (!result)
                return Failure{
                    "This PDF is already compact: a compressed copy would save less "
                    "than 10%, so there is nothing to do."};
            plan.summary =
                "Make a smaller copy: images are re-encoded at screen quality, text and "
                "vectors stay exactly as they are.";
            int saving =
                100 - int(std::floor(double(result->after) / double(result->before) * 100));
            plan.detail = formatSize(result->before) + " \u2192 " + formatSize(result->after) +
                          " (" + std::to_string(saving) + "% smaller)";
            plan.payload = std::move(result->bytes);
            break;
        }
        case Op::toImages: {
            auto pages = imagePages(c, n);
            int count = int(pages.size());
            plan.summary = "Save " + pagesText(pages, n) + " as " + std::to_string(count) + " " +
                           (c.jpeg ? "JPEG" : "PNG") + " image" + (count == 1 ? "" : "s") +
                           " (150 dpi) in a new folder.";
            plan.parts = imagePartNames(c, stem(base), n);
            break;
        }
        case Op::merge: {
            if (c.others.empty()) return Failure{"Choose the PDFs to merge with this one."};
            std::string self = realPath(src.path);
            for (const auto& o : c.others)
                if (o == src.path || realPath(o) == self)
                    return Failure{"That merges the document with itself."};
            int total = n;
            std::vector<std::string> names;
            for (const auto& o : others) {
                total += o.doc.pageCount();
                names.push_back(fileName(o.path));
            }
            std::string joined;
            for (size_t i = 0; i < names.size(); ++i) {
                if (i > 0) joined += i + 1 == names.size() ? "\u201d and \u201c" : "\u201d, \u201c";
                joined += names[i];
            }
            plan.summary = "Combine " + curlyQuoted(fileName(base)) + " with \u201c" + joined +
                           "\u201d into one " + std::to_string(total) + "-page PDF, in that order.";
            break;
        }
    }
    plan.outputs = outputs(c, base, n);
    plan.fingerprint = fingerprint(c, src, others, plan.outputs, original);
    plan.original = original ? original->path : std::string();
    plan.id = newUuid();
    return plan;
}

Result<PagePlan> plan(const PageCommand& command, const std::string& path,
                      const std::string& originalPath) {
    auto src = snapshot(path);
    if (!src) return Failure{src.error()};
    std::optional<Original> original;
    if (!originalPath.empty() && realPath(originalPath) != realPath(path)) {
        auto read = readOriginal(originalPath);
        if (!read) return Failure{read.error()};
        original = std::move(read).value();
    }
    std::vector<Snapshot> others;
    if (command.op == Op::merge) {
        for (const auto& o : command.others) {
            if (o == path || realPath(o) == realPath(path))
                return Failure{"That merges the document with itself."};
            auto snap = snapshot(o);
            if (!snap) return Failure{snap.error()};
            others.push_back(std::move(snap).value());
        }
    }
    auto made = plan(command, *src, others, original);
    if (made) Store::shared().put(*made, path);
    return made;
}

Result<std::vector<std::string>> execute(const std::string& id, const std::string& path) {
    Store& store = Store::shared();
    auto entry = store.take(id);
    if (!entry)
        return Failure{
            "That preview was already used or has expired, so nothing was done. Ask "
            "again to see a fresh preview."};
    if (entry->path != path)
        return Failure{"That preview was for a different document, so nothing was done."};
    if (store.now() >= entry->expires)
        return Failure{
            "That preview has expired, so nothing was done. Ask again to see a fresh "
            "preview."};
    const PagePlan& plan = entry->plan;
    const PageCommand& c = plan.command;
    auto src = snapshot(path);
    if (!src) return Failure{src.error()};
    std::vector<Snapshot> others;
    if (c.op == Op::merge)
        for (const auto& o : c.others) {
            auto snap = snapshot(o);
            if (!snap) return Failure{snap.error()};
            others.push_back(std::move(snap).value());
        }
    std::optional<Original> original;
    if (!plan.original.empty()) {
        auto read = readOriginal(plan.original);
        if (!read) return Failure{read.error()};
        original = std::move(read).value();
    }
    if (fingerprint(c, *src, others, plan.outputs, original) != plan.fingerprint)
        return Failure{
            "The document changed after the preview, so nothing was done. Ask again "
            "to see a fresh preview."};
    for (const auto& out : plan.outputs)
        if (pathExists(out) || isDirectory(out))
            return Failure{"A file with the planned name appeared, so nothing was done."};
    if (plan.outputs.size() != 1) return Failure{kBuildFailed};

    const PdfDocument& doc = src->doc;
    const int n = doc.pageCount();
    std::optional<PdfDocument> result;
    PageTools::NewItem item;
    switch (c.op) {
        case Op::rotate: {
            auto pages = zeroBased(c.pages);
            result = PageTools::rotate(doc, {pages.begin(), pages.end()}, c.degrees);
            break;
        }
        case Op::delete_: {
            auto pages = zeroBased(c.pages);
            result = PageTools::deletePages(doc, {pages.begin(), pages.end()});
            break;
        }
        case Op::extract:
            result = PageTools::extract(doc, zeroBased(c.pages));
            break;
        case Op::reorder:
            result = PageTools::reorder(doc, zeroBased(c.order));
            break;
        case Op::duplicate:
            result = c.pages.size() == 1 ? PageTools::duplicate(doc, c.pages[0] - 1) : std::nullopt;
            break;
        case Op::insertBlank:
            result = PageTools::insertBlank(doc, c.at);
            break;
        case Op::merge: {
            std::vector<PdfDocument> docs{doc};
            for (const auto& o : others) docs.push_back(o.doc);
            result = PageTools::merge(docs);
            break;
        }
        case Op::split: {
            auto ranges = splitRanges(c, n);
            if (ranges.size() != plan.parts.size()) return Failure{kBuildFailed};
            std::vector<PageTools::NamedPayload> parts;
            for (size_t i = 0; i < ranges.size(); ++i) {
                std::vector<int> pages;
                for (int p = ranges[i].first; p <= ranges[i].second; ++p) pages.push_back(p - 1);
                parts.push_back({plan.parts[i], PageTools::Payload::lazyPDF([doc, pages] {
                                     return PageTools::part(doc, pages);
                                 })});
            }
            item = PageTools::NewItem::folder(plan.outputs[0], std::move(parts));
            break;
        }
        case Op::toImages: {
            auto pages = imagePages(c, n);
            if (pages.size() != plan.parts.size()) return Failure{kBuildFailed};
            std::vector<PageTools::NamedPayload> parts;
            for (size_t i = 0; i < pages.size(); ++i) {
                int index = pages[i] - 1;
                bool jpeg = c.jpeg;
                parts.push_back(
                    {plan.parts[i], PageTools::Payload::lazyData(
                                        [doc, index, jpeg]() -> std::optional<std::string> {
                                            auto images =
                                                PageTools::pageImages(doc, {index}, 150, jpeg);
                                            if (!images || images->empty()) return std::nullopt;
                                            return std::move(images->front());
                                        })});
            }
            item = PageTools::NewItem::folder(plan.outputs[0], std::move(parts));
            break;
        }
        case Op::compress:
            if (!plan.payload) return Failure{kBuildFailed};
            item =
                PageTools::NewItem::file(plan.outputs[0], PageTools::Payload::data(*plan.payload));
            break;
    }
    if (c.op != Op::split && c.op != Op::toImages && c.op != Op::compress) {
        if (!result) return Failure{kBuildFailed};
        item =
            PageTools::NewItem::file(plan.outputs[0], PageTools::Payload::pdf(std::move(*result)));
    }
    auto published = PageTools::publishNew(item);
    if (!published) return Failure{published.error()};
    cvlLog("pagecmd: %s wrote %s", std::string(PageCommand::rawName(c.op)).c_str(),
           published->c_str());
    return plan.outputs;
}

// ---- store ----

Store& Store::shared() {
    static Store store;
    return store;
}

Store::Store(std::chrono::seconds ttl) : ttl_(ttl) {}

Store::Clock::time_point Store::now() const {
    std::lock_guard guard(lock_);
    return clock_ ? clock_() : Clock::now();
}

void Store::setClock(std::function<Clock::time_point()> clock) {
    std::lock_guard guard(lock_);
    clock_ = std::move(clock);
}

void Store::put(const PagePlan& plan, const std::string& path) {
    std::lock_guard guard(lock_);
    auto now = clock_ ? clock_() : Clock::now();
    for (auto it = items_.begin(); it != items_.end();)
        it = it->second.expires <= now ? items_.erase(it) : std::next(it);
    items_[plan.id] = Entry{plan, path, now + ttl_};
}

std::optional<Store::Entry> Store::take(const std::string& id) {
    std::lock_guard guard(lock_);
    auto it = items_.find(id);
    if (it == items_.end()) return std::nullopt;
    Entry entry = std::move(it->second);
    items_.erase(it);
    return entry;
}

std::size_t Store::size() const {
    std::lock_guard guard(lock_);
    return items_.size();
}

}  // namespace cvl::PageCommandRunner
