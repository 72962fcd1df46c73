// The desktop application's menu bar: the core's description turned into GMenu models and
// application actions with their accelerators.
#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "app/AppConstants.h"
#include "app/AppMenu.h"
#include "app/Brand.h"
#include "app/ClosedTabs.h"
#include "app/Config.h"
#include "night/NightSettings.h"
#include "platform/gtk/DesktopAppParts.h"
#include "platform/gtk/WebViews.h"

namespace cvl {

namespace {

AppMenu::State menuState(size_t closedTabs, bool hasWindow, bool readerShown) {
    AppMenu::State state;
    state.appName = Brand::current().name;
    state.closedTabs = closedTabs;
    state.hasWindow = hasWindow;
    state.readerShown = readerShown;
    return state;
}

GMenu* menuModel(const AppMenu::Menu& menu) {
    GMenu* model = g_menu_new();
    for (const auto& section : menu.sections) {
        GMenu* part = g_menu_new();
        for (const auto& item : section) {
            const std::string action = "app." + item.command;
            GMenuItem* entry = g_menu_item_new(item.label.c_str(), nullptr);
            if (item.target)
                g_menu_item_set_action_and_target_value(entry, action.c_str(),
                                                        g_variant_new_string(item.target->c_str()));
            else
                g_menu_item_set_detailed_action(entry, action.c_str());
            g_menu_append_item(part, entry);
            g_object_unref(entry);
        }
        g_menu_append_section(model, nullptr, G_MENU_MODEL(part));
        g_object_unref(part);
    }
    for (const auto& sub : menu.submenus) {
        GMenu* child = menuModel(sub);
        g_menu_append_submenu(model, sub.label.c_str(), G_MENU_MODEL(child));
        g_object_unref(child);
    }
    return model;
}

void forEachItem(const std::vector<AppMenu::Menu>& menus,
                 const std::function<void(const AppMenu::Item&)>& f) {
    for (const auto& m : menus) {
        for (const auto& s : m.sections)
            for (const auto& i : s) f(i);
        forEachItem(m.submenus, f);
    }
}

}  // namespace

void DesktopApp::installMenuActions() {
    if (menusInstalled_) return;
    menusInstalled_ = true;
    for (const auto& id : AppMenu::commandIds()) {
        GSimpleAction* action;
        if (id == "night-mode") {
            action = g_simple_action_new_stateful(
                id.c_str(), G_VARIANT_TYPE_STRING,
                g_variant_new_string(NightSettings::load().mode.c_str()));
        } else {
            action = g_simple_action_new(id.c_str(), nullptr);
        }
        g_signal_connect(action, "activate",
                         G_CALLBACK(+[](GSimpleAction* a, GVariant* parameter, gpointer data) {
                             const std::string target =
                                 parameter && g_variant_is_of_type(parameter, G_VARIANT_TYPE_STRING)
                                     ? g_variant_get_string(parameter, nullptr)
                                     : "";
                             static_cast<DesktopApp*>(data)->runMenuCommand(
                                 g_action_get_name(G_ACTION(a)), target);
                         }),
                         this);
        g_action_map_add_action(G_ACTION_MAP(app_), G_ACTION(action));
        g_object_unref(action);
    }
}

void DesktopApp::rebuildMenu() {
    if (!menusInstalled_) return;
    const nlohmann::json cfg = loadConfig();
    const auto shortcuts = cfg.contains("shortcuts") ? cfg["shortcuts"] : nlohmann::json();
    const auto menus = AppMenu::build(menuState(0, false, false), shortcuts);
    GMenu* bar = g_menu_new();
    for (const auto& menu : menus) {
        GMenu* model = menuModel(menu);
        g_menu_append_submenu(bar, menu.label.c_str(), G_MENU_MODEL(model));
        g_object_unref(model);
    }
    gtk_application_set_menubar(app_, G_MENU_MODEL(bar));
    g_object_unref(bar);
    forEachItem(menus, [this](const AppMenu::Item& item) {
        if (item.target) return;
        std::vector<const char*> accels;
        for (const auto& a : item.accels) accels.push_back(a.c_str());
        accels.push_back(nullptr);
        const std::string action = "app." + item.command;
        gtk_application_set_accels_for_action(app_, action.c_str(), accels.data());
    });
    updateMenuBar();
}

void DesktopApp::updateMenuBar() {
    if (!menusInstalled_ || quitting_) return;
    Tab* current = currentTab(keyFrame());
    const auto menus = AppMenu::build(menuState(closedTabs_->entries().size(), !tabs_.empty(),
                                                current && current->wc->isReader()),
                                      nlohmann::json());
    forEachItem(menus, [this](const AppMenu::Item& item) {
        GAction* action = g_action_map_lookup_action(G_ACTION_MAP(app_), item.command.c_str());
        if (action && !item.target)
            g_simple_action_set_enabled(G_SIMPLE_ACTION(action), item.enabled);
    });
    if (GAction* night = g_action_map_lookup_action(G_ACTION_MAP(app_), "night-mode")) {
        std::string mode = NightSettings::load().mode;
        if (mode != "on" && mode != "auto") mode = "off";
        g_simple_action_set_state(G_SIMPLE_ACTION(night), g_variant_new_string(mode.c_str()));
    }
}

void DesktopApp::runMenuCommand(const std::string& command, const std::string& target) {
    Tab* current = currentTab(keyFrame());
    auto inReader = [&](const char* how) {
        if (current && current->wc->isReader())
            current->host->evaluateScript(std::string("if(window.cvlZoom){cvlZoom('") + how +
                                          "')}");
    };
    if (command == "new-window") {
        openWelcome(nullptr);
    } else if (command == "open") {
        pickAndRead();
    } else if (command == "open-folder") {
        pickAndReview(std::nullopt);
    } else if (command == "reopen-closed-tab") {
        reopenClosedTab();
    } else if (command == "file-history") {
        openHistory();
    } else if (command == "close-tab") {
        if (current) requestClose(*current->wc);
    } else if (command == "close-window") {
        if (Frame* frame = keyFrame()) gtk_window_close(GTK_WINDOW(frame->window));
    } else if (command == "toggle-theme") {
        toggleTheme();
    } else if (command == "reload") {
        if (current) webkit_web_view_reload(current->view);
    } else if (command == "zoom-in") {
        inReader("in");
    } else if (command == "zoom-out") {
        inReader("out");
    } else if (command == "zoom-width") {
        inReader("width");
    } else if (command == "night-mode") {
        if (target == "off" || target == "on" || target == "auto") setNightMode(target);
    } else if (command == "settings") {
        openPanel("settings");
    } else if (command == "about") {
        showAbout();
    } else if (command == "quit") {
        // Quitting with Alt held (Ctrl+Alt+Q, or the menu item Alt-clicked) forgets the
        // windows instead of bringing them back next time.
        GdkModifierType state = GdkModifierType(0);
        quitDiscardsWindows_ = gtk_get_current_event_state(&state) && (state & GDK_MOD1_MASK);
        g_application_quit(G_APPLICATION(app_));
    }
}

void DesktopApp::setShortcut(const std::string& command, const std::string& combo) {
    nlohmann::json cfg = loadConfig();
    if (Status stored = AppMenu::storeShortcut(cfg, command, combo); !stored) {
        showNotice("shortcut-refused", "Shortcut not changed", stored.error());
        return;
    }
    saveConfig(cfg);
    rebuildMenu();
}

void DesktopApp::showAbout() {
    const Brand& brand = Brand::current();
    Frame* frame = keyFrame();
    GtkWidget* about = gtk_about_dialog_new();
    GtkAboutDialog* dialog = GTK_ABOUT_DIALOG(about);
    gtk_about_dialog_set_program_name(dialog, brand.name.c_str());
    gtk_about_dialog_set_version(dialog, appConstants().version.c_str());
    gtk_about_dialog_set_comments(dialog, (brand.tagline + "\n" + brand.endorsement).c_str());
    if (appIcon_) gtk_about_dialog_set_logo(dialog, appIcon_);
    if (frame) gtk_window_set_transient_for(GTK_WINDOW(about), GTK_WINDOW(frame->window));
    gtk_window_set_modal(GTK_WINDOW(about), TRUE);
    g_signal_connect(about, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show(about);
}

}  // namespace cvl
