// A TrueType font as its file holds it: a single face, or one face of a collection (.ttc). Its
// tables come from the file's directory, its glyphs from the Unicode subtable of "cmap" (format
// 12 for every plane, else format 4 for the basic one), its name from the PostScript name.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/font.h"

namespace velkon::pdf {

class FontFile : public Font {
  public:
    // Nothing when `bytes` hold no font with a face numbered `index` (0 for a single face).
    static std::unique_ptr<FontFile> parse(std::string bytes, int index = 0);
    // The file read whole; nothing when it cannot be read or holds no such face.
    static std::unique_ptr<FontFile> open(const std::filesystem::path& path, int index = 0);

    std::string table(std::string_view tag) const override;
    std::uint16_t glyph(char32_t c) const override;
    std::string name() const override { return name_; }

    // The tables are views into the bytes.
    FontFile(const FontFile&) = delete;
    FontFile& operator=(const FontFile&) = delete;

  private:
    FontFile() = default;

    std::string bytes_;
    std::map<std::string, std::string_view, std::less<>> tables_;  // views into bytes_
    std::string_view cmap_;  // the chosen subtable, from its format field on
    std::string name_;
};

}  // namespace velkon::pdf
