// Text recognition for the "Keep it searchable" option of the flattened copies. The OCR module
// installs its recogniser at start-up (setPictureRecogniser); without one the option reports
// that this build cannot recognise text.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/pdf/PdfPageDrawing.h"
#include "platform/pdf/PdfRender.h"

namespace cvl {

// One recognised line: its text and its box normalised to 0...1 over the picture, origin at the
// bottom left.
struct RecognisedLine {
    std::string text;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

using PictureRecogniser = std::function<std::vector<RecognisedLine>(const PdfBitmap& picture)>;

void setPictureRecogniser(PictureRecogniser recogniser);
// The installed recogniser; empty when there is none.
PictureRecogniser pictureRecogniser();

// The lines in the points of a page that shows the picture whole at its resolution.
std::vector<PdfTextLayerLine> textLayerFromLines(const std::vector<RecognisedLine>& lines,
                                                 const PdfBitmap& picture);

}  // namespace cvl
