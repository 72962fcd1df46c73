#include "memory/LinksModule.h"

#include <nlohmann/json.hpp>

#include "memory/DocLinks.h"
#include "platform/FileIO.h"
#include "platform/JsonText.h"
#include "platform/TextEscape.h"

namespace cvl {
namespace {

using json = nlohmann::json;

bool isReader(const WindowSnapshot& w) {
    return w.isReader();
}

// The scripts go to every open reader.
void tellReaders(AppActions& app, const std::vector<std::string>& scripts) {
    for (const auto& w : app.windows()) {
        if (!isReader(w)) continue;
        if (auto handle = app.window(w.bridgeId))
            for (const auto& script : scripts) handle->run(script);
    }
}

// The scripts of a step go to every open reader, its toast to the page that asked.
void apply(AppActions& app, const WindowHandle& asker, const LinkSession::Effects& effects) {
    tellReaders(app, effects.readerScripts);
    if (!effects.toast.empty()) asker.toast(effects.toast);
}

std::optional<WindowHandle> readerOf(AppActions& app, const std::string& path) {
    for (const auto& w : app.windows())
        if (isReader(w) && w.original() == path) return app.window(w.bridgeId);
    return std::nullopt;
}

std::optional<DocLink> findLink(const std::string& id) {
    for (auto& link : loadLinks())
        if (link.id == id) return link;
    return std::nullopt;
}

// Shows end `which` of `link` in a reader at its page: an open reader of that document comes
// to front and is sent its links with the focus on that end; otherwise a new reader opens,
// focused on the end when `focusNew` (it asks for its links once it shows the document).
void showEnd(AppActions& app, LinkSession& session, const DocLink& link, const std::string& which,
             bool focusNew) {
    const LinkEnd& end = which == "a" ? link.a : link.b;
    auto open = readerOf(app, end.path);
    if (open || focusNew) session.setFocus(end.path, link.id, which);
    if (open) {
        open->present();
        open->run(session.sendLinksScript(end.path));
    } else {
        app.openReader(end.path, static_cast<int>(end.page > 0 ? end.page : 0));
    }
}

json jumpReply(const BridgeRequest& r, LinkSession& session, const std::string& id) {
    auto link = findLink(id);
    if (!link) return json{{"ok", false}, {"message", "That link no longer exists."}};
    // Without a valid "end", the end away from this document.
    std::string which = r.arg("end").value_or("");
    if (which != "a" && which != "b") which = link->a.path == r.window.original() ? "b" : "a";
    const LinkEnd& end = which == "a" ? link->a : link->b;
    if (end.path.empty() || !isRegularFile(end.path))
        return json{{"ok", false},
                    {"path", end.path},
                    {"page", end.page},
                    {"message", "The linked document \u201c" + lastPathComponent(end.path) +
                                    "\u201d is no longer at " + end.path + "."}};
    showEnd(r.app, session, *link, which, true);
    return json{{"ok", true}, {"path", end.path}, {"page", end.page}};
}

// Asks the page for its selected passage and hands it on, unless the window has gone.
void withEndpoint(const BridgeRequest& r, std::function<void(std::optional<LinkEnd>)> then) {
    r.page.read(kLinkEndpointQuery, [then = std::move(then)](std::optional<std::string> text) {
        then(text ? parseLinkEndpoint(*text) : std::nullopt);
    });
}

}  // namespace

std::vector<std::string> LinksModule::operations() const {
    return {"links",      "linkjump",   "linkopenpair", "linkstart",
            "linkfinish", "linkcancel", "linkdelete",   "linknote"};
}

void LinksModule::handle(const BridgeRequest& r) {
    const std::string self = r.window.original();
    AppActions* app = &r.app;  // the application outlives its windows' replies
    LinkSession* session = &session_;
    const WindowHandle page = r.page;
    if (r.op == "links") {
        if (!self.empty()) page.run(session_.sendLinksScript(self));
    } else if (r.op == "linkstart") {
        withEndpoint(r, [app, session, page, self](std::optional<LinkEnd> end) {
            if (!page.alive()) return;
            const std::string name =
                lastPathComponent(end && !end->path.empty() ? end->path : self);
            if (auto effects = session->begin(end, name)) apply(*app, page, *effects);
        });
    } else if (r.op == "linkfinish") {
        withEndpoint(r, [app, session, page](std::optional<LinkEnd> end) {
            if (!page.alive()) return;
            if (auto effects = session->finish(end)) apply(*app, page, *effects);
        });
    } else if (r.op == "linkcancel") {
        apply(r.app, page, session_.cancel());
    } else if (r.op == "linkdelete") {
        auto id = r.arg("id");
        if (!id) return;
        if (!deleteLink(*id) && findLink(*id)) page.toast("The links file could not be written.");
        tellReaders(r.app, {reloadLinksScript()});
    } else if (r.op == "linknote") {
        auto id = r.arg("id");
        // An empty note is kept: it clears the note.
        auto note = urlQuery(r.url, "note");
        if (!id || !note) return;
        if (!setLinkNote(*id, *note) && findLink(*id))
            page.toast("The note could not be saved: the links file cannot be written.");
        tellReaders(r.app, {reloadLinksScript()});
    } else if (r.op == "linkjump") {
        auto id = r.arg("id");
        if (!id) return;
        page.call("__cvlLinkJump", jsonText(jumpReply(r, session_, *id)));
    } else if (r.op == "linkopenpair") {
        auto id = r.arg("id");
        auto link = id ? findLink(*id) : std::nullopt;
        if (!link) return;
        if (isRegularFile(link->a.path)) showEnd(r.app, session_, *link, "a", false);
        if (link->b.path != link->a.path && isRegularFile(link->b.path))
            showEnd(r.app, session_, *link, "b", false);
    }
}

}  // namespace cvl
