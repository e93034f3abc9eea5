// For the tests of the PDF report: a structural reader of the files our writer makes (cross
// references, stream lengths, deflated streams, pages, the text through the font's ToUnicode
// map, the embedded font), and a small TrueType font built in memory with Latin and Cyrillic
// letters.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pdf/font.h"

namespace velkon::test {

struct PdfObject {
    std::string dictionary;             // the object's text before its stream
    std::optional<std::string> stream;  // the stream's bytes (inflated when deflated)
};

struct ReadPdf {
    std::string error;  // empty when the structure holds
    std::map<int, PdfObject> objects;
    // Each page's strings as shown (one per text operator), back to UTF-8 through ToUnicode.
    std::vector<std::vector<std::string>> pages;
    std::string font_file;  // the embedded TrueType font
    // The /Length1 the font's stream declares, and the glyph widths of /W by glyph id.
    long font_length1 = -1;
    std::map<int, double> widths;
};

ReadPdf read_pdf(const std::string& bytes);

// The tables of a TrueType font file (sfnt), by tag; empty when the file's directory is broken.
std::map<std::string, std::string> sfnt_tables(const std::string& font);

// A font of ASCII, the Russian alphabet and a few signs, one glyph each, glyph ids in that
// order from 1; "й" is composite (of "и" and a breve glyph that no character maps to).
class FakeFont : public pdf::Font {
  public:
    FakeFont();
    std::string table(std::string_view tag) const override;
    std::uint16_t glyph(char32_t c) const override;
    std::string name() const override { return "Fake Sans"; }

    std::uint16_t breve() const { return breve_; }
    // The outline bytes of a glyph, as the "glyf" table has them.
    std::string outline(std::uint16_t glyph) const { return outlines_.at(glyph); }
    int advance(std::uint16_t glyph) const { return 400 + glyph % 7 * 50; }
    std::map<std::string, std::string> tables;

  private:
    std::map<char32_t, std::uint16_t> glyphs_;
    std::vector<std::string> outlines_;
    std::uint16_t breve_ = 0;
};

}  // namespace velkon::test
