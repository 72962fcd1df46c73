// The questions a window asks, drawn by GTK: confirmation sheets as modal dialogs attached to
// the window, file choosers and save dialogs through GtkFileChooserNative (the desktop portal
// where there is one), alerts, and menus at the pointer.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "window/Dialogs.h"

namespace cvl {

class GtkDialogs : public Dialogs {
  public:
    // `parent` gives the window the dialogs belong to (none: no window).
    explicit GtkDialogs(std::function<GtkWindow*()> parent) : parent_(std::move(parent)) {}

    void confirm(const ConfirmSheet& sheet, std::function<void(ConfirmAnswer)> done) override;
    void choose(const FileChoice& choice,
                std::function<void(std::vector<std::string>)> done) override;
    void save(const SaveChoice& choice,
              std::function<void(std::optional<std::string>)> done) override;
    void alert(const std::string& title, const std::string& message,
               std::function<void()> done) override;
    void menu(const MenuChoice& choice, std::function<void(std::optional<size_t>)> done) override;

  private:
    GtkWindow* parent() const { return parent_ ? parent_() : nullptr; }
    std::function<GtkWindow*()> parent_;
};

}  // namespace cvl
