// The pages the host writes itself: the loading page that reloads until the engine replaces
// it, and the page shown after a review was cancelled.
#pragma once

#include <string>

namespace cvl::HostPages {

// Titled brand + " · preparing…"; cycles five status lines and reloads itself every 1.4 s.
// A page that does not reload itself only cycles its lines: it is for waits that end in a
// load of another address, which a self-reload could otherwise override.
std::string loadingHTML(const std::string& brandName, bool reloadsItself = true);
// "Review canceled. What next?" with its four bridge links.
std::string cancelledHTML(const std::string& brandName);

}  // namespace cvl::HostPages
