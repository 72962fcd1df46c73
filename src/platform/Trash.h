// The desktop's trash: items go where the file manager shows them (the home trash, or the
// mount's own ".Trash-UID" folder on another file system), with the information file that
// lets the file manager restore them.
#pragma once

#include <string>

#include "platform/Result.h"

namespace cvl::Trash {

// Moves the item to the trash. An item that cannot be trashed (a file system without a
// trash, no permission, gone) stays where it is; it is never deleted instead.
Status moveToTrash(const std::string& path);

}  // namespace cvl::Trash
