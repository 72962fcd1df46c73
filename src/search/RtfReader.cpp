#include "search/RtfReader.h"

#include <iconv.h>

#include <cctype>
#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "search/UnicodeText.h"

namespace cvl::RtfReader {
namespace {

// Destinations whose text is not part of the document body.
const std::unordered_set<std::string_view>& skippedDestinations() {
    static const std::unordered_set<std::string_view> set = {"fonttbl",     "colortbl",
                                                             "stylesheet",  "info",
                                                             "pict",        "object",
                                                             "header",      "headerl",
                                                             "headerr",     "headerf",
                                                             "footer",      "footerl",
                                                             "footerr",     "footerf",
                                                             "footnote",    "annotation",
                                                             "atnid",       "atnauthor",
                                                             "listtable",   "listoverridetable",
                                                             "revtbl",      "rsidtbl",
                                                             "generator",   "xmlnstbl",
                                                             "themedata",   "colorschememapping",
                                                             "datastore",   "latentstyles",
                                                             "fldinst",     "bkmkstart",
                                                             "bkmkend",     "pgdsctbl",
                                                             "filetbl",     "userprops",
                                                             "docvar",      "private",
                                                             "nonshppict",  "shprslt",
                                                             "shpinst",     "mmathPr",
                                                             "template",    "xform",
                                                             "protusertbl", "operator"};
    return set;
}

std::string iconvName(int codepage) {
    switch (codepage) {
        case 10000:
            return "MACINTOSH";
        case 65001:
            return "UTF-8";
        default:
            return "CP" + std::to_string(codepage);
    }
}

// Decodes runs of \'hh bytes in the document's code page.
class ByteDecoder {
  public:
    ~ByteDecoder() { close(); }
    void setCodepage(int cp) {
        if (cp == codepage_) return;
        close();
        codepage_ = cp;
    }
    std::string decode(const std::string& bytes) {
        if (bytes.empty()) return {};
        if (!cd_) {
            cd_ = iconv_open("UTF-8", iconvName(codepage_).c_str());
            if (cd_ == reinterpret_cast<iconv_t>(-1)) cd_ = iconv_open("UTF-8", "CP1252");
        }
        if (cd_ != reinterpret_cast<iconv_t>(-1)) {
            std::string out(bytes.size() * 4 + 8, '\0');
            char* in = const_cast<char*>(bytes.data());
            size_t inLeft = bytes.size();
            char* o = out.data();
            size_t oLeft = out.size();
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd_, &in, &inLeft, &o, &oLeft) != static_cast<size_t>(-1) && inLeft == 0) {
                out.resize(out.size() - oLeft);
                return out;
            }
        }
        return UnicodeText::latin1ToUtf8(bytes);
    }

  private:
    void close() {
        if (cd_ && cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
        cd_ = nullptr;
    }
    int codepage_ = 1252;
    iconv_t cd_ = nullptr;
};

struct GroupState {
    bool skip = false;
    int ucSkip = 1;
};

class Reader {
  public:
    explicit Reader(std::string_view rtf) : s_(rtf) {}

    std::string run() {
        std::vector<GroupState> stack;
        GroupState st;
        std::size_t i = 0;
        while (i < s_.size()) {
            char c = s_[i];
            if (c == '{') {
                flushBytes();
                stack.push_back(st);
                pendingSkip_ = 0;
                ++i;
                continue;
            }
            if (c == '}') {
                flushBytes();
                if (stack.empty()) break;
                st = stack.back();
                stack.pop_back();
                pendingSkip_ = 0;
                ++i;
                continue;
            }
            if (c == '\\') {
                i = control(i + 1, st);
                continue;
            }
            ++i;
            if (c == '\r' || c == '\n') continue;
            if (st.skip) continue;
            if (pendingSkip_ > 0) {
                --pendingSkip_;
                continue;
            }
            if (static_cast<unsigned char>(c) >= 0x80) {
                bytes_.push_back(c);
            } else {
                flushBytes();
                out_.push_back(c == '\t' ? '\t' : c);
            }
        }
        flushBytes();
        flushSurrogate();
        return UnicodeText::sanitizeUtf8(out_);
    }

  private:
    std::size_t control(std::size_t i, GroupState& st) {
        if (i >= s_.size()) return i;
        char c = s_[i];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++i;
            switch (c) {
                case '\'': {
                    if (i + 2 <= s_.size() && std::isxdigit(static_cast<unsigned char>(s_[i])) &&
                        std::isxdigit(static_cast<unsigned char>(s_[i + 1]))) {
                        int v = std::stoi(std::string(s_.substr(i, 2)), nullptr, 16);
                        i += 2;
                        if (st.skip) return i;
                        if (pendingSkip_ > 0) {
                            --pendingSkip_;
                            return i;
                        }
                        bytes_.push_back(static_cast<char>(v));
                    }
                    return i;
                }
                case '*':
                    st.skip = true;
                    return i;
                case '\\':
                case '{':
                case '}':
                    emitText(st, std::string(1, c));
                    return i;
                case '~':
                    emitText(st, "\u00A0");
                    return i;
                case '_':
                    emitText(st, "\u2011");
                    return i;
                case '-':
                    return i;  // optional hyphen
                case '\n':
                case '\r':
                    emitText(st, "\n");
                    return i;
                case '\t':
                    emitText(st, "\t");
                    return i;
                default:
                    return i;
            }
        }
        std::size_t start = i;
        while (i < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i]))) ++i;
        std::string_view word = s_.substr(start, i - start);
        bool hasParam = false;
        long param = 0;
        std::size_t pstart = i;
        if (i < s_.size() && (s_[i] == '-' || std::isdigit(static_cast<unsigned char>(s_[i])))) {
            ++i;
            while (i < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i])) &&
                   i - pstart < 11)
                ++i;
            std::string digits(s_.substr(pstart, i - pstart));
            if (digits != "-") {
                hasParam = true;
                param = std::strtol(digits.c_str(), nullptr, 10);
            }
        }
        if (i < s_.size() && s_[i] == ' ') ++i;

        if (word == "bin") {
            flushBytes();
            std::size_t n = hasParam && param > 0 ? static_cast<std::size_t>(param) : 0;
            return std::min(s_.size(), i + n);
        }
        if (skippedDestinations().count(word)) {
            st.skip = true;
            return i;
        }
        if (word == "ansicpg" && hasParam) {
            flushBytes();
            decoder_.setCodepage(static_cast<int>(param));
            return i;
        }
        if (word == "mac") decoder_.setCodepage(10000);
        if (word == "pc") decoder_.setCodepage(437);
        if (word == "pca") decoder_.setCodepage(850);
        if (word == "uc" && hasParam) {
            st.ucSkip = static_cast<int>(std::max(0L, param));
            return i;
        }
        if (st.skip) return i;
        if (word == "u" && hasParam) {
            flushBytes();
            long v = param < 0 ? param + 65536 : param;
            emitCodePoint(static_cast<char32_t>(v & 0xFFFF));
            pendingSkip_ = st.ucSkip;
            return i;
        }
        if (word == "par" || word == "sect" || word == "page" || word == "line" || word == "row" ||
            word == "nestrow")
            emitText(st, "\n");
        else if (word == "tab" || word == "cell" || word == "nestcell")
            emitText(st, "\t");
        else if (word == "emdash")
            emitText(st, "\u2014");
        else if (word == "endash")
            emitText(st, "\u2013");
        else if (word == "lquote")
            emitText(st, "\u2018");
        else if (word == "rquote")
            emitText(st, "\u2019");
        else if (word == "ldblquote")
            emitText(st, "\u201C");
        else if (word == "rdblquote")
            emitText(st, "\u201D");
        else if (word == "bullet")
            emitText(st, "\u2022");
        else if (word == "emspace" || word == "enspace" || word == "qmspace")
            emitText(st, " ");
        return i;
    }

    void emitText(const GroupState& st, const std::string& text) {
        if (st.skip) return;
        flushBytes();
        flushSurrogate();
        out_ += text;
    }

    void emitCodePoint(char32_t cp) {
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            flushSurrogate();
            highSurrogate_ = cp;
            return;
        }
        if (cp >= 0xDC00 && cp <= 0xDFFF) {
            if (highSurrogate_) {
                char32_t full = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (cp - 0xDC00);
                highSurrogate_ = 0;
                UnicodeText::appendCodePoint(out_, full);
            }
            return;
        }
        flushSurrogate();
        UnicodeText::appendCodePoint(out_, cp);
    }

    void flushSurrogate() {
        if (highSurrogate_) UnicodeText::appendCodePoint(out_, 0xFFFD);
        highSurrogate_ = 0;
    }

    void flushBytes() {
        if (bytes_.empty()) return;
        flushSurrogate();
        out_ += decoder_.decode(bytes_);
        bytes_.clear();
    }

    std::string_view s_;
    std::string out_;
    std::string bytes_;
    ByteDecoder decoder_;
    int pendingSkip_ = 0;
    char32_t highSurrogate_ = 0;
};

}  // namespace

std::optional<std::string> plainText(std::string_view rtf) {
    std::size_t start = 0;
    if (rtf.substr(0, 3) == "\xEF\xBB\xBF") start = 3;
    while (start < rtf.size() && std::isspace(static_cast<unsigned char>(rtf[start]))) ++start;
    if (rtf.substr(start, 5) != "{\\rtf") return std::nullopt;
    return Reader(rtf.substr(start)).run();
}

}  // namespace cvl::RtfReader
