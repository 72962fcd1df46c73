#include "operations/BatesStamper.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfStamping.h"

namespace cvl {

namespace {

std::string lower(std::string text) {
    for (auto& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isPdf(const std::string& path) {
    return lower(pathExtension(path)) == "pdf";
}

std::string utcTimestamp(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

// A file name made from a label or a source name: no folder separators, not hidden.
std::string safeName(std::string base) {
    for (auto& c : base)
        if (c == '/' || c == '\0') c = '-';
    if (base.empty() || base[0] == '.') base.insert(0, "_");
    return base;
}

// base + ".pdf" in `dir`, or base + "-k.pdf" for the first k from 2 whose name is free.
std::string freeOutputPath(const std::string& dir, const std::string& base) {
    std::string path = dir + "/" + base + ".pdf";
    for (int k = 2; pathExists(path); ++k)
        path = dir + "/" + base + "-" + std::to_string(k) + ".pdf";
    return path;
}

std::string stemOf(const std::string& path) {
    std::string name = lastPathComponent(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Keeps a manifest that could not be read beside the new one instead of writing over it.
std::optional<std::string> setAsideUnreadableManifest(const std::string& dir) {
    if (!BatesStamper::manifestUnreadable(dir)) return std::nullopt;
    std::string from = dir + "/" + BatesStamper::kManifestName;
    std::string to =
        dir + "/corvello-bates-manifest.unreadable-" + utcTimestamp("%Y%m%dT%H%M%SZ") + ".json";
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    if (ec) return std::nullopt;
    return to;
}

}  // namespace

const std::vector<std::string>& batesInputExts() {
    static const std::vector<std::string> exts{"pdf",  "jpg",  "jpeg", "png", "tif",
                                               "tiff", "heic", "gif",  "bmp"};
    return exts;
}

bool isBatesInput(const std::string& path) {
    const auto& exts = batesInputExts();
    return std::find(exts.begin(), exts.end(), lower(pathExtension(path))) != exts.end();
}

std::optional<std::vector<std::string>> batesInputList(const std::string& folder) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    std::vector<std::string> names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) return std::nullopt;
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.' || !isBatesInput(name)) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string base = folder;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::vector<std::string> paths;
    for (const auto& n : names) paths.push_back(base == "/" ? "/" + n : base + "/" + n);
    return paths;
}

long long batesPageCount(const std::vector<std::string>& files) {
    long long total = 0;
    for (const auto& f : files) {
        if (!isBatesInput(f)) continue;
        if (!isPdf(f)) {
            ++total;
            continue;
        }
        auto doc = PdfDocument::openFile(f);
        if (doc) total += doc->pageCount();
    }
    return total;
}

namespace BatesStamper {

PdfStampText stampText(const BatesConfig& config, const std::string& label, double width,
                       double height) {
    const PdfTextMetrics m = helveticaBoldMetrics(label, config.fontSize);
    double x = 0, y = 0;
    switch (config.position) {
        case BatesPosition::bottomRight:
        case BatesPosition::topRight:
            x = width - config.margin - m.width;
            break;
        case BatesPosition::bottomCenter:
        case BatesPosition::topCenter:
            x = (width - m.width) * 0.5;
            break;
        case BatesPosition::bottomLeft:
        case BatesPosition::topLeft:
            x = config.margin;
            break;
    }
    switch (config.position) {
        case BatesPosition::bottomRight:
        case BatesPosition::bottomCenter:
        case BatesPosition::bottomLeft:
            y = config.margin + m.descent;
            break;
        default:
            y = height - config.margin - m.ascent;
            break;
    }
    x = std::max(2.0, std::min(x, width - m.width - 2));
    y = std::max(2.0, std::min(y, height - m.ascent - 2));
    PdfStampText text;
    text.text = label;
    text.x = x;
    text.y = y;
    text.fontSize = config.fontSize;
    text.red = 0.08;
    text.green = 0.09;
    text.blue = 0.11;
    text.haloOffset = config.halo ? std::max(config.fontSize * 0.09, 0.6) : 0;
    text.haloAlpha = 0.9;
    return text;
}

BatesRunResult stamp(const std::vector<std::string>& files, const std::string& outputDir,
                     const BatesConfig& config, std::optional<long long> startOverride,
                     const Progress& progress) {
    auto report = [&](const std::string& text) {
        if (progress) progress(text);
    };
    BatesRunResult result;
    result.outputDir = outputDir;
    result.manifestPath = outputDir + "/" + kManifestName;
    result.csvPath = outputDir + "/" + kLoadFileName;

    if (batesTrimmedPrefix(config.prefix).empty()) {
        result.error = kEmptyPrefix;
        return result;
    }
    if (!helveticaBoldCovers(config.prefix)) {
        result.error = kPrefixNotDrawable;
        return result;
    }
    std::vector<std::string> inputs;
    for (const auto& f : files)
        if (isBatesInput(f)) inputs.push_back(f);
    if (inputs.empty()) {
        result.error = kNoInputs;
        return result;
    }
    if (!makeDirs(outputDir)) {
        result.error = kNoOutputFolder;
        return result;
    }
    const bool unreadable = manifestUnreadable(outputDir);
    Manifest manifest = loadManifest(outputDir);
    StartChoice choice = chooseStart(manifest, config, startOverride);
    if (choice.collision) {
        result.collision = choice.collision;
        return result;
    }
    if (unreadable)
        report("The audit manifest in this folder could not be read; numbering starts afresh.");

    // Stamped copies that earlier runs wrote into this folder are not stamped again.
    std::set<std::string> earlierOutputs;
    for (const auto& run : manifest.runs)
        for (const auto& d : run.documents) earlierOutputs.insert(d.output);

    const std::string timestamp = utcTimestamp("%Y-%m-%dT%H:%M:%SZ");
    std::vector<std::string> written;
    long long n = choice.start;
    for (const auto& source : inputs) {
        BatesDocResult doc;
        doc.source = source;
        if (earlierOutputs.count(source)) {
            doc.skipped = true;
            result.documents.push_back(doc);
            continue;
        }
        report("Stamping " + lastPathComponent(source) + "\u2026");
        const std::string output = freeOutputPath(
            outputDir, safeName(config.nameByBates ? config.label(n) : stemOf(source)));
        const long long first = n;
        auto placer = [&](int index, double width, double height) {
            return stampText(config, config.label(first + index), width, height);
        };
        auto copy =
            isPdf(source) ? stampedPdfCopy(source, placer) : stampedImageCopy(source, placer);
        Status saved = copy ? writeFileAtomic(output, copy->bytes) : Status(Failure{copy.error()});
        if (!saved) {
            cvlLog("bates: %s: %s", source.c_str(), saved.error().c_str());
            doc.error = kDocumentFailed;
            result.documents.push_back(doc);
            continue;
        }
        written.push_back(output);
        doc.output = output;
        doc.pages = copy->pages;
        doc.begin = first;
        doc.end = first + copy->pages - 1;
        doc.beginLabel = config.label(doc.begin);
        doc.endLabel = config.label(doc.end);
        n = doc.end + 1;
        ++result.stampedCount;
        result.pageCount += doc.pages;
        result.documents.push_back(doc);
    }
    if (result.stampedCount == 0) {
        result.error = kNothingStamped;
        return result;
    }

    ManifestRun run;
    run.timestamp = timestamp;
    run.settings = manifestSettings(config);
    run.settingsHash = config.settingsHash();
    for (const auto& d : result.documents) {
        if (d.output.empty()) continue;
        run.documents.push_back(
            {d.source, d.output, d.pages, d.begin, d.end, d.beginLabel, d.endLabel});
        manifest.sources[d.source] = d.beginLabel +
                                     (d.end != d.begin ? "\u2013" + d.endLabel : "") + " \u2192 " +
                                     lastPathComponent(d.output);
    }
    run.begin = run.documents.front().begin;
    run.end = run.documents.back().end;
    run.beginLabel = config.label(run.begin);
    run.endLabel = config.label(run.end);
    result.beginLabel = run.beginLabel;
    result.endLabel = run.endLabel;
    manifest.runs.push_back(run);
    manifest.assigned.push_back({run.begin, run.end, timestamp});
    manifest.nextNumber = run.end + 1;

    auto kept = unreadable ? setAsideUnreadableManifest(outputDir) : std::nullopt;
    Status wroteManifest = writeFileAtomic(result.manifestPath, encodeManifest(manifest));
    if (!wroteManifest) {
        // Copies without a record would let a later run give their numbers out again.
        for (const auto& path : written) std::remove(path.c_str());
        for (auto& d : result.documents)
            if (!d.output.empty()) d = BatesDocResult{d.source, "", 0, 0, 0, "", "", false, {}};
        result.stampedCount = 0;
        result.pageCount = 0;
        result.beginLabel.clear();
        result.endLabel.clear();
        result.error = "Could not write the audit manifest, so no stamped copy was kept.";
        return result;
    }
    if (kept) report("The unreadable audit manifest was kept as " + lastPathComponent(*kept) + ".");
    if (!writeFileAtomic(result.csvPath, loadFileCsv(manifest)))
        report("The load file could not be written.");
    report("Wrote audit manifest.");
    return result;
}

std::string runResultJson(const BatesRunResult& r) {
    using nlohmann::json;
    json docs = json::array();
    for (const auto& d : r.documents) {
        json j{{"source", d.source},     {"output", d.output},  {"pages", d.pages},
               {"begin", d.begin},       {"end", d.end},        {"beginLabel", d.beginLabel},
               {"endLabel", d.endLabel}, {"skipped", d.skipped}};
        if (d.error) j["error"] = *d.error;
        docs.push_back(j);
    }
    json out{{"documents", docs},        {"stampedCount", r.stampedCount},
             {"pageCount", r.pageCount}, {"beginLabel", r.beginLabel},
             {"endLabel", r.endLabel},   {"manifestPath", r.manifestPath},
             {"csvPath", r.csvPath},     {"outputDir", r.outputDir}};
    if (r.error) out["error"] = *r.error;
    if (r.collision) out["collision"] = *r.collision;
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace BatesStamper
}  // namespace cvl
