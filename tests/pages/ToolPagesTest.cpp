// The redaction, signing and reader pages in a real web view, their bridge operations answered
// by the feature modules, the questions by fake dialogs: what a user does with the pointer
// reaches the file system as the right PDF.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "app/AppControl.h"
#include "memory/DocLinks.h"
#include "memory/HistoryStore.h"
#include "operations/FormFields.h"
#include "operations/OperationsFixtures.h"
#include "platform/FileIO.h"
#include "platform/gtk/GlibMainQueue.h"
#include "platform/gtk/WebViews.h"
#include "support/TempHome.h"
#include "window/BridgeModules.h"
#include "window/FeatureModules.h"
#include "window/PageSchemes.h"
#include "window/ReaderURL.h"

namespace cvl {
namespace {

bool startDisplay() {
    static int state = 0;  // 0 unknown, 1 ready, 2 no display
    if (state == 0) {
        const char* d = std::getenv("DISPLAY");
        state = d && *d ? 1 : 2;
        if (state == 1) {
            ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
            gtk_init(nullptr, nullptr);
            installGlibMainQueue();
            setPageSchemes(makePageSchemes());
        }
    }
    return state == 1;
}

// One web view in a window, showing a page whose operations go to the feature modules.
class Rig : public BridgeWindow, public std::enable_shared_from_this<Rig> {
  public:
    test::FakeDialogs dialogs;
    struct App : test::FakeApp {
        Rig* rig = nullptr;
        void openToolPage(const std::string& url, const std::string& kind,
                          const std::vector<std::string>& paths) override {
            FakeApp::openToolPage(url, kind, paths);
            rig->showToolPage(url, kind, paths);
        }
    } app;
    WindowSnapshot state;
    std::vector<std::string> ops;

    void start(const std::string& page, const std::string& kind, const std::string& pdf) {
        app.rig = this;
        auto handlers = std::make_shared<WebViewHandlers>();
        view_ = makeDocumentWebView(handlers);
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window_), 1200, 900);
        gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
        gtk_widget_show_all(window_);
        host_ = std::make_unique<WebPageHost>(view_, PageHostShell{});
        addFeatureModules(modules_, FeatureServices{control_, history_, links_, nullptr});
        std::weak_ptr<Rig> weak = weak_from_this();
        handlers->decide = [weak](const NavigationRequest& r) {
            auto self = weak.lock();
            if (!self || r.url.rfind("qrtiz://", 0) != 0) return NavigationPolicy::Allow;
            std::string op = r.url.substr(8);
            op = op.substr(0, op.find_first_of("/?"));
            self->ops.push_back(op);
            if (auto* m = self->modules_.forOperation(op))
                m->handle(BridgeRequest{op, r.url, self->state, WindowHandle(self), self->dialogs,
                                        self->app});
            return NavigationPolicy::Cancel;
        };
        handlers->mayRead = [weak](const std::string& path) {
            auto self = weak.lock();
            return self && self->state.holds(path);
        };
        handlers->message = [weak](const std::string& body, const std::string&) {
            auto self = weak.lock();
            auto j = nlohmann::json::parse(body, nullptr, false);
            if (!self || !j.is_object()) return;
            std::string action = j.value("action", "");
            if (auto* m = self->modules_.forMessage(action))
                m->handleMessage(ScriptMessage{action, body, self->state, WindowHandle(self),
                                               self->dialogs, self->app});
        };
        ReaderAddressInputs in;
        in.readerPage = page;
        in.pdf = in.orig = pdf;
        state.bridgeId = "rig";
        state.loadGen = 1;
        showToolPage(ReaderAddress::build(in), kind, {pdf});
    }
    ~Rig() override {
        host_.reset();
        if (window_) gtk_widget_destroy(window_);
        pump(std::chrono::milliseconds(50));
    }

    // Runs the GLib loop until `done` or the time-out.
    static bool spin(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            g_main_context_iteration(nullptr, FALSE);
            g_usleep(2000);
        }
        return done();
    }
    static void pump(std::chrono::milliseconds d) {
        spin([] { return false; }, d);
    }
    // Evaluates an expression and gives its value as text.
    std::string eval(const std::string& expression) {
        std::optional<std::string> out;
        bool answered = false;
        host_->evaluateScript(
            "(function(){try{return String(" + expression + ")}catch(e){return 'ERROR '+e}})()",
            [&](std::optional<std::string> v) {
                out = v;
                answered = true;
            });
        spin([&] { return answered; }, std::chrono::seconds(10));
        return out.value_or("");
    }
    bool waitFor(const std::string& condition, int seconds = 30) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (eval("!!(" + condition + ")") == "true") return true;
            pump(std::chrono::milliseconds(150));
        }
        return false;
    }
    // Pointer events on an element at points relative to its top-left corner.
    void drag(const std::string& element, double x0, double y0, double x1, double y1) {
        eval("(function(){const o=" + element +
             ";o.setPointerCapture=()=>{};const r=o.getBoundingClientRect();"
             "const ev=(t,x,y)=>o.dispatchEvent(new PointerEvent(t,{clientX:r.left+x,"
             "clientY:r.top+y,button:0,pointerId:1,bubbles:true}));" +
             "ev('pointerdown'," + std::to_string(x0) + "," + std::to_string(y0) + ");" +
             "for(let i=1;i<=20;i++)ev('pointermove'," + std::to_string(x0) + "+(" +
             std::to_string(x1 - x0) + ")*i/20," + std::to_string(y0) + "+(" +
             std::to_string(y1 - y0) + ")*i/20+Math.sin(i)*6);" + "ev('pointerup'," +
             std::to_string(x1) + "," + std::to_string(y1) + ");return 1})()");
    }

    // BridgeWindow
    WindowSnapshot snapshot() const override { return state; }
    void evaluateScript(const std::string& script) override { host_->evaluateScript(script); }
    void evaluateScript(const std::string& script,
                        std::function<void(std::optional<std::string>)> reply) override {
        host_->evaluateScript(script, std::move(reply));
    }
    void showToolPage(const std::string& url, const std::string& kind,
                      const std::vector<std::string>& paths) override {
        state.pageKind = kind;
        state.sourcePaths = paths;
        state.shownPdf = paths.empty() ? std::string() : paths[0];
        host_->loadURL(url, "/");
    }
    void showReview(const std::vector<std::string>&, const std::optional<std::string>&) override {}
    void reloadReader() override {}
    void closeWindow() override {}

  private:
    // The application's services some modules hold; these pages use none of them.
    struct NoControl : AppControl {
        void openPanel(const std::string&) override {}
        void toggleAppearance() override {}
        void applyConfig(const std::string&, const std::string&) override {}
        void setShortcut(const std::string&, const std::string&) override {}
    } control_;
    HistoryStore history_{HistoryStore::Options{"", {}, {}}};  // in the test's home
    LinkSession links_;
    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    std::unique_ptr<WebPageHost> host_;
    BridgeModuleSet modules_;
};

const std::string kEngine = std::string(CVL_SOURCE_RESOURCES) + "/engine";

TEST(ToolPages, BoxDrawnOnTheRedactionPageTakesTheWordsOutOfTheSavedCopy) {
    if (!startDisplay()) GTEST_SKIP() << "no display";
    test::TempHome home;
    const std::string source = home / "Secrets.pdf";
    ASSERT_TRUE(writeFileAtomic(source, test::makeSecretsPdfBytes()));
    auto rig = std::make_shared<Rig>();
    rig->dialogs.confirmAnswers = {ConfirmAnswer::Verb};
    rig->dialogs.saveAnswers = {home / "Secrets (redacted).pdf"};
    rig->start(kEngine + "/redact.html", "redact", source);
    ASSERT_TRUE(rig->waitFor("document.querySelector('.page canvas')"));

    // Over the line "Secret 4471 account" (72 pt from the left, baseline 700 pt from the bottom).
    double scale = std::stod(rig->eval("document.querySelector('.page').clientWidth")) / 612;
    rig->drag("document.querySelector('.page .overlay')", 66 * scale, (792 - 720) * scale,
              250 * scale, (792 - 694) * scale);
    ASSERT_EQ(rig->eval("document.querySelectorAll('#boxList li').length"), "1");
    rig->eval("document.getElementById('btnSave').click()");
    ASSERT_TRUE(
        Rig::spin([&] { return pathExists(home / "Secrets (redacted).redaction-audit.json"); },
                  std::chrono::seconds(60)));
    // The page's box landed on the line: where its words were is black, the next line is not.
    const std::string out = home / "Secrets (redacted).pdf";
    EXPECT_EQ(test::popplerGrey(out, 1, 74, 792 - 714, 170, 12).lightest(), 0);
    auto below = test::popplerGrey(out, 1, 72, 792 - 674, 150, 14);
    EXPECT_LT(below.darkest(), 100);
    EXPECT_EQ(below.lightest(), 255);
    EXPECT_TRUE(
        rig->waitFor("document.getElementById('toast').textContent.includes('1 box is gone')"));
}

TEST(ToolPages, SignatureDrawnAndPlacedInTheSigningPlaceIsDrawnIntoTheCopy) {
    if (!startDisplay()) GTEST_SKIP() << "no display";
    test::TempHome home;
    const std::string form = home / "Form.pdf";
    ASSERT_TRUE(writeFileAtomic(form, test::makeFormPdfBytes()));
    auto rig = std::make_shared<Rig>();
    rig->dialogs.saveAnswers = {home / "Form (signed).pdf"};
    rig->start(kEngine + "/sign.html", "sign", form);
    ASSERT_TRUE(rig->waitFor("document.querySelector('.stop')"));  // the empty signature field
    rig->eval("document.getElementById('btnDraw').click()");
    rig->drag("document.getElementById('pad')", 40, 120, 440, 100);
    rig->eval("document.getElementById('padUse').click()");
    ASSERT_TRUE(rig->waitFor("document.querySelector('.sig')"));
    rig->eval("document.querySelector('.stop').click()");
    ASSERT_TRUE(rig->waitFor("document.querySelector('.place')"));
    rig->eval("document.getElementById('btnSave').click()");
    const std::string out = home / "Form (signed).pdf";
    ASSERT_TRUE(Rig::spin([&] { return isRegularFile(out); }, std::chrono::seconds(60)));
    std::string images = test::runTool("pdfimages", {"-list", out}).out;
    EXPECT_NE(images.find("\n   2     0 image"), std::string::npos) << images;
    EXPECT_TRUE(formFields(PdfDocument::openFile(out).value()).empty());
    // In the signature field's box (150..350 x 600..640 on page 2): ink.
    EXPECT_LT(test::popplerGrey(out, 2, 150, 792 - 640, 200, 40).darkest(), 160);
    EXPECT_TRUE(
        rig->waitFor("document.getElementById('banner').textContent.includes('the form "
                     "fields are gone')"));
}

TEST(ToolPages, ReaderSavesTheFormFilledInItsFormLayer) {
    if (!startDisplay()) GTEST_SKIP() << "no display";
    test::TempHome home;
    const std::string form = home / "Form.pdf";
    ASSERT_TRUE(writeFileAtomic(form, test::makeFormPdfBytes()));
    auto rig = std::make_shared<Rig>();
    rig->dialogs.confirmAnswers = {ConfirmAnswer::Verb};
    rig->start(kEngine + "/vendor/pdfjs/reader.html", "reader", form);
    ASSERT_TRUE(rig->waitFor("document.querySelector('.annotationLayer input')"));
    ASSERT_TRUE(rig->waitFor("document.querySelector('#cvlDocTools button')"));
    rig->eval(
        "(function(){const i=document.querySelector('.annotationLayer input');i.focus();"
        "i.value='Zo\u00eb N\u00fa\u00f1ez \u041f\u0440\u0438\u0432\u0435\u0442';"
        "i.dispatchEvent(new Event('input',{bubbles:true}));"
        "i.dispatchEvent(new Event('change',{bubbles:true}));i.blur();return 1})()");
    rig->eval("document.querySelector('#cvlDocTools button').click()");
    ASSERT_TRUE(rig->waitFor("document.getElementById('toast').textContent.startsWith('Saved')"));
    auto records = formFields(PdfDocument::openFile(form).value());
    EXPECT_EQ(records[0].value, "Zo\u00eb N\u00fa\u00f1ez \u041f\u0440\u0438\u0432\u0435\u0442");
    // Drawn into the file, so any viewer shows it.
    EXPECT_LT(test::popplerGrey(form, 1, 150, 92, 300, 20).darkest(), 100);
}

}  // namespace
}  // namespace cvl
