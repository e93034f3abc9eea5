// The helpers of test_support.h that the Windows tests use: the temporary folder and the scoped
// environment variable (the pseudo-terminal pair exists only on POSIX).
#include <stdlib.h>
#include <windows.h>

#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "support/test_support.h"

namespace velkon::test {

TempDir::TempDir() {
    const auto base = std::filesystem::temp_directory_path();
    std::random_device seed;
    std::mt19937 random(seed() ^ GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("velkon-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::system_error(std::make_error_code(std::errc::file_exists), "TempDir");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::make_dir(const std::filesystem::path& relative) const {
    const auto full = path_ / relative;
    std::filesystem::create_directories(full);
    return full;
}

std::filesystem::path TempDir::write_file(const std::filesystem::path& relative,
                                          std::string_view content) const {
    const auto full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return full;
}

std::optional<std::string> TempDir::read_file(const std::filesystem::path& relative) const {
    std::ifstream in(path_ / relative, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    _putenv_s(name_.c_str(), value ? value->c_str() : "");  // "" removes the variable
}

ScopedEnv::~ScopedEnv() {
    _putenv_s(name_.c_str(), old_ ? old_->c_str() : "");
}

}  // namespace velkon::test
