#include "app/Brand.h"

#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/UserDirs.h"

namespace cvl {

Brand Brand::fallback() {
    return Brand{
        "Corvello",        "One window, your whole library.", "by Orrindel Studios", "corvello.app",
        "Document Studio", {"sort", "read", "compare"}};
}

Brand Brand::fromJSONText(std::string_view text) {
    Brand brand = fallback();
    nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_object()) return brand;
    auto text_of = [&](const char* key, std::string& field) {
        auto it = doc.find(key);
        if (it != doc.end() && it->is_string()) field = it->get<std::string>();
    };
    text_of("name", brand.name);
    text_of("tagline", brand.tagline);
    text_of("endorsement", brand.endorsement);
    text_of("domain", brand.domain);
    text_of("category", brand.category);
    if (auto it = doc.find("modules"); it != doc.end() && it->is_array()) {
        std::set<std::string> modules;
        for (const auto& m : *it)
            if (m.is_string()) modules.insert(m.get<std::string>());
        brand.modules = std::move(modules);
    }
    return brand;
}

const Brand& Brand::current() {
    static const Brand brand = [] {
        auto text = readFile(UserDirs::resourceDir() + "/brand.json");
        return text ? fromJSONText(*text) : fallback();
    }();
    return brand;
}

}  // namespace cvl
