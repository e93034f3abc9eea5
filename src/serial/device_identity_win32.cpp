// Which device a port name leads to, on Windows: a COM port is known by its name in the device
// namespace, in any case and any spelling of the prefix (COM3, com3, \\.\COM3, //./COM3 are one
// port); the key carries that name as a character device's. Any other path is compared as
// written, made absolute, with "." and ".." resolved.
#include <algorithm>
#include <filesystem>

#include "serial/device_identity.h"

namespace velkon {

namespace {

constexpr const char* kDevicePrefixes[] = {"\\\\.\\", "\\\\?\\", "//./", "//?/"};

std::string upper_ascii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
    return text;
}

}  // namespace

DeviceKey device_key(const std::string& path) {
    std::string name = path;
    for (const std::string_view prefix : kDevicePrefixes) {
        if (name.starts_with(prefix)) {
            name.erase(0, prefix.size());
            break;
        }
    }
    if (!name.empty() && name.find_first_of("\\/:") == std::string::npos) {
        return {.kind = DeviceKey::Kind::CharDevice, .path = "\\\\.\\" + upper_ascii(name)};
    }
    // UTF-8 both ways: the narrow conversions of std::filesystem take the ANSI code page.
    const std::filesystem::path given(std::u8string(path.begin(), path.end()));
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(given, ec);
    const std::u8string text = (ec ? given : absolute).lexically_normal().u8string();
    return {.path = std::string(text.begin(), text.end())};
}

bool same_device(const std::string& a, const std::string& b) {
    return device_key(a) == device_key(b);
}

}  // namespace velkon
