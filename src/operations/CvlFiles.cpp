#include "operations/CvlFiles.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "operations/FileOps.h"

namespace cvl {
namespace {

constexpr const char* kHelp =
    "usage: cvl files <form>\n"
    "\n"
    "File operations with Corvello's rules: an item never replaces another one; when a name\n"
    "is taken the next free one is used (\"a 2.pdf\", \"a 3.pdf\", ...). Each form prints one\n"
    "JSON outcome object; every item is tried even when one fails. Exit 0 when all items\n"
    "succeeded, 1 when any failed (\"failed\" lists them, \"error\" says why), 2 for bad\n"
    "arguments.\n"
    "\n"
    "  cvl files move --dest DIR PATH...\n"
    "      move the items into the folder DIR; items already there are left alone.\n"
    "      prints "
    "{\"op\":\"move\",\"moved\":[{\"from\",\"to\"}],\"failed\":[],\"dest\",\"folder\":\"\"}\n"
    "  cvl files newfolder --parent DIR [--name NAME] [PATH...]\n"
    "      make a folder NAME (default \"untitled folder\", made free) in DIR, creating DIR\n"
    "      when needed, and move the items into it. Without items prints\n"
    "      {\"op\":\"newfolder\",\"dest\",\"folder\"}; with items the move's outcome, whose\n"
    "      \"folder\" is the new folder's name.\n"
    "  cvl files trash PATH...\n"
    "      move the items to the desktop's Trash (the home trash, or the .Trash-UID folder\n"
    "      of another file system); an item that cannot be trashed is never deleted.\n"
    "      prints {\"op\":\"trash\",\"trashed\":[],\"failed\":[]}\n"
    "  cvl files rename PATH NEWNAME\n"
    "      rename the item within its folder (NEWNAME made free; no \"/\", not empty, not\n"
    "      \".\" or \"..\"). prints {\"op\":\"rename\",\"renamed\":{PATH: NEWPATH}} or\n"
    "      {\"op\":\"rename\",\"failed\":[PATH],\"error\"}\n"
    "  cvl files duplicate PATH\n"
    "      copy the item beside itself as \"NAME copy.EXT\" (made free).\n"
    "      prints {\"op\":\"duplicate\",\"copy\":PATH}\n";

int usage(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "cvl files: %s\n\n", why.c_str());
    std::fputs(kHelp, stderr);
    return 2;
}

std::string absolute(const std::string& p) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(p, ec);
    return ec ? p : abs.lexically_normal().string();
}

int print(const std::string& json, bool failed) {
    std::printf("%s\n", json.c_str());
    return failed ? 1 : 0;
}

struct Parsed {
    std::optional<std::string> dest, parent, name;
    std::vector<std::string> items;
};

// Options of the form `--key VALUE` among plain arguments; "--" ends the options.
std::optional<Parsed> parseOptions(const std::vector<std::string>& args,
                                   const std::vector<std::string>& keys, std::string& why) {
    Parsed p;
    bool plain = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!plain && a == "--") {
            plain = true;
            continue;
        }
        if (!plain && a.rfind("--", 0) == 0) {
            bool known = false;
            for (const auto& k : keys) known = known || a == k;
            if (!known) {
                why = "unknown option " + a;
                return std::nullopt;
            }
            if (i + 1 >= args.size()) {
                why = a + " needs a value";
                return std::nullopt;
            }
            const std::string& v = args[++i];
            if (a == "--dest") p.dest = v;
            if (a == "--parent") p.parent = v;
            if (a == "--name") p.name = v;
            continue;
        }
        p.items.push_back(absolute(a));
    }
    return p;
}

}  // namespace

int cvlFilesMain(const std::vector<std::string>& args) {
    if (args.empty()) return usage("a form is required");
    const std::string form = args[0];
    if (form == "--help" || form == "-h" || form == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    std::string why;
    if (form == "move") {
        auto p = parseOptions(rest, {"--dest"}, why);
        if (!p) return usage(why);
        if (!p->dest) return usage("move needs --dest DIR");
        if (p->items.empty()) return usage("move needs at least one PATH");
        auto o = FileOps::fmMove(p->items, absolute(*p->dest), false);
        return print(FileOps::toJson(o), !o.failed.empty());
    }
    if (form == "newfolder") {
        auto p = parseOptions(rest, {"--parent", "--name"}, why);
        if (!p) return usage(why);
        if (!p->parent) return usage("newfolder needs --parent DIR");
        if (p->name && p->name->empty()) return usage("--name must not be empty");
        auto o = FileOps::newFolder(absolute(*p->parent), p->name.value_or(""), p->items);
        bool failed = o.dest.empty() || (o.move && !o.move->failed.empty());
        return print(FileOps::toJson(o), failed);
    }
    if (form == "trash") {
        auto p = parseOptions(rest, {}, why);
        if (!p) return usage(why);
        if (p->items.empty()) return usage("trash needs at least one PATH");
        auto o = FileOps::trash(p->items);
        return print(FileOps::toJson(o), !o.failed.empty());
    }
    if (form == "rename") {
        // The new name is taken as it stands (it may begin with "--").
        if (rest.size() != 2) return usage("rename needs PATH and NEWNAME");
        auto o = FileOps::rename(absolute(rest[0]), rest[1]);
        return print(FileOps::toJson(o), !o.to);
    }
    if (form == "duplicate") {
        auto p = parseOptions(rest, {}, why);
        if (!p) return usage(why);
        if (p->items.size() != 1) return usage("duplicate needs exactly one PATH");
        auto o = FileOps::duplicate(p->items[0]);
        return print(FileOps::toJson(o), !o.copy);
    }
    return usage("unknown form " + form);
}

}  // namespace cvl
