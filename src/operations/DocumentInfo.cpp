#include "operations/DocumentInfo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <nlohmann/json.hpp>

#include "app/EngineLocator.h"
#include "memory/FileStamp.h"
#include "memory/HistoryPage.h"
#include "platform/FileIO.h"
#include "platform/Hashing.h"
#include "platform/UserDirs.h"
#include "platform/pdf/PdfFacts.h"
#include "window/ReaderURL.h"

namespace cvl::DocumentInfo {

using nlohmann::json;

namespace {

json pdfPart(const std::string& pdfPath) {
    auto doc = PdfDocument::openFile(pdfPath);
    if (!doc) return json{{"error", doc.error()}};
    auto facts = pdfFacts(*doc);
    if (!facts) return json{{"error", "The PDF’s details could not be read."}};
    json info = json::object();
    for (const auto& [key, value] : facts->info) info[key] = value;
    json sizes = json::array();
    for (const auto& g : facts->pageSizes)
        sizes.push_back({{"width", g.width},
                         {"height", g.height},
                         {"paper", g.paper},
                         {"count", g.count},
                         {"pages", g.pages}});
    json fonts = json::array();
    for (const auto& f : facts->fonts)
        fonts.push_back({{"name", f.name.empty() ? "(unnamed)" : f.name},
                         {"type", f.type},
                         {"embedded", f.embedded},
                         {"subset", f.subset}});
    json out{{"version", facts->version},
             {"info", info},
             {"encrypted", facts->encrypted},
             {"locked", facts->locked},
             {"permissions",
              {{"print", facts->mayPrint},
               {"copy", facts->mayCopy},
               {"edit", facts->mayEdit},
               {"annotate", facts->mayAnnotate}}},
             {"tagged", facts->tagged},
             {"structure", facts->structure},
             {"forms", facts->forms},
             {"fields", facts->fieldCount},
             {"pages", facts->pageCount},
             {"pageSizes", sizes},
             {"fonts", fonts},
             {"fontsTruncated", facts->fontsTruncated}};
    if (facts->encrypted) out["encryption"] = facts->encryption;
    if (doc->wasRepaired()) out["damaged"] = true;
    return out;
}

}  // namespace

std::string localIsoTime(long long seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local)) return "";
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string s = buf;
    if (s.size() >= 5) s.insert(s.size() - 2, ":");  // +0200 -> +02:00
    return s;
}

std::string kindOf(const std::string& path) {
    static const std::pair<const char*, const char*> kinds[] = {
        {"pdf", "PDF document"},
        {"docx", "Word document"},
        {"doc", "Word 97 document"},
        {"rtf", "Rich Text document"},
        {"odt", "OpenDocument text"},
        {"txt", "Plain text"},
        {"md", "Markdown text"},
        {"markdown", "Markdown text"},
        {"xlsx", "Excel workbook"},
        {"xlsm", "Excel workbook with macros"},
        {"xls", "Excel 97 workbook"},
        {"ods", "OpenDocument spreadsheet"},
        {"csv", "Comma-separated values"},
        {"tsv", "Tab-separated values"},
        {"png", "PNG image"},
        {"jpg", "JPEG image"},
        {"jpeg", "JPEG image"},
        {"heic", "HEIC image"},
        {"tif", "TIFF image"},
        {"tiff", "TIFF image"},
    };
    const std::string ext = lowerExtension(path);
    for (const auto& [e, k] : kinds)
        if (ext == e) return k;
    return ext.empty() ? "Document" : "Document (." + ext + ")";
}

Result<json> gather(const std::string& path, const std::string& shownPdf) {
    struct statx st {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
        return Failure{"“" + lastPathComponent(path) + "” is not there any more."};
    if (!S_ISREG(st.stx_mode)) return Failure{"“" + lastPathComponent(path) + "” is not a file."};
    json out{{"path", path},
             {"name", lastPathComponent(path)},
             {"folder", parentPath(path)},
             {"kind", kindOf(path)},
             {"ext", lowerExtension(path)},
             {"size", static_cast<long long>(st.stx_size)},
             {"modified", localIsoTime(st.stx_mtime.tv_sec)},
             {"accessed", localIsoTime(st.stx_atime.tv_sec)}};
    if ((st.stx_mask & STATX_BTIME) && st.stx_btime.tv_sec > 0)
        out["created"] = localIsoTime(st.stx_btime.tv_sec);
    const bool isPdf = lowerExtension(path) == "pdf";
    const bool converted = !shownPdf.empty() && shownPdf != path;
    if (isPdf || converted) {
        json pdf = pdfPart(converted ? shownPdf : path);
        if (pdf.contains("error")) {
            out["pdfError"] = pdf["error"];
        } else {
            if (converted) pdf["converted"] = shownPdf;
            out["pdf"] = std::move(pdf);
        }
    }
    return out;
}

Result<std::string> writePage(const json& info, bool dark) {
    const std::string templatePath =
        EngineLocator::locate("app/docinfo.html", "/engine/docinfo.html");
    auto text = readFile(templatePath);
    if (!text) return Failure{"The information page is missing from this build."};
    const std::string script =
        ReaderAddress::fileURL(EngineLocator::locate("app/docinfo.js", "/engine/docinfo.js"));
    std::string page = *text;
    auto replace = [&page](const std::string& key, const std::string& value) {
        for (size_t at = page.find(key); at != std::string::npos;
             at = page.find(key, at + value.size()))
            page.replace(at, key.size(), value);
    };
    replace("__THEME__", dark ? "dark" : "light");
    replace("__SCRIPT__", script);
    replace("__INFO__", HistoryPage::escapeForScript(
                            info.dump(-1, ' ', false, json::error_handler_t::replace)));
    const std::string dir = UserDirs::archiveDir();
    makeDirs(dir);
    const std::string out = dir + "/.info-" + newUuid() + ".html";
    if (auto written = writeFileAtomic(out, page); !written) return Failure{written.error()};
    return out;
}

}  // namespace cvl::DocumentInfo
