#include "window/FeatureModules.h"

#include "operations/FormModule.h"
#include "operations/RedactModule.h"
#include "operations/SignModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<FormModule>());
    modules.add(std::make_unique<RedactModule>());
    modules.add(std::make_unique<SignModule>());
}

}  // namespace cvl
