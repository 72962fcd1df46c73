#include "window/FeatureModules.h"

#include "operations/CompareModule.h"
#include "operations/OcrModule.h"

namespace cvl {

void addFeatureModules(BridgeModuleSet& modules) {
    modules.add(std::make_unique<CompareModule>());
    modules.add(std::make_unique<OcrModule>());
}

}  // namespace cvl
