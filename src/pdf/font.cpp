#include "pdf/font.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "pdf/big_endian.h"

namespace velkon::pdf {

namespace {

void put16(std::string& out, unsigned v) {
    out += static_cast<char>(v >> 8 & 0xFF);
    out += static_cast<char>(v & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

void set32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<char>(v >> (24 - 8 * k) & 0xFF);
}

std::uint32_t checksum(std::string_view data) {
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < data.size(); at += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k)
            word =
                word << 8 | (at + k < data.size() ? static_cast<unsigned char>(data[at + k]) : 0u);
        sum += word;
    }
    return sum;
}

// The glyphs a composite glyph is made of.
std::vector<std::uint16_t> components(std::string_view glyph) {
    std::vector<std::uint16_t> parts;
    if (glyph.size() < 10 || s16(glyph, 0) >= 0) return parts;
    constexpr unsigned kWords = 0x0001, kScale = 0x0008, kMore = 0x0020, kXYScale = 0x0040,
                       kTwoByTwo = 0x0080;
    std::size_t at = 10;
    for (;;) {
        if (at + 4 > glyph.size()) break;
        const unsigned flags = u16(glyph, at);
        parts.push_back(static_cast<std::uint16_t>(u16(glyph, at + 2)));
        at += 4 + ((flags & kWords) ? 4 : 2);
        if (flags & kScale)
            at += 2;
        else if (flags & kXYScale)
            at += 4;
        else if (flags & kTwoByTwo)
            at += 8;
        if (!(flags & kMore)) break;
    }
    return parts;
}

}  // namespace

std::u32string decode_utf8(std::string_view utf8) {
    std::u32string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const int length = lead < 0x80       ? 1
                           : lead >> 5 == 6  ? 2
                           : lead >> 4 == 14 ? 3
                           : lead >> 3 == 30 ? 4
                                             : 0;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        bool good = length > 0 && at + length <= utf8.size();
        for (int k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[at + k]);
            good = next >> 6 == 2;
            c = c << 6 | (next & 0x3F);
        }
        out += good ? c : U'\uFFFD';
        at += good ? length : 1;
    }
    return out;
}

std::string encode_utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool has_letters(const Font& font, std::u32string_view letters) {
    for (const char32_t c : letters)
        if (c != U' ' && font.glyph(c) == 0) return false;
    return true;
}

std::unique_ptr<FontFace> FontFace::read(const Font& font) {
    std::unique_ptr<FontFace> f(new FontFace(font));
    f->head_ = font.table("head");
    f->hhea_ = font.table("hhea");
    f->maxp_ = font.table("maxp");
    f->hmtx_ = font.table("hmtx");
    f->loca_ = font.table("loca");
    f->glyf_ = font.table("glyf");
    f->cvt_ = font.table("cvt ");
    f->fpgm_ = font.table("fpgm");
    f->prep_ = font.table("prep");
    // Outlines as TrueType glyphs only: a font of PostScript outlines has no "glyf".
    if (f->head_.size() < 54 || f->hhea_.size() < 36 || f->maxp_.size() < 6 || f->glyf_.empty() ||
        f->loca_.empty())
        return nullptr;
    f->units_per_em_ = static_cast<int>(u16(f->head_, 18));
    f->bbox_ = {s16(f->head_, 36), s16(f->head_, 38), s16(f->head_, 40), s16(f->head_, 42)};
    f->long_loca_ = s16(f->head_, 50) == 1;
    f->ascent_ = s16(f->hhea_, 4);
    f->descent_ = s16(f->hhea_, 6);
    f->metric_count_ = static_cast<int>(u16(f->hhea_, 34));
    f->glyph_count_ = static_cast<int>(u16(f->maxp_, 4));
    const std::size_t loca_entry = f->long_loca_ ? 4 : 2;
    if (f->units_per_em_ < 16 || f->glyph_count_ < 1 || f->metric_count_ < 1 ||
        f->metric_count_ > f->glyph_count_ ||
        f->hmtx_.size() < static_cast<std::size_t>(f->metric_count_) * 4 ||
        f->loca_.size() < (static_cast<std::size_t>(f->glyph_count_) + 1) * loca_entry)
        return nullptr;
    return f;
}

int FontFace::advance(std::uint16_t glyph) const {
    const int metric = std::min<int>(glyph, metric_count_ - 1);
    return static_cast<int>(u16(hmtx_, static_cast<std::size_t>(metric) * 4));
}

double FontFace::width(std::string_view utf8, double size) const {
    long units = 0;
    for (const char32_t c : decode_utf8(utf8)) units += advance(font_.glyph(c));
    return static_cast<double>(units) * size / units_per_em_;
}

std::string_view FontFace::glyph_data(std::uint16_t glyph) const {
    if (glyph >= glyph_count_) return {};
    const std::size_t start = long_loca_ ? u32(loca_, glyph * 4u) : u16(loca_, glyph * 2u) * 2u;
    const std::size_t end =
        long_loca_ ? u32(loca_, (glyph + 1u) * 4u) : u16(loca_, (glyph + 1u) * 2u) * 2u;
    if (end <= start || end > glyf_.size()) return {};
    return std::string_view(glyf_).substr(start, end - start);
}

std::string FontFace::subset(const std::set<std::uint16_t>& used) const {
    // The glyphs kept: the used ones, glyph 0, and every part of a composite one.
    std::set<std::uint16_t> keep;
    std::vector<std::uint16_t> pending(used.begin(), used.end());
    pending.push_back(0);
    while (!pending.empty()) {
        const std::uint16_t g = pending.back();
        pending.pop_back();
        if (g >= glyph_count_ || !keep.insert(g).second) continue;
        for (const std::uint16_t part : components(glyph_data(g))) pending.push_back(part);
    }

    // Same glyph ids, so the document's glyph numbers and widths stay as they are; the glyphs
    // not kept are empty, those after the last one kept are left out (with their metrics).
    // The offsets are written long.
    const int count_kept = *keep.rbegin() + 1;
    std::string glyf, loca;
    for (int g = 0; g < count_kept; ++g) {
        put32(loca, static_cast<std::uint32_t>(glyf.size()));
        if (!keep.count(static_cast<std::uint16_t>(g))) continue;
        glyf += glyph_data(static_cast<std::uint16_t>(g));
        while (glyf.size() % 4) glyf += '\0';
    }
    put32(loca, static_cast<std::uint32_t>(glyf.size()));
    std::string head = head_;
    set32(head, 8, 0);           // checkSumAdjustment, set below
    head[50] = 0, head[51] = 1;  // indexToLocFormat: long
    // Full metrics for the first numberOfHMetrics glyphs, left side bearings only after them.
    const int metrics = std::min(metric_count_, count_kept);
    const std::string hmtx =
        hmtx_.substr(0, static_cast<std::size_t>(metrics) * 4 +
                            static_cast<std::size_t>(count_kept - metrics) * 2);
    std::string hhea = hhea_, maxp = maxp_;
    hhea[34] = static_cast<char>(metrics >> 8), hhea[35] = static_cast<char>(metrics & 0xFF);
    maxp[4] = static_cast<char>(count_kept >> 8), maxp[5] = static_cast<char>(count_kept & 0xFF);

    std::map<std::string, std::string_view> tables{{"glyf", glyf}, {"head", head}, {"hhea", hhea},
                                                   {"hmtx", hmtx}, {"loca", loca}, {"maxp", maxp}};
    if (!cvt_.empty()) tables.emplace("cvt ", cvt_);
    if (!fpgm_.empty()) tables.emplace("fpgm", fpgm_);
    if (!prep_.empty()) tables.emplace("prep", prep_);

    const unsigned count = static_cast<unsigned>(tables.size());
    unsigned power = 1, log2 = 0;
    while (power * 2 <= count) power *= 2, ++log2;
    std::string out;
    put32(out, 0x00010000);
    put16(out, count);
    put16(out, power * 16);
    put16(out, log2);
    put16(out, count * 16 - power * 16);
    std::size_t offset = 12 + 16 * count;
    std::size_t head_at = 0;
    for (const auto& [tag, data] : tables) {  // the map keeps the tags sorted, as required
        out += tag;
        put32(out, checksum(data));
        put32(out, static_cast<std::uint32_t>(offset));
        put32(out, static_cast<std::uint32_t>(data.size()));
        if (tag == "head") head_at = offset;
        offset += (data.size() + 3) / 4 * 4;
    }
    for (const auto& [tag, data] : tables) {
        out += data;
        while (out.size() % 4) out += '\0';
    }
    set32(out, head_at + 8, 0xB1B0AFBAu - checksum(out));
    return out;
}

}  // namespace velkon::pdf
