// Helpers for the document-operation tests: a page that keeps what the host hands it (as the
// redaction, signing and reader pages do), a PDF full of things a redaction must drop, and
// independent renderings through poppler.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/pdf/PdfDocument.h"
#include "support/FormPdf.h"
#include "support/ModuleFakes.h"
#include "support/PdfTools.h"

namespace cvl::test {

// A window whose page keeps the built copies the host sends (cvlRedactBuilt, cvlSignBuilt) and
// answers the reads of the page contract from them; `plan` and `filled` are set by the test.
class KeepingPage : public FakeWindow {
  public:
    std::string redactOut, redactAudit, signOut;
    std::optional<std::string> plan, filled;

    void evaluateScript(const std::string& script) override {
        FakeWindow::evaluateScript(script);
        keep(script, "cvlRedactBuilt", [&](const nlohmann::json& j) {
            redactOut = j.value("out", "");
            redactAudit = j.value("audit", "");
        });
        keep(script, "cvlSignBuilt",
             [&](const nlohmann::json& j) { signOut = j.value("out", ""); });
    }
    void evaluateScript(const std::string& script,
                        std::function<void(std::optional<std::string>)> reply) override {
        scripts.push_back(script);
        if (script.find("__cvlRedactOut") != std::string::npos) return reply(redactOut);
        if (script.find("__cvlRedactAudit") != std::string::npos) return reply(redactAudit);
        if (script.find("__cvlSignExport") != std::string::npos) return reply(signOut);
        if (script.find("__cvlSignPlan") != std::string::npos) return reply(plan);
        if (script.find("__cvlFilledB64") != std::string::npos) return reply(filled);
        reply(std::nullopt);
    }
    // The JSON argument of the last call of a page function.
    nlohmann::json lastArgument(const std::string& function) const {
        auto calls = callsOf(function);
        if (calls.empty()) return nullptr;
        const std::string& s = calls.back();
        size_t open = s.find(function + "(") + function.size() + 1;
        size_t close = s.rfind(")}catch");
        return nlohmann::json::parse(s.substr(open, close - open), nullptr, false);
    }

  private:
    template <class F>
    void keep(const std::string& script, const std::string& function, F f) {
        if (script.find("if(window." + function + ")") != 0) return;
        size_t open = script.find(function + "(") + function.size() + 1;
        size_t close = script.rfind(")}catch");
        auto j = nlohmann::json::parse(script.substr(open, close - open), nullptr, false);
        if (j.is_object()) f(j);
    }
};

struct KeepingHarness : ModuleHarness {
    std::shared_ptr<KeepingPage> page = std::make_shared<KeepingPage>();
    KeepingHarness() { window = page; }
};

// One Letter page with the line "Secret 4471 account" above "Public words stay", plus what a
// flattened copy must not carry: an /Info title, XMP metadata, a note annotation, an outline
// entry and an attachment, each holding the word "Secret".
inline std::string makeSecretsPdfBytes() {
    const std::string xmp =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>Secret "
        "Title</dc:title></rdf:Description></rdf:RDF></x:xmpmeta>";
    std::vector<std::string> o(12, "null");
    o[0] =
        "<< /Type /Catalog /Pages 2 0 R /Metadata 6 0 R /Outlines 7 0 R /Names << "
        "/EmbeddedFiles << /Names [(Secret.txt) 10 0 R] >> >> >>";
    o[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
    o[2] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << "
        "/Font << /F1 5 0 R >> >> /Annots [9 0 R] >>";
    o[3] = pdfStream("",
                     "BT /F1 16 Tf 72 700 Td (Secret 4471 account) Tj 0 -40 Td (Public words "
                     "stay) Tj ET");
    o[4] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    o[5] = pdfStream("/Type /Metadata /Subtype /XML", xmp);
    o[6] = "<< /Type /Outlines /First 8 0 R /Last 8 0 R /Count 1 >>";
    o[7] = "<< /Title (Secret chapter) /Parent 7 0 R /Dest [3 0 R /Fit] >>";
    o[8] =
        "<< /Type /Annot /Subtype /Text /Rect [400 700 420 720] /Contents (Secret note) /T "
        "(Secret author) >>";
    o[9] = "<< /Type /Filespec /F (Secret.txt) /EF << /F 11 0 R >> >>";
    o[10] = pdfStream("/Type /EmbeddedFile", "Secret attachment");
    o[11] = "<< /Title (Secret Title) /Author (Secret Author) >>";
    std::string bytes = rawPdf(o);
    // rawPdf writes no /Info; add it to the trailer.
    auto at = bytes.find("/Root 1 0 R");
    bytes.insert(at, "/Info 12 0 R ");
    return bytes;
}

// A grey rendering by poppler of a region of a page (points at 72 dpi, y from the top).
struct GreyImage {
    int width = 0;
    int height = 0;
    std::string pixels;
    int darkest() const {
        int v = 255;
        for (unsigned char p : pixels) v = std::min(v, int(p));
        return v;
    }
    int lightest() const {
        int v = 0;
        for (unsigned char p : pixels) v = std::max(v, int(p));
        return v;
    }
};

inline GreyImage popplerGrey(const std::string& path, int page, int x, int y, int w, int h) {
    auto r =
        runTool("pdftoppm", {"-r", "72", "-gray", "-f", std::to_string(page), "-l",
                             std::to_string(page), "-x", std::to_string(x), "-y", std::to_string(y),
                             "-W", std::to_string(w), "-H", std::to_string(h), path});
    GreyImage img;
    const std::string& s = r.out;
    if (s.rfind("P5", 0) != 0) return img;
    size_t pos = 2;
    auto next = [&] {
        while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
        size_t start = pos;
        while (pos < s.size() && !std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
        return std::atoi(s.substr(start, pos - start).c_str());
    };
    img.width = next();
    img.height = next();
    next();  // max value
    ++pos;
    img.pixels = s.substr(pos);
    return img;
}

}  // namespace cvl::test
