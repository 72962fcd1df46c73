// Dialogs answered from a file, so that end-to-end tests can drive the real application
// through its confirmations, choosers and menus. CVL_TEST_DIALOGS names a JSON object of answer
// lists; it is honoured only in a test launch (CVL_TEST set):
//
//   {"confirm": ["verb", "alternate", "cancel"],   the button pressed
//    "choose":  [["/docs/Annex.pdf"], []],          the paths chosen ([] cancels)
//    "save":    ["/docs/out.pdf", null],            the path given (null cancels)
//    "menu":    [0, -1, null]}                      the item chosen, -1 the last (null dismisses)
//
// Each dialog takes the next answer of its kind, across every window of the process; when a
// list runs out the dialog is cancelled. Every dialog asked is appended to the file named by
// the answers' path + ".log", one JSON object per line with its "kind" and what it showed
// ("title", "message", "verb", "alternate", "prompt", "items", ...), so a test can check what
// the user would have seen. Answers arrive on the main queue, as the real dialogs' do.
#pragma once

#include <memory>
#include <string>

#include "window/Dialogs.h"

namespace cvl {

class ScriptedDialogs : public Dialogs {
  public:
    // Dialogs for this process when it is a test launch with CVL_TEST_DIALOGS set; else none.
    static std::unique_ptr<Dialogs> fromEnvironment();

    explicit ScriptedDialogs(std::string answersPath);

    void confirm(const ConfirmSheet& sheet, std::function<void(ConfirmAnswer)> done) override;
    void choose(const FileChoice& choice,
                std::function<void(std::vector<std::string>)> done) override;
    void save(const SaveChoice& choice,
              std::function<void(std::optional<std::string>)> done) override;
    void alert(const std::string& title, const std::string& message,
               std::function<void()> done) override;
    void menu(const MenuChoice& choice, std::function<void(std::optional<size_t>)> done) override;

  private:
    std::string path_;
};

}  // namespace cvl
