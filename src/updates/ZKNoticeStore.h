// The notice card's saved placement in the per-user preferences store.
#pragma once

#include <optional>
#include <string>

#include "updates/ZKNoticePlacement.h"

namespace cvl::ZKNoticeStore {

// None when nothing usable is stored under `key`, or when `key` is empty.
std::optional<ZKNoticePlacement::Saved> load(
    const std::string& key = ZKNoticePlacement::kDefaultsKey);
// Keeps the placement, or forgets it when none is given.
void store(const std::optional<ZKNoticePlacement::Saved>& saved,
           const std::string& key = ZKNoticePlacement::kDefaultsKey);

}  // namespace cvl::ZKNoticeStore
