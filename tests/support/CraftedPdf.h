// Test helper: PDFs written byte by byte, for shapes no well-behaved writer makes.
#pragma once

#include <map>
#include <string>

namespace cvl::test {

// A classic cross-reference PDF of numbered objects; `trailerExtra` adds trailer entries.
inline std::string rawPdf(const std::map<int, std::string>& objs,
                          const std::string& trailerExtra = "") {
    const int size = objs.rbegin()->first + 1;
    std::string out = "%PDF-1.7\n";
    std::map<int, size_t> offsets;
    for (const auto& [n, body] : objs) {
        offsets[n] = out.size();
        out += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
    char line[32];
    for (int n = 1; n < size; ++n) {
        auto it = offsets.find(n);
        if (it == offsets.end())
            out += "0000000000 65535 f \n";
        else {
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", it->second);
            out += line;
        }
    }
    out += "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R" + trailerExtra +
           " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

// Three text pages ("Page 1" …) whose outline nests `depth` levels, one entry per level.
inline std::string deepOutlinePdf(int depth) {
    std::map<int, std::string> objs;
    objs[1] = "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R >>";
    objs[2] = "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>";
    objs[6] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    for (int i = 0; i < 3; ++i) {
        objs[3 + i] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents " +
                      std::to_string(7 + i) + " 0 R /Resources << /Font << /F1 6 0 R >> >> >>";
        std::string s = "BT /F1 24 Tf 50 150 Td (Page " + std::to_string(i + 1) + ") Tj ET";
        objs[7 + i] =
            "<< /Length " + std::to_string(s.size()) + " >>\nstream\n" + s + "\nendstream";
    }
    const int base = 11;
    objs[10] = "<< /Type /Outlines /First 11 0 R /Last 11 0 R /Count 1 >>";
    for (int d = 0; d < depth; ++d) {
        const int n = base + d;
        std::string kid;
        if (d < depth - 1)
            kid = " /First " + std::to_string(n + 1) + " 0 R /Last " + std::to_string(n + 1) +
                  " 0 R /Count 1";
        objs[n] = "<< /Title (L" + std::to_string(d) + ") /Parent " +
                  std::to_string(d == 0 ? 10 : n - 1) + " 0 R /Dest [3 0 R /Fit]" + kid + " >>";
    }
    return rawPdf(objs);
}

// A tagged three-page PDF with document information and a form of three fields (a text field
// and a parent holding two check boxes); pages: Letter, A4, and Letter turned a quarter.
inline std::string taggedFormPdf() {
    std::map<int, std::string> objs;
    objs[1] =
        "<< /Type /Catalog /Pages 2 0 R /MarkInfo << /Marked true >> /StructTreeRoot 20 0 R "
        "/AcroForm << /Fields [12 0 R 13 0 R] >> >>";
    objs[2] = "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>";
    objs[6] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    const char* boxes[] = {"[0 0 612 792]", "[0 0 595.28 841.89]", "[0 0 612 792] /Rotate 90"};
    for (int i = 0; i < 3; ++i) {
        objs[3 + i] = "<< /Type /Page /Parent 2 0 R /MediaBox " + std::string(boxes[i]) +
                      " /Contents " + std::to_string(7 + i) +
                      " 0 R /Resources << /Font << /F1 6 0 R >> >>" +
                      (i == 0 ? " /Annots [12 0 R 14 0 R 15 0 R]" : "") + " >>";
        std::string t = "BT /F1 24 Tf 50 150 Td (Page " + std::to_string(i + 1) + ") Tj ET";
        objs[7 + i] =
            "<< /Length " + std::to_string(t.size()) + " >>\nstream\n" + t + "\nendstream";
    }
    objs[10] =
        "<< /Title (Lease of Unit 4) /Author (Ana Pereira) /Producer (Hand Made 1.0) "
        "/CreationDate (D:20240131094500+01'00') >>";
    objs[12] =
        "<< /Type /Annot /Subtype /Widget /FT /Tx /T (tenant) /Rect [50 600 250 620] /P 3 0 R >>";
    objs[13] = "<< /T (options) /FT /Btn /Kids [14 0 R 15 0 R] >>";
    objs[14] =
        "<< /Type /Annot /Subtype /Widget /T (pets) /Parent 13 0 R /Rect [50 560 64 574] /P 3 0 R "
        ">>";
    objs[15] =
        "<< /Type /Annot /Subtype /Widget /T (parking) /Parent 13 0 R /Rect [50 530 64 544] /P 3 0 "
        "R >>";
    objs[20] = "<< /Type /StructTreeRoot /K [] >>";
    return rawPdf(objs, " /Info 10 0 R");
}

}  // namespace cvl::test
