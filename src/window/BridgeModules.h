// The set of feature modules a window's dispatch routes to, looked up by operation name or
// script-message action. Each name belongs to one module.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "window/BridgeModule.h"

namespace cvl {

class BridgeModuleSet {
  public:
    // Takes the module and its names. A name another module already answers stays with the
    // first module and is logged: two homes for one operation is a mistake in the build.
    void add(std::unique_ptr<BridgeModule> module);
    BridgeModule* forOperation(const std::string& op) const;
    BridgeModule* forMessage(const std::string& action) const;
    bool empty() const { return modules_.empty(); }
    // The names that more than one module claimed ("op:NAME" or "message:NAME"), in the order
    // they were found.
    const std::vector<std::string>& clashes() const { return clashes_; }

  private:
    std::vector<std::unique_ptr<BridgeModule>> modules_;
    std::unordered_map<std::string, BridgeModule*> operations_;
    std::unordered_map<std::string, BridgeModule*> messages_;
    std::vector<std::string> clashes_;
};

}  // namespace cvl
