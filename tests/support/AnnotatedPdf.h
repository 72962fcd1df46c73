// Test helper: a two-page lease carrying every kind of annotation the exports meet, placed on
// the page's own text so that what each mark covers is known.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/pdf/PdfAnnotations.h"
#include "support/PdfFixtures.h"

namespace cvl::test {

// The rectangle of a phrase on a page, from the page's own text layout.
inline PdfRect phraseRect(const PdfDocument& doc, int page, const std::string& phrase) {
    auto text = doc.pageTextWithBoxes(page);
    EXPECT_TRUE(text.has_value());
    if (!text) return {};
    auto at = text->text.find(phrase);
    EXPECT_NE(at, std::string::npos) << phrase;
    auto rects = text->rectsForRange(at, at + phrase.size());
    EXPECT_EQ(rects.size(), 1u);
    return rects.empty() ? PdfRect{} : rects[0];
}

inline std::array<PdfPoint, 4> quadOf(const PdfRect& r) {
    return {PdfPoint{r.x0, r.y1}, PdfPoint{r.x1, r.y1}, PdfPoint{r.x0, r.y0}, PdfPoint{r.x1, r.y0}};
}

// Page 1: a highlight over "pay rent monthly" (note "check the amount", author "ana"), an
// underline without quadrilaterals over the second line, a strike-out over two lines, a
// pop-up and a link. Page 2: a text note over two lines, a free-text note and a form field.
// Five of the eight are the reader's own marks.
inline std::string annotatedLease() {
    PdfDocument doc = makeTextPdf(
        2, "alpha", {"The tenant shall pay rent monthly", "Renewal requires written notice"});
    PdfRect pay = phraseRect(doc, 0, "pay rent monthly");
    PdfRect renewal = phraseRect(doc, 0, "Renewal requires written notice");
    PdfRect tenant = phraseRect(doc, 0, "The tenant");

    EXPECT_TRUE(
        pdfAddAnnotation(doc, 0, {"Highlight", pay, {quadOf(pay)}, "check the amount", "ana"}));
    EXPECT_TRUE(pdfAddAnnotation(doc, 0, {"Underline", renewal, {}, "", ""}));
    EXPECT_TRUE(pdfAddAnnotation(
        doc, 0, {"StrikeOut", tenant.united(renewal), {quadOf(tenant), quadOf(renewal)}, "", ""}));
    EXPECT_TRUE(pdfAddAnnotation(doc, 0, {"Popup", {300, 300, 400, 400}, {}, "popup text", ""}));
    EXPECT_TRUE(doc.addUriLink(0, PdfRect{72, 600, 200, 620}, "https://example.com"));
    EXPECT_TRUE(pdfAddAnnotation(
        doc, 1, {"Text", {500, 700, 520, 720}, {}, "Call the landlord\nbefore Friday", ""}));
    EXPECT_TRUE(pdfAddAnnotation(
        doc, 1, {"FreeText", {72, 400, 300, 430}, {}, "Draft \u2014 not signed", ""}));
    EXPECT_TRUE(pdfAddAnnotation(doc, 1, {"Widget", {72, 300, 200, 320}, {}, "", ""}));
    return bytesOf(doc);
}

}  // namespace cvl::test
