#include "platform/gtk/WebViews.h"

#include <libsoup/soup.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/Dispatch.h"
#include "platform/Env.h"
#include "platform/FileIO.h"
#include "platform/RealPath.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "platform/UserDirs.h"
#include "window/PageSchemes.h"

namespace cvl {
namespace {

std::string gDemoProfile;

struct ViewState {
    std::shared_ptr<WebViewHandlers> handlers;
    // WebKit follows a failed or replaced load with a "finished" event whose address is
    // already the next load's; that event is not a page that finished loading.
    bool loadFailed = false;
    std::string committedURI;  // the address of the load that committed last
};

// ---- custom schemes ---------------------------------------------------------------------

void finishRequest(WebKitURISchemeRequest* request, const char* scheme, SchemeResponse r) {
    if (!r.ok()) {
        static const char* messages[] = {"", "The address names no readable file.",
                                         "The document or page cannot be opened.",
                                         "The page could not be drawn."};
        GError* error =
            g_error_new_literal(g_quark_from_static_string(scheme), r.errorCode,
                                messages[r.errorCode >= 1 && r.errorCode <= 3 ? r.errorCode : 0]);
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
        return;
    }
    // Only the asking page's origin may read the answer; it passed the window's check.
    SoupMessageHeaders* asked = webkit_uri_scheme_request_get_http_headers(request);
    const char* origin = asked ? soup_message_headers_get_one(asked, "Origin") : nullptr;
    const auto headers = r.headers(origin ? origin : "");
    auto body = std::make_unique<std::string>(std::move(r.body));
    const gsize size = body->size();
    const char* data = body->data();
    GBytes* bytes = g_bytes_new_with_free_func(
        data, size, [](gpointer p) { std::unique_ptr<std::string>(static_cast<std::string*>(p)); },
        body.release());
    GInputStream* stream = g_memory_input_stream_new_from_bytes(bytes);
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, size);
    webkit_uri_scheme_response_set_status(response, 200, "OK");
    webkit_uri_scheme_response_set_content_type(response, r.contentType.c_str());
    SoupMessageHeaders* h = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    for (const auto& [name, value] : headers)
        soup_message_headers_append(h, name.c_str(), value.c_str());
    webkit_uri_scheme_response_set_http_headers(response, h);
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
    g_bytes_unref(bytes);
}

// The schemes' answers; without them (a screenshot mode) every request fails with code 1.
std::shared_ptr<PageSchemes> gSchemes;

SchemeResponse refused() {
    SchemeResponse none;
    none.errorCode = 1;
    return none;
}

// Whether the view that asks may read the file the address names: the window that owns the
// view decides (its own documents only); a view without an owner reads nothing.
bool viewMayRead(WebKitURISchemeRequest* request) {
    WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
    auto* state = view
                      ? static_cast<ViewState*>(g_object_get_data(G_OBJECT(view), "cvl-view-state"))
                      : nullptr;
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    auto path = urlQuery(uri ? uri : "", "p");
    if (!state || !state->handlers->mayRead || !path || path->empty()) return false;
    if (state->handlers->mayRead(*path)) return true;
    g_message("a page asked for a file its window does not show; refused: %s", uri);
    return false;
}

void onPdfBytes(WebKitURISchemeRequest* request, gpointer) {
    finishRequest(request, "vtpdf",
                  gSchemes && viewMayRead(request)
                      ? gSchemes->pdfBytes(webkit_uri_scheme_request_get_uri(request))
                      : refused());
}

// Requests of a view that has gone are stopped: their answers are never delivered.
void onPageImage(WebKitURISchemeRequest* request, gpointer) {
    static std::atomic<unsigned long long> nextTask{1};
    const unsigned long long task = nextTask++;
    g_object_ref(request);
    auto* viewRef = g_new0(GWeakRef, 1);
    g_weak_ref_init(viewRef, webkit_uri_scheme_request_get_web_view(request));
    auto weakView = std::shared_ptr<GWeakRef>(viewRef, [](GWeakRef* r) {
        g_weak_ref_clear(r);
        g_free(r);
    });
    if (!gSchemes || !viewMayRead(request)) {
        finishRequest(request, "vtpage", refused());
        g_object_unref(request);
        return;
    }
    auto schemes = gSchemes;
    schemes->pageImage(
        task, webkit_uri_scheme_request_get_uri(request),
        [request, weakView, task, schemes](SchemeResponse r) {
            // Answers go back on the main thread, where the web view lives.
            Dispatch::main().async([request, weakView, task, schemes, r = std::move(r)]() mutable {
                GObject* view = static_cast<GObject*>(g_weak_ref_get(weakView.get()));
                if (view) {
                    finishRequest(request, "vtpage", std::move(r));
                    g_object_unref(view);
                } else {
                    schemes->stopPageImage(task);
                }
                g_object_unref(request);
            });
        });
}

WebKitWebContext* sharedContext() {
    static WebKitWebContext* context = [] {
        WebKitWebContext* c = webkit_web_context_get_default();
        webkit_web_context_register_uri_scheme(c, "vtpdf", onPdfBytes, nullptr, nullptr);
        webkit_web_context_register_uri_scheme(c, "vtpage", onPageImage, nullptr, nullptr);
        WebKitSecurityManager* sm = webkit_web_context_get_security_manager(c);
        webkit_security_manager_register_uri_scheme_as_cors_enabled(sm, "vtpdf");
        webkit_security_manager_register_uri_scheme_as_cors_enabled(sm, "vtpage");
        return c;
    }();
    return context;
}

// ---- which files pages may load ------------------------------------------------------------

// Engine pages load their module scripts and data as same-origin files, which needs file access
// from file addresses; a content rule narrows that access to the program's own folders (the
// resources, the engine override and the working folder of generated pages), so no page's script
// can fetch, frame or load any other file on disk. Documents reach pages only through the PDF
// schemes.
std::string regexLiteral(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::string_view(".*+?^$()[]{}|\\").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

std::string fileAccessRules() {
    nlohmann::json rules = nlohmann::json::array();
    rules.push_back({{"trigger", {{"url-filter", "^file:"}}}, {"action", {{"type", "block"}}}});
    std::set<std::string> folders;
    for (const std::string& dir : UserDirs::ownPageDirs()) {
        folders.insert(dir);
        if (auto real = resolvedPath(dir)) folders.insert(*real);
    }
    for (const std::string& dir : folders) {
        const std::string prefix = "file://" + percentEncodePath(dir) + "/";
        rules.push_back(
            {{"trigger",
              {{"url-filter", "^" + regexLiteral(prefix)}, {"url-filter-is-case-sensitive", true}}},
             {"action", {{"type", "ignore-previous-rules"}}}});
    }
    return rules.dump();
}

// The compiled rule, made once; pages wait for it (a few milliseconds) rather than load
// without it. None when WebKit could not compile it: that is logged, and pages then keep the
// file access they need to work.
WebKitUserContentFilter* fileAccessFilter() {
    static WebKitUserContentFilter* filter = [] {
        const std::string dir = UserDirs::supportDir() + "/WebFilters";
        makeDirs(dir);
        WebKitUserContentFilterStore* store = webkit_user_content_filter_store_new(dir.c_str());
        struct Wait {
            bool done = false;
            bool timedOut = false;
            WebKitUserContentFilter* filter = nullptr;
        } wait;
        const std::string rules = fileAccessRules();
        GBytes* source = g_bytes_new(rules.data(), rules.size());
        // WebKit answers on the main context. The rule is made before the first window (see
        // prepareWebViews), while nothing else is waiting there.
        webkit_user_content_filter_store_save(
            store, "cvl-file-access", source, nullptr,
            [](GObject* object, GAsyncResult* result, gpointer data) {
                auto* w = static_cast<Wait*>(data);
                GError* error = nullptr;
                w->filter = webkit_user_content_filter_store_save_finish(
                    WEBKIT_USER_CONTENT_FILTER_STORE(object), result, &error);
                if (error) {
                    cvlLog("pages: the file access rule could not be compiled: %s", error->message);
                    g_error_free(error);
                }
                w->done = true;
            },
            &wait);
        // At most 20 s: the timer both wakes the loop and ends the wait.
        const guint guard = g_timeout_add_seconds(
            20,
            [](gpointer data) {
                static_cast<Wait*>(data)->timedOut = true;
                return G_SOURCE_REMOVE;
            },
            &wait);
        while (!wait.done && !wait.timedOut) g_main_context_iteration(nullptr, TRUE);
        if (!wait.timedOut) g_source_remove(guard);
        g_bytes_unref(source);
        g_object_unref(store);
        if (!wait.done) cvlLog("pages: the file access rule took too long to compile");
        return wait.filter;
    }();
    return filter;
}

// ---- view signals -----------------------------------------------------------------------

gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer data) {
    auto& state = *static_cast<ViewState*>(data);
    auto& h = *state.handlers;
    if (!h.decide) return FALSE;
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
        if (webkit_response_policy_decision_is_mime_type_supported(response)) return FALSE;
        WebKitURIRequest* req = webkit_response_policy_decision_get_request(response);
        NavigationRequest nav{webkit_uri_request_get_uri(req), true, state.committedURI};
        if (h.decide(nav) == NavigationPolicy::Download)
            webkit_policy_decision_download(decision);
        else
            webkit_policy_decision_ignore(decision);
        return TRUE;
    }
    auto* navDecision = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(navDecision);
    WebKitURIRequest* req = webkit_navigation_action_get_request(action);
    const char* uri = req ? webkit_uri_request_get_uri(req) : nullptr;
    NavigationRequest nav{uri ? uri : "", false, state.committedURI};
    switch (h.decide(nav)) {
        case NavigationPolicy::Allow:
            webkit_policy_decision_use(decision);
            break;
        case NavigationPolicy::Download:
            webkit_policy_decision_download(decision);
            break;
        case NavigationPolicy::Cancel:
            webkit_policy_decision_ignore(decision);
            break;
    }
    return TRUE;
}

void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
    auto& state = *static_cast<ViewState*>(data);
    auto& h = *state.handlers;
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!h.message || !value || !jsc_value_is_object(value)) return;
    char* json = jsc_value_to_json(value, 0);
    if (json) {
        h.message(json, state.committedURI);
        g_free(json);
    }
}

void onTitle(WebKitWebView* view, GParamSpec*, gpointer data) {
    auto& h = *static_cast<ViewState*>(data)->handlers;
    const char* title = webkit_web_view_get_title(view);
    if (h.titleChanged) h.titleChanged(title ? title : "");
}

void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto& state = *static_cast<ViewState*>(data);
    if (event == WEBKIT_LOAD_STARTED) state.loadFailed = false;
    if (event == WEBKIT_LOAD_COMMITTED) {
        const char* uri = webkit_web_view_get_uri(view);
        state.committedURI = uri ? uri : "";
    }
    if (event != WEBKIT_LOAD_FINISHED) return;
    const bool failed = state.loadFailed;
    state.loadFailed = false;
    if (!failed && state.handlers->loadFinished)
        state.handlers->loadFinished(false, state.committedURI);
}

gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer data) {
    auto& state = *static_cast<ViewState*>(data);
    auto& h = *state.handlers;
    // A navigation the host cancelled is not a failure of the page, nor the end of its load.
    if (g_error_matches(error, WEBKIT_POLICY_ERROR,
                        WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
        return FALSE;
    state.loadFailed = true;
    if (h.loadFinished) h.loadFinished(true, error ? error->message : "load failed");
    return FALSE;
}

void onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::function<void(std::optional<std::string>)>> reply(
        static_cast<std::function<void(std::optional<std::string>)>*>(data));
    GError* error = nullptr;
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    std::optional<std::string> text;
    if (value) {
        if (!jsc_value_is_null(value) && !jsc_value_is_undefined(value)) {
            char* s = jsc_value_to_string(value);
            if (s) text = s;
            g_free(s);
        }
        g_object_unref(value);
    }
    if (error) g_error_free(error);
    if (*reply) (*reply)(std::move(text));
}

void onCalled(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::function<void(std::optional<std::string>)>> reply(
        static_cast<std::function<void(std::optional<std::string>)>*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source),
                                                                            result, &error);
    std::optional<std::string> text;
    if (value) {
        char* s = jsc_value_to_json(value, 0);
        if (s) text = s;
        g_free(s);
        g_object_unref(value);
    }
    if (error) {
        text = std::string("{\"error\":") + jsQuote(error->message) + "}";
        g_error_free(error);
    }
    if (*reply) (*reply)(std::move(text));
}

}  // namespace

void prepareWebViews() {
    fileAccessFilter();
}

void setPageSchemes(std::shared_ptr<PageSchemes> schemes) {
    gSchemes = std::move(schemes);
}

void setPageDemoProfile(const std::string& profile) {
    gDemoProfile = profile;
}

WebKitWebView* makeDocumentWebView(std::shared_ptr<WebViewHandlers> handlers) {
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    if (WebKitUserContentFilter* filter = fileAccessFilter())
        webkit_user_content_manager_add_filter(content, filter);
    if (!gDemoProfile.empty()) {
        const std::string script = "window.CVL_DEMO=" + jsQuote(gDemoProfile) + ";";
        WebKitUserScript* us =
            webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, us);
        webkit_user_script_unref(us);
    }
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, TRUE);
    // Engine pages read their own scripts and data beside them; nothing gives them other
    // origins, and documents reach them only through the PDF schemes, which ask the window.
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    webkit_settings_set_enable_write_console_messages_to_stdout(
        settings, envVariable("CVL_WEB_CONSOLE").has_value());
    webkit_settings_set_enable_developer_extras(settings,
                                                envVariable("CVL_WEB_INSPECTOR").has_value());

    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", sharedContext(),
                                              "user-content-manager", content, "settings", settings,
                                              nullptr));
    g_object_unref(content);
    g_object_unref(settings);

    auto state = std::make_unique<ViewState>();
    state->handlers = std::move(handlers);
    ViewState* raw = state.get();
    g_object_set_data_full(G_OBJECT(view), "cvl-view-state", state.release(), [](gpointer p) {
        std::unique_ptr<ViewState>(static_cast<ViewState*>(p));
    });
    g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), raw);
    g_signal_connect(view, "notify::title", G_CALLBACK(onTitle), raw);
    g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), raw);
    g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), raw);
    WebKitUserContentManager* ucm = webkit_web_view_get_user_content_manager(view);
    g_signal_connect(ucm, "script-message-received::corvello", G_CALLBACK(onScriptMessage), raw);
    webkit_user_content_manager_register_script_message_handler(ucm, "corvello");
    return view;
}

// ---- page host ----------------------------------------------------------------------------

WebPageHost::WebPageHost(WebKitWebView* view, PageHostShell shell)
    : view_(WEBKIT_WEB_VIEW(g_object_ref(view))), shell_(std::move(shell)) {}

WebPageHost::~WebPageHost() {
    g_object_unref(view_);
}

void WebPageHost::loadURL(const std::string& url, const std::string&) {
    // WebKitGTK lets file pages read other local files through the view's settings; the
    // read-access folder needs no separate grant here.
    webkit_web_view_load_uri(view_, url.c_str());
}

void WebPageHost::evaluateScript(const std::string& script) {
    webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr,
                                        nullptr, nullptr);
}

void WebPageHost::evaluateScript(const std::string& script,
                                 std::function<void(std::optional<std::string>)> reply) {
    auto holder =
        std::make_unique<std::function<void(std::optional<std::string>)>>(std::move(reply));
    webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr,
                                        onEvaluated, holder.release());
}

void WebPageHost::callAsync(const std::string& body,
                            std::function<void(std::optional<std::string>)> reply) {
    callAsyncFunction(view_, body, std::move(reply));
}

void callAsyncFunction(WebKitWebView* view, const std::string& body,
                       std::function<void(std::optional<std::string>)> reply) {
    auto holder =
        std::make_unique<std::function<void(std::optional<std::string>)>>(std::move(reply));
    webkit_web_view_call_async_javascript_function(view, body.c_str(), -1, nullptr, nullptr,
                                                   nullptr, nullptr, onCalled, holder.release());
}

void WebPageHost::setTitle(const std::string& title) {
    title_ = title;
    if (shell_.setTitle) shell_.setTitle(title);
}

void WebPageHost::setRepresentedFile(const std::string& path) {
    if (path == represented_) return;
    represented_ = path;
    if (shell_.representedChanged) shell_.representedChanged();
}

std::optional<std::string> WebPageHost::drawnLabel() const {
    return shell_.drawnLabel ? shell_.drawnLabel() : std::nullopt;
}

void WebPageHost::present() {
    if (shell_.present) shell_.present();
}

void WebPageHost::close() {
    if (shell_.close) shell_.close();
}

}  // namespace cvl
