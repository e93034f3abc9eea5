// The font a PDF embeds, as the system hands it over: its TrueType tables one by one (so that a
// face inside a collection arrives as a font of its own) and the glyph of a character. FontFace
// reads the metrics from the tables and cuts the font down to the glyphs a document uses.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velkon::pdf {

class Font {
  public:
    virtual ~Font() = default;
    // The bytes of the table named `tag` ("head", "glyf", ...); empty when the font has none.
    virtual std::string table(std::string_view tag) const = 0;
    // The glyph that draws `c`, 0 (the missing-glyph box) when the font has none.
    virtual std::uint16_t glyph(char32_t c) const = 0;
    // The font's name, for the file (any text; only letters and digits are kept).
    virtual std::string name() const = 0;
};

// The characters of UTF-8 text; a malformed byte reads as U+FFFD.
std::u32string decode_utf8(std::string_view utf8);
// One character as UTF-8.
std::string encode_utf8(char32_t c);

// Whether `font` draws every character of `letters` but the spaces.
bool has_letters(const Font& font, std::u32string_view letters);

class FontFace {
  public:
    // Nothing when the font lacks a table the embedding needs or its tables are inconsistent.
    static std::unique_ptr<FontFace> read(const Font& font);

    const Font& font() const { return font_; }
    int units_per_em() const { return units_per_em_; }
    int ascent() const { return ascent_; }    // font units, up
    int descent() const { return descent_; }  // font units, negative below the baseline
    const std::vector<int>& bbox() const { return bbox_; }  // xMin, yMin, xMax, yMax
    int glyph_count() const { return glyph_count_; }
    int advance(std::uint16_t glyph) const;  // font units
    // The width of `utf8` in points at `size` points.
    double width(std::string_view utf8, double size) const;
    // A TrueType font with the same glyph ids in which only the glyphs of `used` (and the parts
    // of composite ones, and glyph 0) keep their outlines.
    std::string subset(const std::set<std::uint16_t>& used) const;

  private:
    explicit FontFace(const Font& font) : font_(font) {}
    std::string_view glyph_data(std::uint16_t glyph) const;

    const Font& font_;
    std::string head_, hhea_, maxp_, hmtx_, loca_, glyf_, cvt_, fpgm_, prep_;
    int units_per_em_ = 1000;
    int ascent_ = 0, descent_ = 0;
    std::vector<int> bbox_;
    int glyph_count_ = 0;
    int metric_count_ = 0;
    bool long_loca_ = false;
};

}  // namespace velkon::pdf
