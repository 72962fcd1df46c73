// Text recognition of page images: lines of text with their boxes. Wraps the recogniser
// library; nothing outside this folder sees it.
//
// Each calling thread gets an engine of its own, made on first use and kept for the thread's
// life, so pages can be recognised in parallel on the worker pool. The library's own worker
// threads are turned off per engine (our threads already keep the cores busy), and numbers
// are parsed in the "C" locale whatever locale the desktop set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cvl {

// One recognised line. The box is normalised to the image (0 to 1 on both axes) with the
// origin at the bottom-left corner, as page coordinates are.
struct OcrLine {
    std::string text;  // UTF-8, without a trailing line break
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double confidence = 0;  // 0 to 100
};

// 8-bit samples, rows top to bottom without padding: 1 channel (grey) or 3 (RGB).
struct OcrImageView {
    const std::uint8_t* samples = nullptr;
    int width = 0;
    int height = 0;
    int channels = 1;
    int dpi = 144;  // the image's resolution, a hint for the recogniser
};

namespace TextRecognizer {

// The lines of the image in reading order; empty when nothing was recognised or the
// recogniser failed (a failure is logged once per thread).
std::vector<OcrLine> recognize(const OcrImageView& image);

// Whether an engine can be made on this thread (the language data is installed).
bool available();

// The languages recognised, as the recogniser names them ("eng").
std::string languages();

}  // namespace TextRecognizer
}  // namespace cvl
