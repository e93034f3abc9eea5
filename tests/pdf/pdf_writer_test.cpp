// The PDF writer with a font built in memory: the file's structure (cross references, stream
// lengths), the text as glyph ids that the ToUnicode map turns back into Cyrillic, the widths,
// and the embedded font cut down to the glyphs used, composite parts included.
#include "pdf/pdf_writer.h"

#include <gtest/gtest.h>

#include "support/pdf_support.h"

namespace velkon::pdf {
namespace {

using test::FakeFont;

Document two_pages() {
    Document doc;
    doc.title = "Тарировочная таблица бака";
    doc.creator = "Конфигуратор Velkon";
    Page first;
    first.shapes = {Text{{40, 60}, 15, true, {}, "Тарировочная таблица бака"},
                    Text{{40, 80}, 10, false, {200, 30, 30}, "Ёмкость: 60,5 л — «полный»…"},
                    Line{{40, 90}, {300, 90}, 0.5, {}},
                    Frame{{300, 100}, 200, 200, 0.5, {}},
                    Dot{{310, 290}, 2, {200, 30, 30}},
                    Polyline{{{310, 290}, {400, 200}, {490, 110}}, 0.7, {30, 90, 180}}};
    Page second;
    second.shapes = {Text{{40, 60}, 10, false, {}, "Точек: 4, отмечено: 1. Бийск"}};
    doc.pages = {first, second};
    return doc;
}

// Text goes to glyphs character by character and comes back through the ToUnicode map: every
// length of UTF-8 sequence survives, and a broken one is one replacement character.
TEST(PdfWriter, Utf8CharactersRoundTrip) {
    const std::string text = "Aя±…\U0001D11E";
    const std::u32string chars = pdf::decode_utf8(text);
    EXPECT_EQ(chars, U"Aя±…\U0001D11E");
    std::string back;
    for (const char32_t c : chars) back += pdf::encode_utf8(c);
    EXPECT_EQ(back, text);
    EXPECT_EQ(pdf::decode_utf8("a\xD0"), U"a\uFFFD");
}

TEST(PdfWriter, StructureTextAndWidthsReadBack) {
    const FakeFont font;
    const auto face = FontFace::read(font);
    ASSERT_TRUE(face);
    const std::string bytes = write_pdf(two_pages(), *face);
    const test::ReadPdf pdf = test::read_pdf(bytes);
    ASSERT_EQ(pdf.error, "");
    ASSERT_EQ(pdf.pages.size(), 2u);
    EXPECT_EQ(pdf.pages[0], (std::vector<std::string>{"Тарировочная таблица бака",
                                                      "Ёмкость: 60,5 л — «полный»…"}));
    EXPECT_EQ(pdf.pages[1], (std::vector<std::string>{"Точек: 4, отмечено: 1. Бийск"}));
    // The widths per mille of the em, for the glyphs shown.
    EXPECT_DOUBLE_EQ(pdf.widths.at(font.glyph(U'Ё')), font.advance(font.glyph(U'Ё')));
    EXPECT_DOUBLE_EQ(pdf.widths.at(font.glyph(U'й')), font.advance(font.glyph(U'й')));
    EXPECT_EQ(pdf.font_length1, static_cast<long>(pdf.font_file.size()));
    // The properties' title as UTF-16 with its byte order mark.
    EXPECT_NE(bytes.find("/Title <FEFF0422043004400438"), std::string::npos);
    // Every stream deflated (the reader inflated them to read the text).
    for (const auto& [number, object] : pdf.objects) {
        if (object.stream) {
            EXPECT_NE(object.dictionary.find("/Filter /FlateDecode"), std::string::npos) << number;
        }
    }
}

TEST(PdfWriter, EmbeddedFontKeepsOnlyTheGlyphsUsed) {
    const FakeFont font;
    const auto face = FontFace::read(font);
    ASSERT_TRUE(face);
    const test::ReadPdf pdf = test::read_pdf(write_pdf(two_pages(), *face));
    ASSERT_EQ(pdf.error, "");
    const auto tables = test::sfnt_tables(pdf.font_file);
    for (const char* tag : {"head", "hhea", "maxp", "hmtx", "loca", "glyf", "prep"})
        EXPECT_TRUE(tables.count(tag)) << tag;
    // The whole file sums to the magic number the head table's adjustment aims at.
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < pdf.font_file.size(); at += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k)
            word = word << 8 | (at + k < pdf.font_file.size()
                                    ? static_cast<unsigned char>(pdf.font_file[at + k])
                                    : 0u);
        sum += word;
    }
    EXPECT_EQ(sum, 0xB1B0AFBAu);

    // Long offsets now; the glyph of each id as the font had it, or empty when unused.
    const std::string& loca = tables.at("loca");
    const std::string& glyf = tables.at("glyf");
    auto outline = [&](std::uint16_t g) {
        auto at = [&](std::size_t k) {
            std::uint32_t v = 0;
            for (int b = 0; b < 4; ++b) v = v << 8 | static_cast<unsigned char>(loca[k * 4 + b]);
            return v;
        };
        std::string bytes = glyf.substr(at(g), at(g + 1u) - at(g));
        bytes.resize(font.outline(g).size() <= bytes.size() ? font.outline(g).size()
                                                            : bytes.size());
        return bytes;
    };
    EXPECT_EQ(outline(0), font.outline(0));
    EXPECT_EQ(outline(font.glyph(U'Т')), font.outline(font.glyph(U'Т')));
    EXPECT_EQ(outline(font.glyph(U'й')), font.outline(font.glyph(U'й')));
    // The parts of "й" that no character of the document names.
    EXPECT_EQ(outline(font.glyph(U'и')), font.outline(font.glyph(U'и')));
    EXPECT_EQ(outline(font.breve()), font.outline(font.breve()));
    EXPECT_EQ(outline(font.glyph(U'Щ')), "");
    EXPECT_EQ(outline(font.glyph(U'Z')), "");
}

// The glyphs after the last one used are left out, their metrics with them.
TEST(PdfWriter, EmbeddedFontEndsAtTheLastGlyphUsed) {
    const FakeFont font;
    const auto face = FontFace::read(font);
    ASSERT_TRUE(face);
    Document doc;
    doc.pages.emplace_back();
    doc.pages[0].shapes = {Text{{10, 10}, 10, false, {}, "AZ"}};
    const test::ReadPdf pdf = test::read_pdf(write_pdf(doc, *face));
    ASSERT_EQ(pdf.error, "");
    const auto tables = test::sfnt_tables(pdf.font_file);
    const unsigned count = font.glyph(U'Z') + 1u;
    auto u16 = [](const std::string& table, std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(table.at(at))) << 8 |
               static_cast<unsigned char>(table.at(at + 1));
    };
    EXPECT_EQ(u16(tables.at("maxp"), 4), count);
    EXPECT_EQ(u16(tables.at("hhea"), 34), count);
    EXPECT_EQ(tables.at("hmtx").size(), count * 4);
    EXPECT_EQ(tables.at("loca").size(), (count + 1) * 4);
    EXPECT_EQ(u16(tables.at("hmtx"), font.glyph(U'Z') * 4), font.advance(font.glyph(U'Z')));
}

// A font the system hands over may lack a table or carry one cut short: it is refused, not read
// out of bounds.
TEST(PdfWriter, FontsWithoutWhatTheEmbeddingNeedsAreRefused) {
    struct Case {
        const char* what;
        const char* tag;
        std::size_t keep;  // bytes of the table kept
    };
    for (const Case& c : {Case{"no outlines", "glyf", 0}, Case{"no offsets", "loca", 0},
                          Case{"offsets cut short", "loca", 20}, Case{"head cut short", "head", 40},
                          Case{"metrics cut short", "hmtx", 8}}) {
        FakeFont font;
        font.tables[c.tag].resize(c.keep);
        EXPECT_FALSE(FontFace::read(font)) << c.what;
    }
}

TEST(PdfWriter, MissingCharactersDrawTheBoxAndMapToNothing) {
    const FakeFont font;
    const auto face = FontFace::read(font);
    ASSERT_TRUE(face);
    Document doc;
    doc.pages.emplace_back();
    doc.pages[0].shapes = {Text{{10, 10}, 10, false, {}, "Ж\xE2\x82\xAC\xFFЖ"}};  // €, a bad byte
    const test::ReadPdf pdf = test::read_pdf(write_pdf(doc, *face));
    ASSERT_EQ(pdf.error, "");
    EXPECT_EQ(pdf.pages.at(0), std::vector<std::string>{"Ж??Ж"});
    EXPECT_DOUBLE_EQ(face->width("Ж€", 10),
                     (font.advance(font.glyph(U'Ж')) + font.advance(0)) / 100.0);
}

}  // namespace
}  // namespace velkon::pdf
