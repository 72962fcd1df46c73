// The shell's menu bar, about box and quitting, and the desktop's facilities: default handlers,
// the file manager, the clipboard, idle inhibit and the notice card.
#include <algorithm>
#include <chrono>
#include <functional>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/TextEscape.h"
#include "platform/gtk/GtkPrinting.h"
#include "platform/gtk/GtkShell.h"
#include "platform/gtk/NoticeCardView.h"

namespace cvl {
namespace {

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

std::string fileURI(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string out = uri ? uri : "";
    g_free(uri);
    return out;
}

// Keeps an inhibit cookie; dropping it lets the display sleep again.
class IdleHold : public Holder {
  public:
    IdleHold(GtkApplication* app, guint cookie)
        : app_(G_APPLICATION(g_object_ref(app))), cookie_(cookie) {}
    ~IdleHold() override {
        if (cookie_) gtk_application_uninhibit(GTK_APPLICATION(app_), cookie_);
        g_object_unref(app_);
    }

  private:
    GApplication* app_;
    guint cookie_;
};

}  // namespace

// ---- the menu bar -------------------------------------------------------------------------------

// One application action per command of the menus; commands with targets (radio items) get a
// stateful action that takes the target.
void GtkShell::installMenuActions(const std::vector<AppMenu::Menu>& menus) {
    forEachItem(menus, [this](const AppMenu::Item& item) {
        const std::string& id = item.command;
        if (g_action_map_lookup_action(G_ACTION_MAP(app_), id.c_str())) return;
        GSimpleAction* action;
        if (item.target)
            action = g_simple_action_new_stateful(id.c_str(), G_VARIANT_TYPE_STRING,
                                                  g_variant_new_string(item.target->c_str()));
        else
            action = g_simple_action_new(id.c_str(), nullptr);
        g_signal_connect(action, "activate",
                         G_CALLBACK(+[](GSimpleAction* a, GVariant* parameter, gpointer data) {
                             auto* self = static_cast<GtkShell*>(data);
                             const std::string target =
                                 parameter && g_variant_is_of_type(parameter, G_VARIANT_TYPE_STRING)
                                     ? g_variant_get_string(parameter, nullptr)
                                     : "";
                             if (self->events_)
                                 self->events_->menuCommand(g_action_get_name(G_ACTION(a)), target);
                         }),
                         this);
        g_action_map_add_action(G_ACTION_MAP(app_), G_ACTION(action));
        g_object_unref(action);
    });
}

void GtkShell::setMenus(const std::vector<AppMenu::Menu>& menus) {
    installMenuActions(menus);
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
}

void GtkShell::setMenuStates(const std::vector<AppMenu::Menu>& menus,
                             const std::string& nightMode) {
    forEachItem(menus, [this](const AppMenu::Item& item) {
        GAction* action = g_action_map_lookup_action(G_ACTION_MAP(app_), item.command.c_str());
        if (action && !item.target)
            g_simple_action_set_enabled(G_SIMPLE_ACTION(action), item.enabled);
    });
    if (GAction* night = g_action_map_lookup_action(G_ACTION_MAP(app_), "night-mode"))
        g_simple_action_set_state(G_SIMPLE_ACTION(night), g_variant_new_string(nightMode.c_str()));
}

bool GtkShell::quitModifierHeld() {
    GdkModifierType state = GdkModifierType(0);
    return gtk_get_current_event_state(&state) && (state & GDK_MOD1_MASK);
}

void GtkShell::showAbout(const AboutInfo& about) {
    GtkWidget* box = gtk_about_dialog_new();
    GtkAboutDialog* dialog = GTK_ABOUT_DIALOG(box);
    gtk_about_dialog_set_program_name(dialog, about.name.c_str());
    gtk_about_dialog_set_version(dialog, about.version.c_str());
    gtk_about_dialog_set_comments(dialog, about.comments.c_str());
    if (icon_) gtk_about_dialog_set_logo(dialog, icon_);
    if (auto key = keyFrame())
        if (Frame* f = frame(*key))
            gtk_window_set_transient_for(GTK_WINDOW(box), GTK_WINDOW(f->window));
    gtk_window_set_modal(GTK_WINDOW(box), TRUE);
    g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show(box);
}

void GtkShell::quit() {
    g_application_quit(G_APPLICATION(app_));
}

// ---- the desktop
// ---------------------------------------------------------------------------------

void GtkShell::openURI(const std::string& uri) {
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) {
        cvlLog("no application opened %s: %s", uri.c_str(), error ? error->message : "?");
        g_clear_error(&error);
    }
}

void GtkShell::revealItems(const std::vector<std::string>& paths) {
    // The file manager's ShowItems over D-Bus, else each item's folder.
    std::vector<std::string> uris;
    for (const auto& p : paths) uris.push_back(fileURI(p));
    std::vector<const char*> list;
    for (const auto& u : uris) list.push_back(u.c_str());
    list.push_back(nullptr);
    bool shown = false;
    if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
        GError* error = nullptr;
        GVariant* result = g_dbus_connection_call_sync(
            bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
            "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", list.data(), ""),
            nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
        if (result) {
            shown = true;
            g_variant_unref(result);
        }
        g_clear_error(&error);
        g_object_unref(bus);
    }
    if (shown) return;
    std::vector<std::string> folders;
    for (const auto& p : paths) {
        const std::string folder = isDirectory(p) ? p : parentPath(p);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    for (const auto& folder : folders) openURI(fileURI(folder));
}

void GtkShell::setClipboardText(const std::string& text) {
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(),
                           static_cast<gint>(text.size()));
}

void GtkShell::setClipboardFiles(const std::vector<std::string>& paths) {
    // A URI list for file managers that paste files, GNOME's own copy format, and the paths
    // as text for everything else.
    struct Offer {
        std::string uriList, gnome, text;
    };
    auto* offer = new Offer{"", "copy", ""};
    for (const auto& p : paths) {
        const std::string uri = fileURI(p);
        offer->uriList += uri + "\r\n";
        offer->gnome += "\n" + uri;
        offer->text += (offer->text.empty() ? "" : "\n") + p;
    }
    static const GtkTargetEntry targets[] = {
        {const_cast<gchar*>("text/uri-list"), 0, 0},
        {const_cast<gchar*>("x-special/gnome-copied-files"), 0, 1},
        {const_cast<gchar*>("UTF8_STRING"), 0, 2},
        {const_cast<gchar*>("text/plain;charset=utf-8"), 0, 2},
    };
    gtk_clipboard_set_with_data(
        gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), targets, G_N_ELEMENTS(targets),
        +[](GtkClipboard*, GtkSelectionData* data, guint info, gpointer p) {
            auto* o = static_cast<Offer*>(p);
            const std::string& s = info == 0 ? o->uriList : info == 1 ? o->gnome : o->text;
            gtk_selection_data_set(data, gtk_selection_data_get_target(data), 8,
                                   reinterpret_cast<const guchar*>(s.data()),
                                   static_cast<gint>(s.size()));
        },
        +[](GtkClipboard*, gpointer p) { delete static_cast<Offer*>(p); }, offer);
}

std::unique_ptr<Holder> GtkShell::inhibitIdle(const std::string& reason) {
    GtkWindow* window = nullptr;
    if (auto key = keyFrame())
        if (Frame* f = frame(*key)) window = GTK_WINDOW(f->window);
    const guint cookie =
        gtk_application_inhibit(app_, window, GTK_APPLICATION_INHIBIT_IDLE, reason.c_str());
    if (!cookie) cvlLog("the display cannot be kept awake (%s)", reason.c_str());
    return std::make_unique<IdleHold>(app_, cookie);
}

void GtkShell::printDocument(const PrintRequest& request, std::function<void(PrintOutcome)> done) {
    GtkWindow* window = nullptr;
    if (auto key = keyFrame())
        if (Frame* f = frame(*key)) window = GTK_WINDOW(f->window);
    GtkPrinting::print(window, request, std::move(done));
}

// ---- the notice card ---------------------------------------------------------------------------

std::shared_ptr<ZKNoticeView> GtkShell::noticeView() {
    if (!noticeView_) {
        NoticeCardView::Hooks hooks;
        auto alive = alive_;
        hooks.anchor = [this, alive]() -> GtkWindow* {
            if (!*alive) return nullptr;
            auto key = keyFrame();
            Frame* f = key ? frame(*key) : nullptr;
            return f ? GTK_WINDOW(f->window) : nullptr;
        };
        hooks.now = [] {
            using namespace std::chrono;
            return duration<double>(steady_clock::now().time_since_epoch()).count();
        };
        noticeView_ = std::make_shared<NoticeCardView>(std::move(hooks));
        noticeView_->setDark(dark_);
    }
    return noticeView_;
}

void GtkShell::attachNotice(std::weak_ptr<ZKNotice> notice) {
    if (noticeView_) noticeView_->attach(std::move(notice));
}

}  // namespace cvl
