#include "updates/UpdateModule.h"

#include "updates/UpdaterSetup.h"
#include "updates/ZKUpdate.h"

namespace cvl {

UpdateModule::UpdateModule(std::function<std::shared_ptr<ZKUpdate>()> updater)
    : updater_(updater ? std::move(updater) : std::function(UpdaterSetup::shared)) {}

void UpdateModule::handle(const BridgeRequest& request) {
    auto updater = updater_();
    if (!updater) {
        request.dialogs.alert("Updates are off",
                              "This launch does not check for updates (a test launch).");
        return;
    }
    updater->checkNow(true);
}

}  // namespace cvl
