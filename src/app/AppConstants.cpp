#include "app/AppConstants.h"

#include <cctype>
#include <cstdio>

#include "app/Version.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"

#ifndef CVL_BUILD_NUMBER
#define CVL_BUILD_NUMBER "0"
#endif

namespace cvl {

std::string makeWarmPDF() {
    static const char* const bodies[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    int n = 1;
    for (const char* body : bodies) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(n++) + " 0 obj\n" + body + "\nendobj\n";
    }
    size_t xrefAt = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t off : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010d 00000 n \n", static_cast<int>(off));
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    return pdf;
}

int parseDragMode(std::optional<std::string_view> fileText) {
    if (!fileText) return 3;
    std::string_view s = *fileText;
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 9) return 3;
    int value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 3;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::string buildNumber() {
    return CVL_BUILD_NUMBER;
}

const AppConstants& appConstants() {
    static const AppConstants constants = [] {
        AppConstants c;
        c.home = UserDirs::home();
        c.archive = UserDirs::archiveDir();
        c.configPath = UserDirs::configPath();
        c.brand = Brand::current();
        c.version = kVersion();
        c.updateFeedDefault = kUpdateFeedDefault;
        auto drag = readFile(UserDirs::resourceDir() + "/drag_mode");
        c.dragMode = parseDragMode(drag ? std::optional<std::string_view>(*drag) : std::nullopt);
        c.warmPDF = makeWarmPDF();
        return c;
    }();
    return constants;
}

namespace {
std::vector<std::string>& argumentStore() {
    static std::vector<std::string> args;
    return args;
}
}  // namespace

void setProcessArguments(int argc, char** argv) {
    argumentStore().assign(argv + (argc > 0 ? 1 : 0), argv + argc);
}

const std::vector<std::string>& processArguments() {
    return argumentStore();
}

}  // namespace cvl
