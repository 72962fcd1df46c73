// Which pages the host takes requests from. Pages are not trusted by default: a document can
// carry links, and a page that gets script into a view must not reach the bridge. Only the
// program's own pages may ask for work: the engine's pages in the resource folder or the engine
// override folder, and the pages the host generates in its working folder (by their names).
#pragma once

#include <string>

namespace cvl::PageTrust {

// Whether `url` is one of the program's own pages: a file address inside the resource or
// override folder, or a generated page directly in the working folder (symbolic links
// resolved, "." and ".." steps refused).
bool isOwnPage(const std::string& url);

}  // namespace cvl::PageTrust
