// An event-driven XML parser (expat) that reports element starts and ends with qualified
// names and their attributes, and character data, to a handler.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cvl {

class XmlHandler {
  public:
    using Attributes = std::vector<std::pair<std::string_view, std::string_view>>;
    virtual ~XmlHandler() = default;
    virtual void startElement(std::string_view name, const Attributes& attrs) = 0;
    virtual void endElement(std::string_view name) = 0;
    virtual void characters(std::string_view text) = 0;

    // The value of the first attribute with one of `names`, in the order given.
    static std::optional<std::string_view> attribute(const Attributes& attrs,
                                                     std::initializer_list<std::string_view> names);
    // "x:c" -> "c"
    static std::string_view localName(std::string_view qualified);
};

// Parses the whole document; false when it is malformed (the handler keeps what it got).
bool parseXml(std::string_view document, XmlHandler& handler);

}  // namespace cvl
