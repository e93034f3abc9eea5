#include "pdf/font_file.h"

#include <fstream>
#include <system_error>

#include "pdf/big_endian.h"

namespace velkon::pdf {

namespace {

// The Unicode subtable of "cmap" a character is looked up in, best first: Windows full
// repertoire (format 12), Windows basic plane (format 4), then the Unicode platform's.
std::string_view unicode_subtable(std::string_view cmap) {
    struct Wanted {
        unsigned platform, encoding, format;
    };
    constexpr Wanted kWanted[] = {{3, 10, 12}, {0, 4, 12}, {0, 6, 12}, {3, 1, 4},
                                  {0, 3, 4},   {0, 1, 4},  {0, 0, 4}};
    const unsigned count = u16(cmap, 2);
    for (const Wanted& w : kWanted) {
        for (unsigned k = 0; k < count; ++k) {
            const std::size_t record = 4 + 8 * static_cast<std::size_t>(k);
            const std::size_t at = u32(cmap, record + 4);
            if (u16(cmap, record) == w.platform && u16(cmap, record + 2) == w.encoding &&
                at < cmap.size() && u16(cmap, at) == w.format)
                return cmap.substr(at);
        }
    }
    return {};
}

// Format 4: segments of characters ending at endCode, sorted; a glyph by delta or through the
// glyph id array.
std::uint16_t glyph_format4(std::string_view t, char32_t c) {
    if (c > 0xFFFF) return 0;
    const std::size_t segments = u16(t, 6) / 2;
    const std::size_t ends = 14, starts = ends + 2 * segments + 2, deltas = starts + 2 * segments,
                      ranges = deltas + 2 * segments;
    std::size_t low = 0, high = segments;  // the first segment whose end is at or past c
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (u16(t, ends + 2 * mid) < c)
            low = mid + 1;
        else
            high = mid;
    }
    if (low == segments) return 0;
    const unsigned start = u16(t, starts + 2 * low);
    if (c < start) return 0;
    const unsigned delta = u16(t, deltas + 2 * low), range = u16(t, ranges + 2 * low);
    if (range == 0) return static_cast<std::uint16_t>((c + delta) & 0xFFFF);
    const unsigned g = u16(t, ranges + 2 * low + range + 2 * (c - start));
    return g == 0 ? 0 : static_cast<std::uint16_t>((g + delta) & 0xFFFF);
}

// Format 12: sorted groups of consecutive characters with consecutive glyphs.
std::uint16_t glyph_format12(std::string_view t, char32_t c) {
    const std::size_t groups = u32(t, 12);
    std::size_t low = 0, high = groups;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (u32(t, 16 + 12 * mid + 4) < c)
            low = mid + 1;
        else
            high = mid;
    }
    if (low == groups) return 0;
    const std::size_t group = 16 + 12 * low;
    const std::uint32_t first = u32(t, group);
    if (c < first) return 0;
    const std::uint32_t g = u32(t, group + 8) + (c - first);
    return g > 0xFFFF ? 0 : static_cast<std::uint16_t>(g);
}

// The PostScript name (name id 6), its printable ASCII only.
std::string postscript_name(std::string_view table) {
    const unsigned count = u16(table, 2);
    const std::size_t strings = u16(table, 4);
    for (unsigned k = 0; k < count; ++k) {
        const std::size_t record = 6 + 12 * static_cast<std::size_t>(k);
        const unsigned platform = u16(table, record);
        if (u16(table, record + 6) != 6 || (platform != 1 && platform != 3)) continue;
        const std::size_t length = u16(table, record + 8), at = strings + u16(table, record + 10);
        if (at > table.size() || table.size() - at < length) continue;
        const std::string_view text = table.substr(at, length);
        // Windows names are UTF-16BE, Macintosh ones single bytes.
        const std::size_t step = platform == 3 ? 2 : 1;
        std::string name;
        for (std::size_t p = step - 1; p < text.size(); p += step)
            if (const char ch = text[p]; ch > ' ' && ch < 0x7F && (step == 1 || text[p - 1] == 0))
                name += ch;
        if (!name.empty()) return name;
    }
    return "Font";
}

}  // namespace

std::unique_ptr<FontFile> FontFile::parse(std::string bytes, int index) {
    std::unique_ptr<FontFile> f(new FontFile);
    f->bytes_ = std::move(bytes);
    const std::string_view all = f->bytes_;
    std::size_t directory = 0;
    if (all.substr(0, 4) == "ttcf") {
        if (index < 0 || static_cast<std::uint32_t>(index) >= u32(all, 8)) return nullptr;
        directory = u32(all, 12 + 4 * static_cast<std::size_t>(index));
    } else if (index != 0) {
        return nullptr;
    }
    const unsigned count = u16(all, directory + 4);
    if (count == 0 || directory + 12 + 16 * static_cast<std::size_t>(count) > all.size())
        return nullptr;
    for (unsigned k = 0; k < count; ++k) {
        const std::size_t record = directory + 12 + 16 * static_cast<std::size_t>(k);
        // Offsets count from the start of the file, in a collection too.
        const std::size_t at = u32(all, record + 8), length = u32(all, record + 12);
        if (at > all.size() || all.size() - at < length) return nullptr;
        f->tables_.emplace(std::string(all.substr(record, 4)), all.substr(at, length));
    }
    if (const auto cmap = f->tables_.find("cmap"); cmap != f->tables_.end())
        f->cmap_ = unicode_subtable(cmap->second);
    const auto name = f->tables_.find("name");
    f->name_ = postscript_name(name == f->tables_.end() ? std::string_view() : name->second);
    return f;
}

std::unique_ptr<FontFile> FontFile::open(const std::filesystem::path& path, int index) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    // Through read(), which turns a failed read into the stream's state: the buffer's own
    // reads would throw.
    std::string bytes;
    static constexpr std::size_t kChunk = 1 << 16;
    auto chunk = std::make_unique<char[]>(kChunk);
    while (in.read(chunk.get(), kChunk) || in.gcount() > 0)
        bytes.append(chunk.get(), static_cast<std::size_t>(in.gcount()));
    if (in.bad()) return nullptr;
    return parse(std::move(bytes), index);
}

std::string FontFile::table(std::string_view tag) const {
    const auto it = tables_.find(tag);
    return it == tables_.end() ? std::string() : std::string(it->second);
}

std::uint16_t FontFile::glyph(char32_t c) const {
    switch (u16(cmap_, 0)) {
        case 4:
            return glyph_format4(cmap_, c);
        case 12:
            return glyph_format12(cmap_, c);
        default:
            return 0;
    }
}

}  // namespace velkon::pdf
