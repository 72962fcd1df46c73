// Links that lead out of a document. A web address opens in the browser once the user has seen
// where it goes (at once for a site they chose not to be asked about again); a mail address goes
// to the mail client; the reader itself is never navigated away from its document.
#pragma once

#include <string>

#include "window/AppActions.h"
#include "window/Dialogs.h"

namespace cvl::WebLinks {

enum class Kind {
    Page,   // the program's own pages and documents (file:, qrtiz:, vtpdf:, data:, ...)
    Web,    // http: and https:
    Mail,   // mailto:
    Other,  // every other scheme (ftp:, tel:, ...), opened by the desktop after asking
};
Kind kindOf(const std::string& url);

// The lower-case host of a web address ("www.example.com"); "" when it has none.
std::string siteOf(const std::string& url);

// Sites whose links open without asking (the settings key "link_sites_without_asking").
bool opensWithoutAsking(const std::string& site);
void openWithoutAsking(const std::string& site);

// Opens a link the user followed in a document, asking first where that is due. Page links are
// left to the caller.
void follow(const std::string& url, Dialogs& dialogs, AppActions& app);

// Opens a local file a document links to with its application, once the user has seen which
// file it is (a document's link may name a program or a launcher anywhere on disk).
void followFile(const std::string& path, Dialogs& dialogs, AppActions& app);

}  // namespace cvl::WebLinks
