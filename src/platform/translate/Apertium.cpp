#include "platform/translate/Apertium.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/ProcessRunner.h"

namespace cvl::Apertium {
namespace {

// Two-letter codes of the languages Debian's Apertium packages cover, with Apertium's names.
const std::map<std::string, std::string>& twoToThree() {
    static const std::map<std::string, std::string> m = {
        {"af", "afr"}, {"an", "arg"}, {"be", "bel"}, {"bg", "bul"}, {"br", "bre"}, {"bs", "hbs"},
        {"ca", "cat"}, {"da", "dan"}, {"en", "eng"}, {"eo", "epo"}, {"es", "spa"}, {"eu", "eus"},
        {"fr", "fra"}, {"gl", "glg"}, {"hi", "hin"}, {"hr", "hbs"}, {"id", "ind"}, {"is", "isl"},
        {"it", "ita"}, {"mk", "mkd"}, {"ms", "zlm"}, {"nb", "nob"}, {"nl", "nld"}, {"nn", "nno"},
        {"no", "nor"}, {"oc", "oci"}, {"pl", "pol"}, {"pt", "por"}, {"ro", "ron"}, {"ru", "rus"},
        {"sc", "srd"}, {"sh", "hbs"}, {"sl", "slv"}, {"sr", "hbs"}, {"sv", "swe"}, {"uk", "ukr"},
        {"ur", "urd"}, {"de", "deu"}, {"ja", "jpn"}, {"zh", "zho"}, {"ar", "ara"}, {"el", "ell"},
        {"fi", "fin"}, {"hu", "hun"}, {"cs", "ces"}, {"sk", "slk"}, {"tr", "tur"}, {"ko", "kor"},
        {"he", "heb"}, {"fa", "fas"},
    };
    return m;
}

// Debian's Apertium pair packages (bookworm), with the two languages of each.
struct Offer {
    const char* a;
    const char* b;
    const char* package;
};
constexpr Offer kOffers[] = {
    {"afr", "nld", "apertium-afr-nld"}, {"arg", "cat", "apertium-arg-cat"},
    {"bel", "rus", "apertium-bel-rus"}, {"bre", "fra", "apertium-br-fr"},
    {"cat", "ita", "apertium-cat-ita"}, {"cat", "srd", "apertium-cat-srd"},
    {"dan", "nor", "apertium-dan-nor"}, {"eng", "glg", "apertium-en-gl"},
    {"eng", "cat", "apertium-eng-cat"}, {"eng", "spa", "apertium-eng-spa"},
    {"epo", "cat", "apertium-eo-ca"},   {"epo", "eng", "apertium-eo-en"},
    {"epo", "spa", "apertium-eo-es"},   {"epo", "fra", "apertium-eo-fr"},
    {"spa", "glg", "apertium-es-gl"},   {"spa", "por", "apertium-es-pt"},
    {"spa", "ron", "apertium-es-ro"},   {"eus", "eng", "apertium-eu-en"},
    {"eus", "spa", "apertium-eu-es"},   {"fra", "spa", "apertium-fr-es"},
    {"fra", "cat", "apertium-fra-cat"}, {"fra", "frp", "apertium-fra-frp"},
    {"hbs", "eng", "apertium-hbs-eng"}, {"hbs", "mkd", "apertium-hbs-mkd"},
    {"hbs", "slv", "apertium-hbs-slv"}, {"ind", "zlm", "apertium-ind-zlm"},
    {"isl", "eng", "apertium-isl-eng"}, {"isl", "swe", "apertium-isl-swe"},
    {"mkd", "bul", "apertium-mkd-bul"}, {"mkd", "eng", "apertium-mkd-eng"},
    {"nno", "nob", "apertium-nno-nob"}, {"oci", "cat", "apertium-oc-ca"},
    {"oci", "spa", "apertium-oc-es"},   {"oci", "fra", "apertium-oci-fra"},
    {"pol", "szl", "apertium-pol-szl"}, {"por", "cat", "apertium-por-cat"},
    {"por", "glg", "apertium-pt-gl"},   {"rus", "ukr", "apertium-rus-ukr"},
    {"spa", "arg", "apertium-spa-arg"}, {"spa", "ast", "apertium-spa-ast"},
    {"spa", "cat", "apertium-spa-cat"}, {"spa", "ita", "apertium-spa-ita"},
    {"srd", "ita", "apertium-srd-ita"}, {"swe", "dan", "apertium-swe-dan"},
    {"swe", "nor", "apertium-swe-nor"}, {"urd", "hin", "apertium-urd-hin"},
};

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string modesDir() {
    std::string dir = envValue("CVL_APERTIUM_MODES");
    return dir.empty() ? "/usr/share/apertium/modes" : dir;
}

std::string program() {
    std::string p = envValue("CVL_APERTIUM");
    return p.empty() ? "apertium" : p;
}

bool programInstalled() {
    const std::string p = program();
    if (p.find('/') != std::string::npos) return isRegularFile(p);
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/bin/"})
        if (isRegularFile(dir + p)) return true;
    return false;
}

}  // namespace

std::string apertiumCode(const std::string& code) {
    std::string primary = lower(code.substr(0, code.find('-')));
    auto it = twoToThree().find(primary);
    return it == twoToThree().end() ? primary : it->second;
}

std::set<std::string> installedDirections() {
    std::set<std::string> out;
    if (!programInstalled()) return out;
    DIR* d = ::opendir(modesDir().c_str());
    if (!d) return out;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 6 || name.compare(name.size() - 5, 5, ".mode") != 0) continue;
        name.resize(name.size() - 5);
        // Only plain directions ("spa-eng"); not variants ("spa-eng_US") or debugging modes.
        const auto dash = name.find('-');
        if (dash == std::string::npos || name.find_first_of("-_", dash + 1) != std::string::npos)
            continue;
        const std::string a = name.substr(0, dash), b = name.substr(dash + 1);
        if (a.size() < 2 || a.size() > 3 || b.size() < 2 || b.size() > 3) continue;
        out.insert(apertiumCode(a) + "-" + apertiumCode(b));
    }
    ::closedir(d);
    return out;
}

std::optional<std::string> packageFor(const std::string& from3, const std::string& to3) {
    for (const auto& o : kOffers)
        if ((from3 == o.a && to3 == o.b) || (from3 == o.b && to3 == o.a)) return o.package;
    return std::nullopt;
}

Status translate(const std::string& from3, const std::string& to3,
                 const std::vector<std::string>& paragraphs,
                 const std::function<void(std::size_t, const std::string&)>& done) {
    // The mode file may be named with two-letter codes by older packages.
    std::string mode = from3 + "-" + to3;
    DIR* d = ::opendir(modesDir().c_str());
    if (d) {
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name.size() < 6 || name.compare(name.size() - 5, 5, ".mode") != 0) continue;
            name.resize(name.size() - 5);
            const auto dash = name.find('-');
            if (dash == std::string::npos ||
                name.find_first_of("-_", dash + 1) != std::string::npos)
                continue;
            if (apertiumCode(name.substr(0, dash)) == from3 &&
                apertiumCode(name.substr(dash + 1)) == to3)
                mode = name;
        }
        ::closedir(d);
    }
    // Each paragraph ends with a line break and a NUL: with null flushing every stage of the
    // pipeline hands a paragraph on as soon as it is done, so translations stream back.
    std::string input;
    for (const auto& p : paragraphs) {
        std::string clean = p;
        clean.erase(std::remove(clean.begin(), clean.end(), '\0'), clean.end());
        input += clean + "\n";
        input += '\0';
    }
    ProcessSpec spec;
    spec.program = program();
    spec.args = {"-u", "-z", "-f", "none"};
    spec.args.push_back(mode);
    spec.input = input;
    std::string pending;
    std::size_t next = 0;
    spec.onStdout = [&](std::string_view chunk) {
        pending.append(chunk);
        for (std::size_t nul; (nul = pending.find('\0')) != std::string::npos;) {
            std::string text = pending.substr(0, nul);
            pending.erase(0, nul + 1);
            if (next >= paragraphs.size()) continue;  // the final flushes
            while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
            done(next++, text);
        }
    };
    ProcessResult r = runProcess(spec);
    if (!r.launched) return Failure{"the translator could not start (" + r.launchError + ")"};
    if (!r.succeeded() || next < paragraphs.size()) {
        std::string err = r.err;
        while (!err.empty() && (err.back() == '\n' || err.back() == ' ')) err.pop_back();
        return Failure{err.empty() ? "the translator ended early" : err};
    }
    return success();
}

}  // namespace cvl::Apertium
