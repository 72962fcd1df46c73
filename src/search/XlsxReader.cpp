#include "search/XlsxReader.h"

#include <charconv>
#include <map>

#include "search/XmlEvents.h"
#include "search/ZipArchive.h"

namespace cvl::XlsxReader {
namespace {

class WorkbookParser : public XmlHandler {
  public:
    std::vector<SheetRef> sheets;
    void startElement(std::string_view name, const Attributes& attrs) override {
        if (localName(name) != "sheet") return;
        SheetRef s;
        s.name = std::string(attribute(attrs, {"name"}).value_or("Sheet"));
        s.relId = std::string(attribute(attrs, {"r:id", "id", "relationships:id"}).value_or(""));
        sheets.push_back(std::move(s));
    }
    void endElement(std::string_view) override {}
    void characters(std::string_view) override {}
};

class RelsParser : public XmlHandler {
  public:
    std::vector<std::pair<std::string, std::string>> rels;
    void startElement(std::string_view name, const Attributes& attrs) override {
        if (localName(name) != "Relationship") return;
        auto id = attribute(attrs, {"Id"});
        auto target = attribute(attrs, {"Target"});
        if (id && target) rels.emplace_back(*id, *target);
    }
    void endElement(std::string_view) override {}
    void characters(std::string_view) override {}
};

class SharedParser : public XmlHandler {
  public:
    std::vector<std::string> strings;
    void startElement(std::string_view name, const Attributes&) override {
        if (localName(name) == "si") {
            inItem_ = true;
            current_.clear();
        }
    }
    void endElement(std::string_view name) override {
        if (localName(name) == "si") {
            strings.push_back(std::move(current_));
            current_.clear();
            inItem_ = false;
        }
    }
    void characters(std::string_view s) override {
        if (inItem_) current_ += s;
    }

  private:
    bool inItem_ = false;
    std::string current_;
};

class SheetParser : public XmlHandler {
  public:
    explicit SheetParser(const std::vector<std::string>& shared) : shared_(shared) {}
    std::vector<std::pair<std::string, std::string>> out;

    void startElement(std::string_view name, const Attributes& attrs) override {
        std::string_view local = localName(name);
        if (local == "c") {
            ref_ = std::string(attribute(attrs, {"r"}).value_or(""));
            type_ = std::string(attribute(attrs, {"t"}).value_or(""));
            value_.clear();
        } else if (local == "v") {
            inValue_ = true;
            value_.clear();
        } else if (local == "t") {
            if (type_ == "inlineStr") inInline_ = true;
        }
    }
    void endElement(std::string_view name) override {
        std::string_view local = localName(name);
        if (local == "v") {
            inValue_ = false;
            if (type_ == "s") {
                std::string_view digits = value_;
                if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
                long long index = 0;
                auto [end, ec] =
                    std::from_chars(digits.data(), digits.data() + digits.size(), index);
                if (ec == std::errc() && end == digits.data() + digits.size() && !digits.empty() &&
                    index >= 0 && static_cast<unsigned long long>(index) < shared_.size())
                    emit(shared_[static_cast<std::size_t>(index)]);
            } else {
                emit(value_);
            }
        } else if (local == "t") {
            if (inInline_) {
                inInline_ = false;
                emit(value_);
            }
        }
    }
    void characters(std::string_view s) override {
        if (inValue_ || inInline_) value_ += s;
    }

  private:
    void emit(const std::string& text) {
        if (ref_.empty() || text.empty()) return;
        out.emplace_back(ref_, text);
        ref_.clear();
    }

    const std::vector<std::string>& shared_;
    std::string ref_;
    std::string type_;
    std::string value_;
    bool inValue_ = false;
    bool inInline_ = false;
};

}  // namespace

std::vector<SheetRef> parseWorkbook(std::string_view xml) {
    WorkbookParser p;
    parseXml(xml, p);
    return std::move(p.sheets);
}

std::vector<std::pair<std::string, std::string>> parseRelationships(std::string_view xml) {
    RelsParser p;
    parseXml(xml, p);
    return std::move(p.rels);
}

std::vector<std::string> parseSharedStrings(std::string_view xml) {
    SharedParser p;
    parseXml(xml, p);
    return std::move(p.strings);
}

std::vector<std::pair<std::string, std::string>> parseSheet(
    std::string_view xml, const std::vector<std::string>& shared) {
    SheetParser p(shared);
    parseXml(xml, p);
    return std::move(p.out);
}

std::vector<Cell> cells(const std::string& path) {
    ZipArchive zip(path);
    if (!zip.isOpen()) return {};
    std::vector<SheetRef> sheets;
    if (auto wb = zip.member("xl/workbook.xml")) sheets = parseWorkbook(*wb);

    std::map<std::string, std::string> rels;
    if (auto r = zip.member("xl/_rels/workbook.xml.rels"))
        for (auto& [id, target] : parseRelationships(*r)) rels[id] = target;

    std::vector<std::pair<std::string, std::string>> resolved;  // (sheet name, member)
    if (!rels.empty()) {
        for (const auto& s : sheets) {
            auto it = rels.find(s.relId);
            if (it == rels.end()) continue;
            const std::string& t = it->second;
            resolved.emplace_back(s.name, !t.empty() && t[0] == '/' ? t.substr(1) : "xl/" + t);
        }
    }
    if (resolved.empty())
        for (std::size_t k = 0; k < sheets.size(); ++k)
            resolved.emplace_back(sheets[k].name,
                                  "xl/worksheets/sheet" + std::to_string(k + 1) + ".xml");

    std::vector<std::string> shared;
    if (auto ss = zip.member("xl/sharedStrings.xml")) shared = parseSharedStrings(*ss);

    std::vector<Cell> out;
    for (const auto& [sheetName, member] : resolved) {
        auto xml = zip.member(member);
        if (!xml) continue;
        for (auto& [ref, text] : parseSheet(*xml, shared)) out.push_back({sheetName, ref, text});
    }
    return out;
}

}  // namespace cvl::XlsxReader
