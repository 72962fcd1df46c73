// Test helper: a two-page Letter form written object by object, with every kind of field:
// - page 1: text "name" (automatic size, no appearance yet), multi-line text "notes",
//   check box "agree" (on state "Accept", off), radio group "Choice" of three buttons with the
//   on states A, B, C (the third on), combo box "country" (France, Germany, Greece exported as
//   "gr"), push button "submit";
// - page 2: text "city" (value "Lyon", with an appearance), signature field "sig" (unsigned);
// - the page text "Applicant form" on page 1 and "Second page" on page 2.
#pragma once

#include <string>
#include <vector>

namespace cvl::test {

// Raw PDF bytes from object bodies (object n is bodies[n-1]) with a correct xref table.
inline std::string rawPdf(const std::vector<std::string>& bodies, int root = 1) {
    std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    size_t xref = out.size();
    out += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root " +
           std::to_string(root) + " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

inline std::string pdfStream(const std::string& dict, const std::string& data) {
    return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
           "\nendstream";
}

// `needAppearances` sets /NeedAppearances true in the form dictionary.
inline std::string makeFormPdfBytes(bool needAppearances = false) {
    const std::string check = "q 0 g BT /ZaDb 12 Tf 3 4 Td (4) Tj ET Q";
    const std::string dot = "q 0 g 5 5 6 6 re f Q";
    std::vector<std::string> o(30, "null");
    o[0] = std::string(
               "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [6 0 R 7 0 R 8 0 R 9 0 R "
               "13 0 R 14 0 R 15 0 R 16 0 R] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 5 0 "
               "R /ZaDb 20 0 R >> >>") +
           (needAppearances ? " /NeedAppearances true" : "") + " >> >>";
    o[1] = "<< /Type /Pages /Kids [3 0 R 17 0 R] /Count 2 >>";
    o[2] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << "
        "/Font << /F1 5 0 R >> >> /Annots [6 0 R 7 0 R 8 0 R 10 0 R 11 0 R 12 0 R 13 0 R 14 0 "
        "R] >>";
    o[3] = pdfStream("", "BT /F1 18 Tf 72 740 Td (Applicant form) Tj ET");
    o[4] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    o[5] =
        "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /Rect [150 680 450 700] /P 3 0 R "
        "/F 4 /DA (/Helv 0 Tf 0 g) >>";
    o[6] =
        "<< /Type /Annot /Subtype /Widget /FT /Tx /Ff 4096 /T (notes) /Rect [150 560 450 660] "
        "/P 3 0 R /F 4 /DA (/Helv 10 Tf 0 0 1 rg) >>";
    o[7] =
        "<< /Type /Annot /Subtype /Widget /FT /Btn /T (agree) /Rect [150 520 170 540] /P 3 0 R "
        "/F 4 /V /Off /AS /Off /DA (/ZaDb 0 Tf 0 g) /AP << /N << /Accept 21 0 R /Off 22 0 R >> "
        ">> >>";
    o[8] = "<< /FT /Btn /Ff 49152 /T (Choice) /V /C /Kids [10 0 R 11 0 R 12 0 R] >>";
    for (int i = 0; i < 3; ++i) {
        const char* state = i == 0 ? "A" : i == 1 ? "B" : "C";
        int x = 150 + 40 * i;
        o[size_t(9 + i)] = "<< /Type /Annot /Subtype /Widget /Parent 9 0 R /Rect [" +
                           std::to_string(x) + " 480 " + std::to_string(x + 16) +
                           " 496] /P 3 0 R /F 4 /AS /" + (i == 2 ? "C" : "Off") +
                           " /AP << /N << /" + state + " 23 0 R /Off 22 0 R >> >> >>";
    }
    o[12] =
        "<< /Type /Annot /Subtype /Widget /FT /Ch /Ff 131072 /T (country) /Rect [150 440 300 "
        "460] /P 3 0 R /F 4 /DA (/Helv 11 Tf 0 g) /Opt [(France) (Germany) [(gr) (Greece)]] >>";
    o[13] =
        "<< /Type /Annot /Subtype /Widget /FT /Btn /Ff 65536 /T (submit) /Rect [150 400 230 "
        "420] /P 3 0 R /F 4 /MK << /CA (Send) >> /AP << /N 24 0 R >> >>";
    o[14] =
        "<< /Type /Annot /Subtype /Widget /FT /Tx /T (city) /V (Lyon) /Rect [150 700 350 720] "
        "/P 17 0 R /F 4 /DA (/Helv 12 Tf 0 g) /AP << /N 25 0 R >> >>";
    o[15] =
        "<< /Type /Annot /Subtype /Widget /FT /Sig /T (sig) /Rect [150 600 350 640] /P 17 0 R "
        "/F 4 >>";
    o[16] =
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 18 0 R /Resources << "
        "/Font << /F1 5 0 R >> >> /Annots [15 0 R 16 0 R] >>";
    o[17] = pdfStream("", "BT /F1 18 Tf 72 740 Td (Second page) Tj ET");
    o[19] = "<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>";
    o[20] = pdfStream(
        "/Type /XObject /Subtype /Form /BBox [0 0 20 20] /Resources << /Font << /ZaDb "
        "20 0 R >> >>",
        check);
    o[21] = pdfStream("/Type /XObject /Subtype /Form /BBox [0 0 20 20]", "");
    o[22] = pdfStream("/Type /XObject /Subtype /Form /BBox [0 0 16 16]", dot);
    o[23] = pdfStream(
        "/Type /XObject /Subtype /Form /BBox [0 0 80 20] /Resources << /Font << /Helv "
        "5 0 R >> >>",
        "0.8 g 0 0 80 20 re f BT 0 g /Helv 12 Tf 20 6 Td (Send) Tj ET");
    o[24] = pdfStream(
        "/Type /XObject /Subtype /Form /BBox [0 0 200 20] /Resources << /Font << /Helv "
        "5 0 R >> >>",
        "/Tx BMC BT 0 g /Helv 12 Tf 2 6 Td (Lyon) Tj ET EMC");
    o.resize(25);
    return rawPdf(o);
}

}  // namespace cvl::test
