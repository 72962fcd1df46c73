// The window side of search without a window: the scope of a window, the cross-folder
// search and the reader search. Results reach the page through a poster that the host
// connects to its web view (holding it weakly); the poster is always called on the main
// queue with the page function's name and its argument text.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cvl {
class CVSearchIndex;

namespace SearchFlows {

using PagePoster = std::function<void(const std::string& function, const std::string& argument)>;

// The folders of a window's source paths: each existing folder itself, else the parent of
// an existing file; no empty entries or duplicates.
std::vector<std::string> searchScopeDirs(const std::vector<std::string>& sourcePaths);
// The source paths whose lower-cased extension is "pdf".
std::vector<std::string> explicitSearchFiles(const std::vector<std::string>& sourcePaths);

// Bridge operation `search` (parameters q and mode) for a window with these source paths.
void crossFolderSearchV2(const std::string& url, const std::vector<std::string>& sourcePaths,
                         std::shared_ptr<CVSearchIndex> index, PagePoster post);
// The same search over an explicit scope: a short query is answered by the direct scan; a
// fresh scope by the index; a stale scope by the direct scan at once, then progress, then
// the index after a run.
void crossFolderSearch(const std::string& q, const std::string& mode,
                       const std::vector<std::string>& dirs,
                       const std::vector<std::string>& explicitFiles,
                       std::shared_ptr<CVSearchIndex> index, PagePoster post);

// Bridge operation `readersearch` (parameters q and path): a direct scan of one document.
void readerSearch(const std::string& url, const std::vector<std::string>& sourcePaths,
                  PagePoster post);

}  // namespace SearchFlows
}  // namespace cvl
