#include "operations/CvlBates.h"

#include <malloc.h>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "operations/BatesStamper.h"
#include "platform/FileIO.h"

namespace cvl {

namespace {

int usage(const std::string& why) {
    std::fprintf(stderr,
                 "cvl bates: %s\nusage: cvl %s\n"
                 "  --position is one of bottomRight (default), bottomCenter, bottomLeft,\n"
                 "  topRight, topCenter, topLeft; the output folder defaults to\n"
                 "  FOLDER/Bates-Stamped; without --start numbering continues after the\n"
                 "  numbers the output folder's manifest has assigned.\n",
                 why.c_str(), kCvlBatesUsage);
    return 2;
}

bool wholeNumber(const std::string& text, long long low, long long high, long long& out) {
    try {
        size_t used = 0;
        out = std::stoll(text, &used);
        return used == text.size() && out >= low && out <= high;
    } catch (...) {
        return false;
    }
}

bool realNumber(const std::string& text, double low, double high, double& out) {
    try {
        size_t used = 0;
        out = std::stod(text, &used);
        return used == text.size() && std::isfinite(out) && out >= low && out <= high;
    } catch (...) {
        return false;
    }
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    std::string out = ec ? path : abs.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

int finish(const BatesRunResult& result) {
    std::printf("%s\n", BatesStamper::runResultJson(result).c_str());
    return result.stampedCount > 0 ? 0 : 1;
}

}  // namespace

int cvlBatesMain(const std::vector<std::string>& args) {
    // Each stamped copy is built and written in memory and then freed; letting the allocator
    // hand that memory back to the system after every document costs more than the stamping
    // (page faults on the next one). This process is short-lived, so it keeps what it freed.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 64 << 20);
    BatesConfig config;
    std::optional<long long> start;
    std::string folder, out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        auto value = [&] {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        long long whole = 0;
        if (a == "--prefix") {
            if (!value()) return usage("--prefix needs a text");
            config.prefix = v;
        } else if (a == "--start") {
            if (!value() || !wholeNumber(v, 1, 999'999'999'999'999LL, whole))
                return usage("--start needs a whole number of 1 or more");
            start = whole;
            config.start = whole;
        } else if (a == "--pad") {
            if (!value() || !wholeNumber(v, 0, 18, whole))
                return usage("--pad needs a number of digits from 0 to 18");
            config.pad = int(whole);
        } else if (a == "--position") {
            if (!value()) return usage("--position needs a position");
            auto position = BatesPositions::fromRaw(v);
            if (!position) return usage("unknown position " + v);
            config.position = *position;
        } else if (a == "--font-size") {
            if (!value() || !realNumber(v, 1, 144, config.fontSize))
                return usage("--font-size needs a size in points from 1 to 144");
        } else if (a == "--no-name-by-bates") {
            config.nameByBates = false;
        } else if (a == "--out") {
            if (!value() || v.empty()) return usage("--out needs a folder");
            out = v;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage("unknown option " + a);
        } else if (folder.empty()) {
            folder = a;
        } else {
            return usage("give one FOLDER");
        }
    }
    if (folder.empty()) return usage("give a FOLDER");
    folder = absolute(folder);
    out = out.empty() ? folder + "/" + BatesStamper::kOutputFolderName : absolute(out);
    config.prefix = batesTrimmedPrefix(config.prefix);  // as the Bates page takes it

    BatesRunResult failed;
    failed.outputDir = out;
    failed.manifestPath = out + "/" + BatesStamper::kManifestName;
    failed.csvPath = out + "/" + BatesStamper::kLoadFileName;
    if (config.prefix.empty()) {
        failed.error = BatesStamper::kEmptyPrefix;
        return finish(failed);
    }
    auto inputs = isDirectory(folder) ? batesInputList(folder) : std::nullopt;
    if (!inputs) {
        failed.error = BatesStamper::kFolderUnreadable;
        return finish(failed);
    }
    if (inputs->empty()) {
        failed.error = BatesStamper::kNoFolderInputs;
        return finish(failed);
    }
    auto progress = [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    };
    return finish(BatesStamper::stamp(*inputs, out, config, start, progress));
}

}  // namespace cvl
