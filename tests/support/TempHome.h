// Test fixture helper: a temporary folder set as HOME for the test's lifetime, removed after.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace cvl::test {

class TempHome {
public:
    TempHome() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "cvl-home-XXXXXX").string();
        if (char* made = ::mkdtemp(tmpl.data())) path_ = made;
        if (const char* old = std::getenv("HOME")) oldHome_ = old;
        ::setenv("HOME", path_.c_str(), 1);
    }
    ~TempHome() {
        if (oldHome_.empty()) ::unsetenv("HOME");
        else ::setenv("HOME", oldHome_.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
    std::string oldHome_;
};

}  // namespace cvl::test
