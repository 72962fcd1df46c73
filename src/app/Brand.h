// The product identity record, read once per process from brand.json in the resource folder.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace cvl {

struct Brand {
    std::string name;
    std::string tagline;
    std::string endorsement;
    std::string domain;
    std::string category;
    std::set<std::string> modules;

    bool has(const std::string& module) const { return modules.count(module) > 0; }

    // The record used when brand.json is missing or a key is missing or of the wrong type.
    static Brand fallback();
    // Every key that is missing or of the wrong type keeps the fallback's value; text that is
    // not a JSON object gives the fallback record.
    static Brand fromJSONText(std::string_view text);
    // Read from the resource folder's brand.json on first use, then kept for the process.
    static const Brand& current();
};

}  // namespace cvl
