// Tesseract behind TextRecognizer: one TessBaseAPI per thread, LSTM recognition with the
// dictionary on, automatic page segmentation, text lines read back with their boxes.
#include "platform/ocr/TextRecognizer.h"

#include <dlfcn.h>
#include <locale.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <memory>

#include "platform/Env.h"
#include "platform/SysLog.h"

namespace cvl::TextRecognizer {
namespace {

// Numbers in the recogniser's data and parameters are parsed with the C library, which reads
// the thread's locale: a desktop locale with a decimal comma would misread them. The C locale
// is put on this thread only, for the length of a call.
class CNumericLocale {
  public:
    CNumericLocale() {
        static locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
        if (c) previous_ = uselocale(c);
    }
    ~CNumericLocale() {
        if (previous_) uselocale(previous_);
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

  private:
    locale_t previous_ = locale_t(0);
};

// Tesseract parallelises its network layers with OpenMP, and each of our worker threads would
// start a team of its own: with one engine per core that only adds contention. Making every
// parallel region of this thread inactive keeps each engine on its own thread. Looked up at
// run time, so a library built without OpenMP needs nothing.
void singleThreadedOpenMP() {
    using SetInt = void (*)(int);
    static auto maxLevels =
        reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    static auto numThreads = reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    if (maxLevels) maxLevels(0);
    if (numThreads) numThreads(1);
}

std::string languageSetting() {
    std::string lang = envValue("CVL_OCR_LANG");
    return lang.empty() ? "eng" : lang;
}

struct Engine {
    tesseract::TessBaseAPI api;
    bool ready = false;
};

// The calling thread's engine, made once; null when it cannot be initialised.
Engine* threadEngine() {
    thread_local std::unique_ptr<Engine> engine;
    thread_local bool tried = false;
    if (tried) return engine && engine->ready ? engine.get() : nullptr;
    tried = true;
    singleThreadedOpenMP();
    CNumericLocale cLocale;
    engine = std::make_unique<Engine>();
    // Silences the recogniser's progress and warning lines ("Estimating resolution as ...").
    engine->api.SetVariable("debug_file", "/dev/null");
    const std::string lang = languageSetting();
    if (engine->api.Init(nullptr, lang.c_str(), tesseract::OEM_LSTM_ONLY) != 0 &&
        engine->api.Init(nullptr, lang.c_str(), tesseract::OEM_DEFAULT) != 0) {
        cvlLog("ocr: the recogniser could not load the language data for \"%s\"", lang.c_str());
        engine.reset();
        return nullptr;
    }
    engine->api.SetPageSegMode(tesseract::PSM_AUTO);
    engine->ready = true;
    return engine.get();
}

std::string trimLine(const char* text) {
    std::string s = text ? text : "";
    auto end = s.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return {};
    auto begin = s.find_first_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

}  // namespace

std::vector<OcrLine> recognize(const OcrImageView& image) {
    std::vector<OcrLine> lines;
    if (!image.samples || image.width <= 0 || image.height <= 0 ||
        (image.channels != 1 && image.channels != 3))
        return lines;
    Engine* engine = threadEngine();
    if (!engine) return lines;
    CNumericLocale cLocale;
    tesseract::TessBaseAPI& api = engine->api;
    api.SetImage(image.samples, image.width, image.height, image.channels,
                 image.width * image.channels);
    api.SetSourceResolution(image.dpi > 0 ? image.dpi : 144);
    if (api.Recognize(nullptr) != 0) {
        api.Clear();
        return lines;
    }
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    const double w = image.width;
    const double h = image.height;
    if (it) {
        do {
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            std::string line = trimLine(text.get());
            int left = 0, top = 0, right = 0, bottom = 0;
            if (line.empty() ||
                !it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                continue;
            OcrLine out;
            out.text = std::move(line);
            out.x = left / w;
            out.y = (h - bottom) / h;
            out.width = (right - left) / w;
            out.height = (bottom - top) / h;
            out.confidence = it->Confidence(tesseract::RIL_TEXTLINE);
            lines.push_back(std::move(out));
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    it.reset();
    api.Clear();
    return lines;
}

bool available() {
    return threadEngine() != nullptr;
}

std::string languages() {
    return languageSetting();
}

}  // namespace cvl::TextRecognizer
