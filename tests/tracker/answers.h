// Tracker answers built byte by byte in the tests, with positions written out here rather than
// taken from the record code, so a layout mistake there cannot hide behind the same mistake here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "protocol/frame.h"

namespace velkon::tracker_test {

inline std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(static_cast<char>(b));
    return out;
}

inline std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

inline std::optional<std::string> file_content(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// An answer frame: 3E, address, code, then data placed by position (counted from 1), then the
// check byte. Unset bytes are NUL.
class Answer {
  public:
    // `length` counts the bytes before the check byte.
    Answer(std::uint8_t code, std::size_t length) : body_(length, '\0') {
        body_[0] = '\x3E';
        body_[1] = '\xCA';
        body_[2] = static_cast<char>(code);
    }
    Answer& put(std::size_t position, std::string_view data) {
        body_.replace(position - 1, data.size(), data);
        return *this;
    }
    Answer& put(std::size_t position, std::initializer_list<int> data) {
        return put(position, bytes(data));
    }
    Frame frame() const { return Control_summ(body_); }
    // The first `length` bytes of the frame, as a unit cut short would send them.
    Frame cut(std::size_t length) const { return frame().substr(0, length); }

  private:
    std::string body_;
};

// A complete configuration answer: 171 bytes and the check byte.
inline Answer config_answer() {
    Answer a(0xA2, 171);
    a.put(4, {0x16});
    return a;
}

}  // namespace velkon::tracker_test
