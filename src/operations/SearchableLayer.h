// Text recognition for the "Keep it searchable" option of the flattened copies. The recogniser
// is the text recognition library's when its language data is installed; tests install their
// own (setPictureRecogniser). Without one the option reports that text cannot be recognised.
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

// Recognition of the picture's lines by the text recognition library.
PictureRecogniser textRecognitionRecogniser();

void setPictureRecogniser(PictureRecogniser recogniser);
// The installed recogniser; empty when there is none.
PictureRecogniser pictureRecogniser();

// The lines in the points of a page that shows the picture whole at its resolution.
std::vector<PdfTextLayerLine> textLayerFromLines(const std::vector<RecognisedLine>& lines,
                                                 const PdfBitmap& picture);

}  // namespace cvl
