// Moving and copying files and folders without ever replacing what is at the destination.
// A move within one file system is a rename; across file systems the item is copied (with
// its permissions and times) beside the destination under a hidden name, published with a
// rename that refuses to replace, and only then removed from its old place. A copy that
// fails half-way is removed, so nothing partial is left behind.
#pragma once

#include <string>

#include "platform/Result.h"

namespace cvl::FileTransfer {

// Renames `from` to `to`; fails (and changes nothing) when `to` exists. Works for files,
// folders and symbolic links, across file systems too.
Status moveNoReplace(const std::string& from, const std::string& to);

// Copies the file or folder tree `from` to `to`; fails when `to` exists.
Status copyNoReplace(const std::string& from, const std::string& to);

}  // namespace cvl::FileTransfer
