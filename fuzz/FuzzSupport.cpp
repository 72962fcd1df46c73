#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace cvl::fuzz {
void removeScratch() {
    std::error_code ec;
    std::filesystem::remove_all(scratchDir(), ec);
}

namespace {

void requireScratch(const std::string& path) {
    if (path.rfind(scratchDir() + "/", 0) != 0) {
        std::fprintf(stderr, "fuzz: %s is outside the scratch folder\n", path.c_str());
        std::abort();
    }
}

}  // namespace

const std::string& scratchDir() {
    static const std::string dir = [] {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/cvl-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("fuzz: mkdtemp");
            std::abort();
        }
        ::setenv("HOME", pattern.c_str(), 1);
        return pattern;
    }();
    return dir;
}

void removeAt(const std::string& path) {
    requireScratch(path);
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void writeAt(const std::string& path, std::string_view bytes) {
    requireScratch(path);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string writeScratch(const std::string& name, std::string_view bytes) {
    std::string path = scratchDir() + "/" + name;
    writeAt(path, bytes);
    return path;
}

}  // namespace cvl::fuzz

// Every target starts with HOME in the scratch folder, before the first input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    cvl::fuzz::scratchDir();
    // Registered after the folder's name exists, so it runs before the name is destroyed.
    std::atexit(cvl::fuzz::removeScratch);
    return 0;
}
