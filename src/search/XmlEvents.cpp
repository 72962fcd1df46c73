#include "search/XmlEvents.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>

namespace cvl {
namespace {

struct ParserFree {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** atts) {
    XmlHandler::Attributes attrs;
    for (int i = 0; atts && atts[i] && atts[i + 1]; i += 2)
        attrs.emplace_back(atts[i], atts[i + 1]);
    static_cast<XmlHandler*>(data)->startElement(name, attrs);
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    static_cast<XmlHandler*>(data)->endElement(name);
}

void XMLCALL onText(void* data, const XML_Char* s, int len) {
    static_cast<XmlHandler*>(data)->characters(std::string_view(s, static_cast<std::size_t>(len)));
}

}  // namespace

std::optional<std::string_view> XmlHandler::attribute(
    const Attributes& attrs, std::initializer_list<std::string_view> names) {
    for (auto want : names)
        for (const auto& [k, v] : attrs)
            if (k == want) return v;
    return std::nullopt;
}

std::string_view XmlHandler::localName(std::string_view qualified) {
    auto colon = qualified.rfind(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

bool parseXml(std::string_view document, XmlHandler& handler) {
    std::unique_ptr<XML_ParserStruct, ParserFree> parser(XML_ParserCreate("UTF-8"));
    if (!parser) return false;
    XML_SetUserData(parser.get(), &handler);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    // Feed in pieces so that documents beyond INT_MAX bytes are still accepted.
    constexpr std::size_t kPiece = 1u << 24;
    std::size_t pos = 0;
    do {
        std::size_t n = std::min(kPiece, document.size() - pos);
        bool last = pos + n == document.size();
        if (XML_Parse(parser.get(), document.data() + pos, static_cast<int>(n), last) ==
            XML_STATUS_ERROR)
            return false;
        pos += n;
    } while (pos < document.size());
    return true;
}

}  // namespace cvl
