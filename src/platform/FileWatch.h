// File-system watches over inotify. Events are read on a thread of the watch's own and
// delivered on the main queue; destroying a watch stops it, and nothing is delivered after.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cvl {

class FileWatch {
  public:
    virtual ~FileWatch() = default;

    // One file: writes, renames and deletions. `gone` is true when the file was renamed or
    // deleted (the watch then ends by itself). Null when the file cannot be watched.
    static std::unique_ptr<FileWatch> watchFile(const std::string& path,
                                                std::function<void(bool gone)> onEvent);

    // Folders and their sub-folders (a file contributes its parent folder). Events of 0.5 s
    // are delivered together as one call.
    static std::unique_ptr<FileWatch> watchTrees(const std::vector<std::string>& paths,
                                                 std::function<void()> onEvents);
};

}  // namespace cvl
