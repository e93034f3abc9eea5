// The folders of src/ form layers: a folder's files include headers of its own folder and of the
// folders below it, never of one above or beside it. A new include that breaks this fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

// Each folder and the folders directly below it; what those reach is reachable too.
const std::map<std::string, std::set<std::string>> kBelow = {
    {"base", {}},
    {"protocol", {}},
    {"serial", {"base"}},
    {"model", {}},
    {"seams", {"serial"}},
    {"files", {"base", "protocol", "model", "seams"}},
    {"connection_help", {"serial"}},
    {"connection", {"protocol", "serial", "model", "seams", "connection_help"}},
    {"sensor", {"connection", "files"}},
    {"tracker", {"connection", "files"}},
    {"exchange", {"sensor", "tracker"}},
    {"shell", {"connection", "files"}},
    {"profile", {"tracker", "files"}},
    {"app", {"exchange", "shell", "profile"}},
    {"cli", {"profile", "sensor", "serial"}},
    {"calibration", {"model", "files"}},
    {"ui", {"app", "calibration"}},
    {"win32", {"app"}},
    {"sim", {"base", "protocol"}},
};

std::set<std::string> reachable(const std::string& folder) {
    std::set<std::string> out{folder};
    for (const std::string& below : kBelow.at(folder)) {
        const auto more = reachable(below);
        out.insert(more.begin(), more.end());
    }
    return out;
}

TEST(Layering, IncludesPointOnlyDownward) {
    const fs::path src = fs::path(VELKON_SOURCE_DIR) / "src";
    const std::regex include_line(R"re(^\s*#\s*include\s+"([a-z_]+)/[^"]+")re");
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), src);
        if (relative.begin() == relative.end() || std::next(relative.begin()) == relative.end()) {
            continue;  // main.cpp stands above every folder
        }
        const std::string folder = relative.begin()->string();
        ASSERT_TRUE(kBelow.count(folder)) << "a folder the layers do not know: " << folder;
        const auto allowed = reachable(folder);
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            std::smatch m;
            if (!std::regex_search(line, m, include_line)) continue;
            EXPECT_TRUE(allowed.count(m[1].str()))
                << relative.string() << " includes " << m[1].str() << ": " << line;
        }
        ++files;
    }
    EXPECT_GT(files, 0) << "no sources found under " << src;
}

}  // namespace
