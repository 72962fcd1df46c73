// The pages the host writes itself: the loading page that reloads until the engine replaces
// it, and the page shown after a review was cancelled.
#pragma once

#include <string>

namespace cvl::HostPages {

// Titled brand + " · preparing…"; cycles five status lines and reloads itself every 1.4 s.
std::string loadingHTML(const std::string& brandName);
// "Review canceled. What next?" with its four bridge links.
std::string cancelledHTML(const std::string& brandName);

}  // namespace cvl::HostPages
