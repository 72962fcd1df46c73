// Web views of document and panel windows: the shared configuration (custom schemes, file
// access, the "corvello" message channel, user scripts) and a PageHost over one view.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "window/PageHost.h"
#include "window/PageSchemes.h"

namespace cvl {

// What a view reports to the window that owns it.
struct WebViewHandlers {
    std::function<NavigationPolicy(const NavigationRequest&)> decide;
    // "corvello" messages: the JSON text, and the address of the page that sent it.
    std::function<void(const std::string& body, const std::string& pageURL)> message;
    // Whether the page of this view may read the file at `path` through vtpdf: and vtpage:
    // (none: it may read nothing).
    std::function<bool(const std::string& path)> mayRead;
    std::function<void(const std::string& title)> titleChanged;
    // A page finished loading: `detail` is the address of the page that loaded (read when the
    // load committed: by the time WebKit reports the finish, a newer load may already have
    // replaced the view's address), or the error text of a failed load.
    std::function<void(bool failed, const std::string& detail)> loadFinished;
};

// Makes what every view shares (the rule that keeps pages to the program's own files) before
// the first view; call it at start-up, before windows exist.
void prepareWebViews();

// A new web view with the document-window configuration. The handlers live as long as the
// view; `handlers` may be filled in after the view is made.
WebKitWebView* makeDocumentWebView(std::shared_ptr<WebViewHandlers> handlers);

// Runs `body` as an async function in the view's page; `reply` gets the JSON of its result
// (an {"error": …} object when it threw).
void callAsyncFunction(WebKitWebView* view, const std::string& body,
                       std::function<void(std::optional<std::string>)> reply);

// What answers the vtpdf: and vtpage: addresses of every view.
void setPageSchemes(std::shared_ptr<PageSchemes> schemes);

// The demo profile given to every page as window.CVL_DEMO (empty: none).
void setPageDemoProfile(const std::string& profile);

// Callbacks of the desktop shell for one page host.
struct PageHostShell {
    std::function<void(const std::string& title)> setTitle;
    std::function<void()> representedChanged;
    std::function<void()> present;
    std::function<void()> close;
    std::function<std::optional<std::string>()> drawnLabel;
};

class WebPageHost : public PageHost {
  public:
    WebPageHost(WebKitWebView* view, PageHostShell shell);
    ~WebPageHost() override;

    void loadURL(const std::string& url, const std::string& readAccess) override;
    void evaluateScript(const std::string& script) override;
    void evaluateScript(const std::string& script,
                        std::function<void(std::optional<std::string>)> reply) override;
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override;
    void setRepresentedFile(const std::string& path) override;
    std::string representedFile() const override { return represented_; }
    std::optional<std::string> drawnLabel() const override;
    void present() override;
    void close() override;

    WebKitWebView* view() const { return view_; }
    // Runs `body` as an async function in the page; `reply` gets the JSON of its result.
    void callAsync(const std::string& body, std::function<void(std::optional<std::string>)> reply);

  private:
    WebKitWebView* view_;
    PageHostShell shell_;
    std::string title_;
    std::string represented_;
};

}  // namespace cvl
