// Turns a page command into a preview the user can read and confirm, and on confirmation runs
// exactly that plan against the file on disk, writing new files beside it. The source file is
// never written. Previews wait in a shared store for ten minutes; running one checks that it is
// fresh, belongs to this document, and that no input changed since it was made.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pagecmd/PageCommand.h"
#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {

// One previewed command.
struct PagePlan {
    std::string id;
    std::string summary;
    std::vector<std::string> outputs;  // one file, or one folder
    std::string fingerprint;
    std::string detail;  // compress: sizes before and after
    PageCommand command;
    std::vector<std::string> parts;      // file names inside the output folder
    std::optional<std::string> payload;  // compress: the ready bytes
    // The document a converted PDF was made from; empty when the PDF is the document itself.
    std::string original;
};

namespace PageCommandRunner {

// The source as read at one moment.
struct Snapshot {
    std::string path;
    std::string data;
    std::string sha;
    PdfDocument doc;
};

Result<Snapshot> snapshot(const std::string& path);

// The document a converted PDF stands for (a Word, RTF or text file): the new files are named
// after it and written beside it, and a change to it after the preview voids the preview.
struct Original {
    std::string path;
    std::string sha;
};
Result<Original> readOriginal(const std::string& path);

// Validates, describes and names the outputs of a command on snapshots (no storing).
Result<PagePlan> plan(const PageCommand& command, const Snapshot& src,
                      const std::vector<Snapshot>& others,
                      const std::optional<Original>& original = std::nullopt);
// Snapshots the source (and for merge every other file), plans, and stores the plan. With an
// original, `path` is the PDF converted from it.
Result<PagePlan> plan(const PageCommand& command, const std::string& path,
                      const std::string& original = "");
// Runs a stored plan once; the output paths.
Result<std::vector<std::string>> execute(const std::string& id, const std::string& path);

std::vector<std::string> outputs(const PageCommand& command, const std::string& path,
                                 int pageCount);
std::vector<std::string> splitPartNames(const PageCommand& command, const std::string& stem,
                                        int pageCount);
std::vector<std::string> imagePartNames(const PageCommand& command, const std::string& stem,
                                        int pageCount);
// The sentence for an order that moves one page or swaps two; none otherwise.
std::optional<std::string> describeMove(const std::vector<int>& order);
std::string fingerprint(const PageCommand& command, const Snapshot& src,
                        const std::vector<Snapshot>& others,
                        const std::vector<std::string>& outputs,
                        const std::optional<Original>& original = std::nullopt);
// File name without its extension.
std::string stem(const std::string& path);
// "812 bytes", "45.3 KB", "1.2 MB".
std::string formatSize(std::size_t bytes);

// The previews waiting for confirmation, shared by all windows and the agent bridge.
class Store {
  public:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        PagePlan plan;
        std::string path;
        Clock::time_point expires;
    };

    static Store& shared();
    explicit Store(std::chrono::seconds ttl = std::chrono::seconds(600));

    void put(const PagePlan& plan, const std::string& path);
    // Removes and returns the entry: a plan can be taken once.
    std::optional<Entry> take(const std::string& id);
    Clock::time_point now() const;
    // Tests move time on.
    void setClock(std::function<Clock::time_point()> clock);
    std::size_t size() const;

  private:
    std::chrono::seconds ttl_;
    mutable std::mutex lock_;
    std::map<std::string, Entry> items_;
    std::function<Clock::time_point()> clock_;
};

}  // namespace PageCommandRunner
}  // namespace cvl
