#include "operations/CvlDocumentCommands.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "operations/CvlSignedName.h"
#include "operations/FormFields.h"
#include "operations/RedactedCopy.h"
#include "operations/SignedCopy.h"
#include "operations/SigningLedger.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfForms.h"

namespace cvl {

using nlohmann::json;

namespace {

int usage(const char* command, const char* usageText, const std::string& why) {
    std::fprintf(stderr, "cvl %s: %s\nusage: cvl %s\n", command, why.c_str(), usageText);
    return 2;
}

int print(const json& reply) {
    std::printf("%s\n", reply.dump(2).c_str());
    return reply.value("ok", false) ? 0 : 1;
}

int fail(const std::string& message) {
    return print(json{{"ok", false}, {"error", message}});
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// Numbers separated by commas, all of them finite.
bool parseNumbers(const std::string& text, size_t count, std::vector<double>& out) {
    out.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        double v = std::strtod(item.c_str(), &end);
        if (item.empty() || end != item.c_str() + item.size() || !std::isfinite(v)) return false;
        out.push_back(v);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out.size() == count;
}

// "PAGE:A,B,C,D" -> page and four numbers.
bool parsePageSpec(const std::string& text, int& page, std::vector<double>& numbers) {
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    char* end = nullptr;
    std::string p = text.substr(0, colon);
    long n = std::strtol(p.c_str(), &end, 10);
    if (p.empty() || end != p.c_str() + p.size() || n < 1 || n > 1000000) return false;
    page = int(n);
    return parseNumbers(text.substr(colon + 1), 4, numbers);
}

// The output may not be the source, and replaces an existing file only with --force.
std::optional<int> checkOutput(const char* command, const char* usageText,
                               const std::string& source, const std::string& out, bool force) {
    if (out == source)
        return usage(command, usageText, "--out must name a new file: the source is never written");
    if (pathExists(out) && !force)
        return fail("\u201c" + out +
                    "\u201d already exists; nothing was written (--force replaces it).");
    return std::nullopt;
}

}  // namespace

int cvlFormMain(const std::vector<std::string>& args) {
    bool fields = false;
    std::vector<std::string> positional;
    for (const auto& a : args) {
        if (a == "--fields")
            fields = true;
        else if (a.size() > 1 && a[0] == '-')
            return usage("form", kCvlFormUsage, "unknown option " + a);
        else
            positional.push_back(a);
    }
    if (positional.size() != 1) return usage("form", kCvlFormUsage, "give one FILE");
    const std::string path = absolute(positional[0]);
    auto doc = PdfDocument::openFile(path);
    if (!doc) return print(json{{"ok", false}, {"error", doc.error()}});
    if (doc->isLocked()) return fail("The document is locked with a password.");
    auto records = formFields(*doc);
    if (fields) return print(json{{"ok", true}, {"fields", json::parse(formFieldsJson(records))}});
    return print(json::parse(formSummaryJson(summarise(records))));
}

int cvlFillMain(const std::vector<std::string>& args) {
    std::vector<PdfFieldValue> values;
    std::vector<std::string> positional;
    std::string out;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--set") {
            if (i + 1 >= args.size()) return usage("fill", kCvlFillUsage, "--set needs NAME=VALUE");
            const std::string& item = args[++i];
            size_t eq = item.find('=');
            if (eq == std::string::npos || eq == 0)
                return usage("fill", kCvlFillUsage, "--set needs NAME=VALUE, not " + item);
            values.push_back(PdfFieldValue{item.substr(0, eq), item.substr(eq + 1)});
        } else if (a == "--out") {
            if (i + 1 >= args.size()) return usage("fill", kCvlFillUsage, "--out needs a path");
            out = absolute(args[++i]);
        } else if (a == "--force") {
            force = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("fill", kCvlFillUsage, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1) return usage("fill", kCvlFillUsage, "give one FILE");
    if (values.empty()) return usage("fill", kCvlFillUsage, "give at least one --set NAME=VALUE");
    if (out.empty()) return usage("fill", kCvlFillUsage, "give --out OUT");
    const std::string path = absolute(positional[0]);
    if (auto stop = checkOutput("fill", kCvlFillUsage, path, out, force)) return *stop;
    auto doc = PdfDocument::openFile(path);
    if (!doc) return fail(doc.error());
    if (doc->isLocked()) return fail("The document is locked with a password.");
    auto set = pdfFillForm(*doc, values);
    if (!set) return fail(set.error());
    auto bytes = doc->save();
    if (!bytes) return fail("Corvello could not write the filled form.");
    if (Status written = writeFileAtomic(out, *bytes); !written) return fail(written.error());
    auto reopened = PdfDocument::openBytes(*bytes);
    return print(json{{"ok", true},
                      {"out", out},
                      {"set", *set},
                      {"filled", reopened ? filledCount(*reopened) : 0}});
}

int cvlRedactMain(const std::vector<std::string>& args) {
    std::vector<RedactRegion> regions;
    std::vector<std::string> positional;
    std::string out;
    bool force = false;
    RedactOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--box") {
            RedactRegion r;
            std::vector<double> n;
            if (i + 1 >= args.size() || !parsePageSpec(args[i + 1], r.page, n))
                return usage("redact", kCvlRedactUsage, "--box needs PAGE:X0,Y0,X1,Y1");
            ++i;
            r.rect = PdfRect{std::min(n[0], n[2]), std::min(n[1], n[3]), std::max(n[0], n[2]),
                             std::max(n[1], n[3])};
            regions.push_back(r);
        } else if (a == "--out") {
            if (i + 1 >= args.size()) return usage("redact", kCvlRedactUsage, "--out needs a path");
            out = absolute(args[++i]);
        } else if (a == "--dpi") {
            std::vector<double> n;
            if (i + 1 >= args.size() || !parseNumbers(args[i + 1], 1, n) || n[0] < 150 ||
                n[0] > 200)
                return usage("redact", kCvlRedactUsage, "--dpi needs a resolution from 150 to 200");
            ++i;
            options.dpi = n[0];
        } else if (a == "--searchable") {
            options.searchable = true;
        } else if (a == "--force") {
            force = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("redact", kCvlRedactUsage, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1) return usage("redact", kCvlRedactUsage, "give one FILE");
    if (out.empty()) return usage("redact", kCvlRedactUsage, "give --out OUT");
    const std::string path = absolute(positional[0]);
    if (auto stop = checkOutput("redact", kCvlRedactUsage, path, out, force)) return *stop;
    options.progress = [](int done, int total) {
        if (done < total) std::fprintf(stderr, "page %d/%d\n", done + 1, total);
        return true;
    };
    auto copy = buildRedactedCopy(path, regions, options);
    if (!copy) return fail(copy.error());
    if (Status written = writeFileAtomic(out, copy->bytes); !written) return fail(written.error());
    json reply{{"ok", true},
               {"out", out},
               {"audit", redactAuditPath(out)},
               {"pages", copy->pages},
               {"regions", copy->regions},
               {"searchable", options.searchable},
               {"textLines", copy->textLines}};
    if (Status audited = writeRedactAudit(out, path, copy->regions, copy->auditJson); !audited) {
        reply["ok"] = false;
        reply["error"] = "The copy was written, but its audit record was not: " + audited.error();
    }
    return print(reply);
}

int cvlSignMain(const std::vector<std::string>& args) {
    std::vector<SignPlacement> placements;
    std::vector<std::string> positional;
    std::string image;
    std::string dir;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--place") {
            SignPlacement p;
            std::vector<double> n;
            if (i + 1 >= args.size() || !parsePageSpec(args[i + 1], p.page, n) || n[2] <= 0 ||
                n[3] <= 0)
                return usage("sign", kCvlSignUsage,
                             "--place needs PAGE:X,Y,W,H with W and H above 0");
            ++i;
            p.rect = PdfRect{n[0], n[1], n[0] + n[2], n[1] + n[3]};
            p.image = "signature";
            placements.push_back(p);
        } else if (a == "--image") {
            if (i + 1 >= args.size())
                return usage("sign", kCvlSignUsage, "--image needs a picture");
            image = absolute(args[++i]);
        } else if (a == "--out-dir") {
            if (i + 1 >= args.size())
                return usage("sign", kCvlSignUsage, "--out-dir needs a folder");
            dir = absolute(args[++i]);
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("sign", kCvlSignUsage, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1) return usage("sign", kCvlSignUsage, "give one FILE");
    if (image.empty()) return usage("sign", kCvlSignUsage, "give --image SIG.png");
    if (placements.empty()) return usage("sign", kCvlSignUsage, "give at least one --place");
    if (dir.empty()) return usage("sign", kCvlSignUsage, "give --out-dir DIR");
    const std::string path = absolute(positional[0]);
    auto picture = readFile(image);
    if (!picture || picture->empty())
        return fail("Corvello couldn\u2019t read \u201c" + lastPathComponent(image) + "\u201d.");
    SignPlan plan;
    plan.placements = placements;
    plan.images["signature"] = *picture;
    auto copy = buildSignedCopy(path, plan);
    if (!copy) return fail(copy.error());
    if (!makeDirs(dir)) return fail("Corvello could not create \u201c" + dir + "\u201d.");
    const std::string target = CvlSignedName::freePathIn(dir, lastPathComponent(path));
    if (Status written = writeFileAtomic(target, copy->bytes); !written)
        return fail(written.error());
    // The copy is written; a ledger that cannot be written is said, not a failure of the run.
    if (Status recorded = SigningLedger::record(path, target, copy->placements); !recorded)
        std::fprintf(stderr, "cvl sign: the ledger was not written: %s\n",
                     recorded.error().c_str());
    return print(json{{"ok", true},
                      {"out", target},
                      {"placements", copy->placements},
                      {"fieldsFlattened", copy->hadFields && !copy->flattenFailed},
                      {"message", signSaveReport(*copy)}});
}

}  // namespace cvl
