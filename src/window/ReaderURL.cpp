#include "window/ReaderURL.h"

#include "platform/TextEscape.h"

namespace cvl::ReaderAddress {
namespace {

void addItem(std::string& query, const std::string& key, const std::string& value) {
    query += query.empty() ? "" : "&";
    query += percentEncode(key) + "=" + percentEncode(value);
}

}  // namespace

std::string fileURL(const std::string& path) {
    return "file://" + percentEncodePath(path);
}

std::optional<std::string> filePath(const std::string& url) {
    if (url.rfind("file://", 0) != 0) return std::nullopt;
    std::string rest = url.substr(7);
    size_t slash = rest.find('/');
    if (slash == std::string::npos) return std::nullopt;
    rest = rest.substr(slash);  // drop an authority such as "localhost"
    size_t cut = rest.find_first_of("?#");
    if (cut != std::string::npos) rest.resize(cut);
    return percentDecode(rest);
}

std::string build(const ReaderAddressInputs& in) {
    std::string q;
    addItem(q, "pdf", in.pdf);
    addItem(q, "orig", in.orig);
    addItem(q, "theme", in.darkScheme ? "dark" : "light");
    if (in.docId && !in.docId->empty()) addItem(q, "docid", *in.docId);
    addItem(q, "sb", in.statusBar.value_or(true) ? "1" : "0");
    addItem(q, "z", in.zoom && !in.zoom->empty() ? *in.zoom : "page-width");
    addItem(q, "zw", in.zoomWithWindow.value_or(true) ? "1" : "0");
    const bool perFile = in.themeMode == "perfile";
    addItem(q, "ptmode", perFile ? "perfile" : "system");
    if ((!perFile && in.darkScheme) || (perFile && in.nightActiveWithPages))
        addItem(q, "ptheme", "night");
    if (in.pairCode && !in.pairCode->empty()) addItem(q, "pair", *in.pairCode);
    if (in.testLaunch) addItem(q, "nosync", "1");
    if (in.page > 0) addItem(q, "page", std::to_string(in.page));
    if (!in.verb.empty()) addItem(q, "verb", in.verb);
    if (in.run && in.run->total > 1) {
        addItem(q, "run", std::to_string(in.run->position) + "/" + std::to_string(in.run->total));
        addItem(q, "runname", in.run->name);
        if (in.run->sameCopies > 0) addItem(q, "samecopies", std::to_string(in.run->sameCopies));
        if (in.run->replay) addItem(q, "replay", "1");
    }
    return fileURL(in.readerPage) + "?" + q;
}

std::string withQueryItem(const std::string& url, const std::string& key,
                          const std::string& value) {
    std::string fragment;
    std::string base = url;
    if (size_t hash = base.find('#'); hash != std::string::npos) {
        fragment = base.substr(hash);
        base.resize(hash);
    }
    const std::string item = percentEncode(key) + "=" + percentEncode(value);
    size_t qmark = base.find('?');
    if (qmark == std::string::npos) return base + "?" + item + fragment;
    std::string head = base.substr(0, qmark + 1);
    std::string query = base.substr(qmark + 1);
    std::string out;
    bool replaced = false;
    size_t start = 0;
    while (start <= query.size()) {
        size_t amp = query.find('&', start);
        if (amp == std::string::npos) amp = query.size();
        std::string part = query.substr(start, amp - start);
        std::string name = part.substr(0, part.find('='));
        if (!part.empty()) {
            if (percentDecode(name) == key) {
                if (!replaced) {
                    out += (out.empty() ? "" : "&") + item;
                    replaced = true;
                }
            } else {
                out += (out.empty() ? "" : "&") + part;
            }
        }
        start = amp + 1;
    }
    if (!replaced) out += (out.empty() ? "" : "&") + item;
    return head + out + fragment;
}

}  // namespace cvl::ReaderAddress
