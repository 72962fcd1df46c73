#include "agent/PageTranslation.h"

#include <map>

#include "platform/TextEscape.h"
#include "platform/translate/Apertium.h"
#include "platform/translate/LanguageId.h"

namespace cvl::PageTranslation {
namespace {

using CvlNativeAI::Failure;

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out += "\n\n";
        out += parts[i];
    }
    return out;
}

}  // namespace

std::vector<std::string> paragraphs(const std::string& text) {
    std::string t;
    t.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            t += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            t += text[i];
        }
    }
    std::vector<std::string> out;
    std::string current;
    bool open = false;
    std::size_t start = 0;
    while (start <= t.size()) {
        std::size_t end = t.find('\n', start);
        if (end == std::string::npos) end = t.size();
        const std::string line = t.substr(start, end - start);
        if (trimWhitespace(line).empty()) {
            if (open) out.push_back(current);
            current.clear();
            open = false;
        } else {
            if (open) current += '\n';
            current += line;
            open = true;
        }
        start = end + 1;
    }
    if (open) out.push_back(current);
    return out;
}

std::string languageName(const std::string& code) {
    static const std::map<std::string, std::string> names = {
        {"afr", "Afrikaans"},
        {"ara", "Arabic"},
        {"arg", "Aragonese"},
        {"ast", "Asturian"},
        {"bel", "Belarusian"},
        {"bre", "Breton"},
        {"bul", "Bulgarian"},
        {"cat", "Catalan"},
        {"ces", "Czech"},
        {"dan", "Danish"},
        {"deu", "German"},
        {"ell", "Greek"},
        {"eng", "English"},
        {"epo", "Esperanto"},
        {"eus", "Basque"},
        {"fas", "Persian"},
        {"fin", "Finnish"},
        {"fra", "French"},
        {"frp", "Arpitan"},
        {"glg", "Galician"},
        {"hbs", "Serbo-Croatian"},
        {"heb", "Hebrew"},
        {"hin", "Hindi"},
        {"hun", "Hungarian"},
        {"ind", "Indonesian"},
        {"isl", "Icelandic"},
        {"ita", "Italian"},
        {"jpn", "Japanese"},
        {"kor", "Korean"},
        {"mkd", "Macedonian"},
        {"nld", "Dutch"},
        {"nno", "Norwegian Nynorsk"},
        {"nob", "Norwegian Bokmål"},
        {"nor", "Norwegian"},
        {"oci", "Occitan"},
        {"pol", "Polish"},
        {"por", "Portuguese"},
        {"ron", "Romanian"},
        {"rus", "Russian"},
        {"slk", "Slovak"},
        {"slv", "Slovenian"},
        {"spa", "Spanish"},
        {"srd", "Sardinian"},
        {"swe", "Swedish"},
        {"szl", "Silesian"},
        {"tur", "Turkish"},
        {"ukr", "Ukrainian"},
        {"urd", "Urdu"},
        {"zho", "Chinese"},
        {"zlm", "Malay"},
    };
    auto it = names.find(Apertium::apertiumCode(code));
    return it == names.end() ? code : it->second;
}

std::variant<std::string, Failure> translate(
    const std::string& text, const std::string& from, const std::string& to,
    const std::function<void(const std::string&)>& partial) {
    const Failure detectFailure{"detect",
                                "The language on this page is hard to tell. Pick it in the From "
                                "menu."};
    const std::vector<std::string> parts = paragraphs(text);
    std::string source = from;
    if (source == "auto") {
        auto found = LanguageId::detect(text);
        if (!found) return detectFailure;
        source = *found;
    }
    const std::string from3 = Apertium::apertiumCode(source);
    const std::string to3 = Apertium::apertiumCode(to);
    const std::string fromName = languageName(source), toName = languageName(to);
    if (from3 == to3)
        return Failure{"same", "This page is already in " + fromName +
                                   ". Pick another language in the To menu."};
    const auto installed = Apertium::installedDirections();
    if (!installed.count(from3 + "-" + to3)) {
        auto package = Apertium::packageFor(from3, to3);
        // A pair Debian offers whose package is installed but lacks this direction is as
        // unsupported as one no package offers.
        if (!package || installed.count(to3 + "-" + from3))
            return Failure{"unsupported", fromName + " to " + toName +
                                              " is outside what this computer translates. Pick "
                                              "another pair."};
        return Failure{"notInstalled", "Add " + fromName + " and " + toName +
                                           " by installing the package " + *package +
                                           " (sudo apt install " + *package +
                                           "), then translate again."};
    }
    if (parts.empty()) return std::string();
    std::vector<std::string> done;
    Status s = Apertium::translate(from3, to3, parts, [&](std::size_t, const std::string& t) {
        done.push_back(t);
        if (partial) partial(joined(done, done.size()));
    });
    if (!s) return Failure{"error", "Translation stopped: " + s.error()};
    return joined(done, done.size());
}

}  // namespace cvl::PageTranslation
