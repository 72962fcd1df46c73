#include "operations/CvlDocumentInfo.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "operations/DocumentInfo.h"

namespace cvl {

int cvlInfoMain(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        std::fprintf(stderr, "usage: cvl %s\n", kCvlInfoUsage);
        return 2;
    }
    auto info = DocumentInfo::gather(args[0]);
    const nlohmann::json out =
        info ? *info : nlohmann::json{{"path", args[0]}, {"error", info.error()}};
    std::printf("%s\n", out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return info ? 0 : 1;
}

}  // namespace cvl
