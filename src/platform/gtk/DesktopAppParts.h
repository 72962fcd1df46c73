// The desktop application's windows and tabs, shared by the files that implement it.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>

#include "platform/gtk/DesktopApp.h"

namespace cvl {

class WebPageHost;
struct WebViewHandlers;

struct DesktopApp::Frame {
    GtkWidget* window = nullptr;
    GtkNotebook* notebook = nullptr;
};

struct DesktopApp::Tab {
    std::shared_ptr<ReviewWC> wc;
    WebPageHost* host = nullptr;  // owned by wc
    WebKitWebView* view = nullptr;
    Frame* frame = nullptr;
    GtkWidget* label = nullptr;
    std::shared_ptr<WebViewHandlers> handlers;
};

}  // namespace cvl
