#include "window/ReaderLinks.h"

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "memory/DocLinks.h"
#include "platform/FileIO.h"
#include "platform/TextEscape.h"
#include "window/BridgeDispatch.h"
#include "window/ReviewWC.h"
#include "window/WindowServices.h"

namespace cvl::ReaderLinks {
namespace {

using json = nlohmann::json;
namespace BD = BridgeDispatch;

std::string selfPath(const ReviewWC& wc) {
    return wc.sourcePaths().empty() ? std::string() : wc.sourcePaths().front();
}

void sendLinks(ReviewWC& wc, LinkSession& session) {
    const std::string self = selfPath(wc);
    if (!self.empty()) wc.page().evaluateScript(session.sendLinksScript(self));
}

std::shared_ptr<ReviewWC> readerOf(WindowServices& services, const std::string& path) {
    for (auto& reader : services.readerWindows())
        if (selfPath(*reader) == path) return reader;
    return nullptr;
}

void tellReaders(WindowServices& services, const std::vector<std::string>& scripts) {
    for (auto& reader : services.readerWindows())
        for (const auto& script : scripts) reader->page().evaluateScript(script);
}

// The scripts of a step go to every open reader, its toast to the page that asked.
void apply(ReviewWC& current, WindowServices& services, const LinkSession::Effects& effects) {
    tellReaders(services, effects.readerScripts);
    if (!effects.toast.empty()) current.toast(effects.toast);
}

// Asks the page for its selected passage and hands it on, unless the window has gone.
void withEndpoint(ReviewWC& wc, std::function<void(ReviewWC&, std::optional<LinkEnd>)> then) {
    std::weak_ptr<ReviewWC> weak = wc.weak_from_this();
    wc.page().evaluateScript(kLinkEndpointQuery,
                             [weak, then = std::move(then)](std::optional<std::string> text) {
                                 auto self = weak.lock();
                                 if (!self) return;
                                 then(*self, text ? parseLinkEndpoint(*text) : std::nullopt);
                             });
}

std::optional<DocLink> findLink(const std::string& id) {
    for (auto& link : loadLinks())
        if (link.id == id) return link;
    return std::nullopt;
}

// Shows end `which` of `link` in a reader at its page: an open reader of that document comes
// to front and is sent its links with the focus on that end; otherwise a new reader opens,
// focused on the end when `focusNew` (it asks for its links once it shows the document).
void showEnd(WindowServices& services, LinkSession& session, const DocLink& link,
             const std::string& which, bool focusNew) {
    const LinkEnd& end = which == "a" ? link.a : link.b;
    auto open = readerOf(services, end.path);
    if (open || focusNew) session.setFocus(end.path, link.id, which);
    if (open) {
        open->page().present();
        sendLinks(*open, session);
    } else {
        services.openReader(end.path, static_cast<int>(end.page > 0 ? end.page : 0));
    }
}

json jumpReply(ReviewWC& wc, WindowServices& services, LinkSession& session, const std::string& id,
               const std::optional<std::string>& endArg) {
    auto link = findLink(id);
    if (!link) return json{{"ok", false}, {"message", "That link no longer exists."}};
    // Without a valid "end", the end away from this document.
    std::string which = endArg.value_or("");
    if (which != "a" && which != "b") which = link->a.path == selfPath(wc) ? "b" : "a";
    const LinkEnd& end = which == "a" ? link->a : link->b;
    if (end.path.empty() || !isRegularFile(end.path))
        return json{{"ok", false},
                    {"path", end.path},
                    {"page", end.page},
                    {"message", "The linked document “" + lastPathComponent(end.path) +
                                    "” is no longer at " + end.path + "."}};
    showEnd(services, session, *link, which, true);
    return json{{"ok", true}, {"path", end.path}, {"page", end.page}};
}

}  // namespace

bool isLinkOperation(const std::string& op) {
    for (const char* name : {"links", "linkjump", "linkopenpair", "linkstart", "linkfinish",
                             "linkcancel", "linkdelete", "linknote"})
        if (op == name) return true;
    return false;
}

bool perform(ReviewWC& wc, WindowServices& services, const std::string& op,
             const std::string& url) {
    LinkSession* session = services.linkSession();
    if (!session) return false;
    WindowServices* app = &services;  // the application outlives its windows

    if (op == "links") {
        sendLinks(wc, *session);
    } else if (op == "linkstart") {
        withEndpoint(wc, [app, session](ReviewWC& self, std::optional<LinkEnd> end) {
            std::string name =
                lastPathComponent(end && !end->path.empty() ? end->path : selfPath(self));
            if (auto effects = session->begin(end, name)) apply(self, *app, *effects);
        });
    } else if (op == "linkfinish") {
        withEndpoint(wc, [app, session](ReviewWC& self, std::optional<LinkEnd> end) {
            if (auto effects = session->finish(end)) apply(self, *app, *effects);
        });
    } else if (op == "linkcancel") {
        apply(wc, services, session->cancel());
    } else if (op == "linkdelete") {
        auto id = BD::arg(url, "id");
        if (!id) return true;
        deleteLink(*id);
        tellReaders(services, {kReloadLinksScript});
    } else if (op == "linknote") {
        auto id = BD::arg(url, "id");
        // An empty note is kept: it clears the note.
        auto note = urlQuery(url, "note");
        if (!id || !note) return true;
        setLinkNote(*id, *note);
        tellReaders(services, {kReloadLinksScript});
    } else if (op == "linkjump") {
        auto id = BD::arg(url, "id");
        if (!id) return true;
        json reply = jumpReply(wc, services, *session, *id, BD::arg(url, "end"));
        wc.callPage("__cvlLinkJump", reply.dump(-1, ' ', false, json::error_handler_t::replace));
    } else if (op == "linkopenpair") {
        auto id = BD::arg(url, "id");
        auto link = id ? findLink(*id) : std::nullopt;
        if (!link) return true;
        if (isRegularFile(link->a.path)) showEnd(services, *session, *link, "a", false);
        if (link->b.path != link->a.path && isRegularFile(link->b.path))
            showEnd(services, *session, *link, "b", false);
    } else {
        return false;
    }
    return true;
}

}  // namespace cvl::ReaderLinks
