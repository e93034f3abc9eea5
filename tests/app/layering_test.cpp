// The folders of src/ form layers: a folder's files include headers of its own folder and of the
// folders below it, never of one above or beside it. A new include that breaks this fails here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

using Layers = std::map<std::string, std::set<std::string>>;

// Each folder and the folders directly below it, as the build declares them ("folder: below…"
// per line); what those reach is reachable too.
Layers read_layers() {
    Layers layers;
    std::ifstream in(VELKON_LAYERS_FILE);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string folder;
        if (!(words >> folder)) continue;
        folder.pop_back();  // the colon
        std::set<std::string>& below = layers[folder];
        for (std::string word; words >> word;) below.insert(word);
    }
    return layers;
}

std::set<std::string> reachable(const Layers& layers, const std::string& folder) {
    std::set<std::string> out{folder};
    for (const std::string& below : layers.at(folder)) {
        const auto more = reachable(layers, below);
        out.insert(more.begin(), more.end());
    }
    return out;
}

TEST(Layering, IncludesPointOnlyDownward) {
    const Layers layers = read_layers();
    ASSERT_FALSE(layers.empty()) << "no layers in " << VELKON_LAYERS_FILE;
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
        ASSERT_TRUE(layers.count(folder)) << "a folder the layers do not know: " << folder;
        const auto allowed = reachable(layers, folder);
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
