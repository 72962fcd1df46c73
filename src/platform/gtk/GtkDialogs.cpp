#include "platform/gtk/GtkDialogs.h"

#include <memory>

#include "platform/Text.h"

namespace cvl {
namespace {

enum Response { kAlternate = 1, kVerb = 2 };

// A dialog's answer is handed over once, on the main loop, whatever happens to the Dialogs
// object that asked: the callback travels with the dialog.
template <class Done>
struct Pending {
    Done done;
};

GtkFileFilter* filterFor(const std::vector<std::string>& extensions) {
    GtkFileFilter* filter = gtk_file_filter_new();
    std::string name;
    for (const auto& ext : extensions) {
        // Both cases: the chooser's patterns are case-sensitive.
        const std::string lower = asciiLower(ext);
        std::string upper = ext;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        gtk_file_filter_add_pattern(filter, ("*." + lower).c_str());
        gtk_file_filter_add_pattern(filter, ("*." + upper).c_str());
        name += (name.empty() ? "" : ", ") + upper;
    }
    gtk_file_filter_set_name(filter, name.c_str());
    return filter;
}

std::vector<std::string> chosenFiles(GtkFileChooser* chooser) {
    std::vector<std::string> out;
    GSList* files = gtk_file_chooser_get_filenames(chooser);
    for (GSList* f = files; f; f = f->next) {
        out.emplace_back(static_cast<char*>(f->data));
        g_free(f->data);
    }
    g_slist_free(files);
    return out;
}

}  // namespace

void GtkDialogs::confirm(const ConfirmSheet& sheet, std::function<void(ConfirmAnswer)> done) {
    GtkWidget* dialog = gtk_message_dialog_new(parent(), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                                               GTK_BUTTONS_NONE, "%s", sheet.title.c_str());
    if (!sheet.message.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 sheet.message.c_str());
    gtk_dialog_add_button(GTK_DIALOG(dialog), "_Cancel", GTK_RESPONSE_CANCEL);
    if (!sheet.alternate.empty())
        gtk_dialog_add_button(GTK_DIALOG(dialog), sheet.alternate.c_str(), kAlternate);
    GtkWidget* verb = gtk_dialog_add_button(GTK_DIALOG(dialog), sheet.verb.c_str(), kVerb);
    gtk_style_context_add_class(
        gtk_widget_get_style_context(verb),
        sheet.destructive ? GTK_STYLE_CLASS_DESTRUCTIVE_ACTION : GTK_STYLE_CLASS_SUGGESTED_ACTION);
    // A destructive verb is not the default: Enter must not delete.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), sheet.destructive
                                                            ? static_cast<gint>(GTK_RESPONSE_CANCEL)
                                                            : static_cast<gint>(kVerb));
    auto* pending = new Pending<std::function<void(ConfirmAnswer)>>{std::move(done)};
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog* d, gint response, gpointer p) {
                         std::unique_ptr<Pending<std::function<void(ConfirmAnswer)>>> answer(
                             static_cast<Pending<std::function<void(ConfirmAnswer)>>*>(p));
                         gtk_widget_destroy(GTK_WIDGET(d));
                         answer->done(response == kVerb        ? ConfirmAnswer::Verb
                                      : response == kAlternate ? ConfirmAnswer::Alternate
                                                               : ConfirmAnswer::Cancel);
                     }),
                     pending);
    gtk_widget_show(dialog);
}

void GtkDialogs::choose(const FileChoice& choice,
                        std::function<void(std::vector<std::string>)> done) {
    const std::string title = choice.title.empty() ? choice.message : choice.title;
    const std::string prompt = choice.prompt.empty() ? "_Open" : choice.prompt;
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        title.c_str(), parent(),
        choice.folders ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN,
        prompt.c_str(), "_Cancel");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), choice.multiple);
    if (!choice.folders && !choice.extensions.empty())
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filterFor(choice.extensions));
    if (!choice.startFolder.empty())
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), choice.startFolder.c_str());
    auto* pending = new Pending<std::function<void(std::vector<std::string>)>>{std::move(done)};
    g_signal_connect(
        chooser, "response", G_CALLBACK(+[](GtkNativeDialog* d, gint response, gpointer p) {
            std::unique_ptr<Pending<std::function<void(std::vector<std::string>)>>> answer(
                static_cast<Pending<std::function<void(std::vector<std::string>)>>*>(p));
            std::vector<std::string> files;
            if (response == GTK_RESPONSE_ACCEPT) files = chosenFiles(GTK_FILE_CHOOSER(d));
            g_object_unref(d);
            answer->done(std::move(files));
        }),
        pending);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void GtkDialogs::save(const SaveChoice& choice,
                      std::function<void(std::optional<std::string>)> done) {
    const std::string prompt = choice.prompt.empty() ? "_Save" : choice.prompt;
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        choice.title.c_str(), parent(), GTK_FILE_CHOOSER_ACTION_SAVE, prompt.c_str(), "_Cancel");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    // The user agrees to replace an existing file in the dialog itself.
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    if (!choice.folder.empty())
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), choice.folder.c_str());
    if (!choice.suggestedName.empty())
        gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), choice.suggestedName.c_str());
    if (!choice.extensions.empty())
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filterFor(choice.extensions));
    auto* pending = new Pending<std::function<void(std::optional<std::string>)>>{std::move(done)};
    g_signal_connect(
        chooser, "response", G_CALLBACK(+[](GtkNativeDialog* d, gint response, gpointer p) {
            std::unique_ptr<Pending<std::function<void(std::optional<std::string>)>>> answer(
                static_cast<Pending<std::function<void(std::optional<std::string>)>>*>(p));
            std::optional<std::string> path;
            if (response == GTK_RESPONSE_ACCEPT)
                if (char* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))) {
                    path = file;
                    g_free(file);
                }
            g_object_unref(d);
            answer->done(std::move(path));
        }),
        pending);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void GtkDialogs::alert(const std::string& title, const std::string& message,
                       std::function<void()> done) {
    GtkWidget* dialog = gtk_message_dialog_new(parent(), GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                               GTK_BUTTONS_OK, "%s", title.c_str());
    if (!message.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", message.c_str());
    auto* pending = new Pending<std::function<void()>>{std::move(done)};
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog* d, gint, gpointer p) {
                         std::unique_ptr<Pending<std::function<void()>>> answer(
                             static_cast<Pending<std::function<void()>>*>(p));
                         gtk_widget_destroy(GTK_WIDGET(d));
                         if (answer->done) answer->done();
                     }),
                     pending);
    gtk_widget_show(dialog);
}

namespace {

struct MenuState {
    std::function<void(std::optional<size_t>)> done;
    std::optional<size_t> picked;
};

}  // namespace

void GtkDialogs::menu(const MenuChoice& choice, std::function<void(std::optional<size_t>)> done) {
    auto state = std::make_shared<MenuState>();
    state->done = std::move(done);
    GtkWidget* menu = gtk_menu_new();
    if (!choice.title.empty()) {
        GtkWidget* title = gtk_menu_item_new_with_label(choice.title.c_str());
        gtk_widget_set_sensitive(title, FALSE);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), title);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_separator_menu_item_new());
    }
    for (size_t i = 0; i < choice.items.size(); ++i) {
        GtkWidget* item = gtk_menu_item_new_with_label(choice.items[i].c_str());
        g_object_set_data(G_OBJECT(item), "cvl-index", GSIZE_TO_POINTER(i + 1));
        g_signal_connect_data(
            item, "activate", G_CALLBACK(+[](GtkMenuItem* it, gpointer p) {
                static_cast<MenuState*>(p)->picked =
                    GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(it), "cvl-index")) - 1;
            }),
            state.get(), nullptr, GConnectFlags(0));
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    }
    // The menu's answer comes after the item's "activate", when the menu has closed.
    auto* held = new std::shared_ptr<MenuState>(state);
    g_signal_connect(menu, "deactivate", G_CALLBACK(+[](GtkMenuShell* m, gpointer p) {
                         std::unique_ptr<std::shared_ptr<MenuState>> s(
                             static_cast<std::shared_ptr<MenuState>*>(p));
                         auto st = *s;
                         g_idle_add(
                             +[](gpointer q) -> gboolean {
                                 std::unique_ptr<std::shared_ptr<MenuState>> done(
                                     static_cast<std::shared_ptr<MenuState>*>(q));
                                 (*done)->done((*done)->picked);
                                 return G_SOURCE_REMOVE;
                             },
                             new std::shared_ptr<MenuState>(st));
                         g_idle_add(
                             +[](gpointer w) -> gboolean {
                                 gtk_widget_destroy(GTK_WIDGET(w));
                                 return G_SOURCE_REMOVE;
                             },
                             m);
                     }),
                     held);
    gtk_widget_show_all(menu);
    if (GtkWindow* window = parent())
        gtk_menu_attach_to_widget(GTK_MENU(menu), GTK_WIDGET(window), nullptr);
    gtk_menu_popup_at_pointer(GTK_MENU(menu), nullptr);
}

}  // namespace cvl
