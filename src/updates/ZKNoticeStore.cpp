#include "updates/ZKNoticeStore.h"

#include <nlohmann/json.hpp>

#include "app/UserPrefs.h"

namespace cvl::ZKNoticeStore {

std::optional<ZKNoticePlacement::Saved> load(const std::string& key) {
    if (key.empty()) return std::nullopt;
    auto stored = UserPrefs::value(key);
    if (!stored) return std::nullopt;
    return ZKNoticePlacement::decode(*stored);
}

void store(const std::optional<ZKNoticePlacement::Saved>& saved, const std::string& key) {
    if (key.empty()) return;
    if (saved)
        UserPrefs::setValue(key, ZKNoticePlacement::encode(*saved));
    else
        UserPrefs::removeValue(key);
}

}  // namespace cvl::ZKNoticeStore
