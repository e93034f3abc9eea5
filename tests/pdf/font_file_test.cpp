// Font files as the system's fonts come: a single face or a collection, characters mapped by
// either Unicode "cmap" format, and files too short or broken to be fonts.
#include "pdf/font_file.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "support/test_support.h"

namespace velkon::pdf {
namespace {

using Tables = std::map<std::string, std::string>;

std::string be16(unsigned v) {
    return {static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v & 0xFF)};
}

std::string be32(std::uint32_t v) {
    return be16(v >> 16) + be16(v & 0xFFFF);
}

// Faces laid out as a file: one face alone, or several behind a collection's header. Table
// offsets count from the start of the file either way.
std::string font_file(const std::vector<Tables>& faces, bool collection) {
    std::size_t at = collection ? 12 + 4 * faces.size() : 0;
    std::vector<std::size_t> directories;
    for (const Tables& t : faces) {
        directories.push_back(at);
        at += 12 + 16 * t.size();
    }
    std::string head, data;
    if (collection) {
        head = "ttcf" + be32(0x00010000) + be32(static_cast<std::uint32_t>(faces.size()));
        for (const std::size_t d : directories) head += be32(static_cast<std::uint32_t>(d));
    }
    for (const Tables& t : faces) {
        head +=
            be32(0x00010000) + be16(static_cast<unsigned>(t.size())) + be16(0) + be16(0) + be16(0);
        for (const auto& [tag, bytes] : t) {
            head += tag + be32(0) + be32(static_cast<std::uint32_t>(at + data.size())) +
                    be32(static_cast<std::uint32_t>(bytes.size()));
            data += bytes;
        }
    }
    return head + data;
}

std::string cmap_of(unsigned platform, unsigned encoding, const std::string& subtable) {
    return be16(0) + be16(1) + be16(platform) + be16(encoding) + be32(12) + subtable;
}

// Format 4: "A".."C" to glyphs 10..12 by a delta, "Ж" to glyph 40 through the glyph array.
std::string format4() {
    std::string t = be16(4) + be16(0) + be16(0) + be16(6) + be16(4) + be16(1) + be16(2);
    t += be16('C') + be16(0x416) + be16(0xFFFF) + be16(0);  // the ends, then a pad
    t += be16('A') + be16(0x416) + be16(0xFFFF);            // the starts
    t += be16((10 - 'A') & 0xFFFF) + be16(0) + be16(1);     // the deltas
    // The second segment's offset leads past the last offset to the glyph array.
    t += be16(0) + be16(4) + be16(0);
    return t + be16(40);
}

// Format 12: "A".."C" to 10..12 and U+1F600 to 99.
std::string format12() {
    return be16(12) + be16(0) + be32(40) + be32(0) + be32(2) + be32('A') + be32('C') + be32(10) +
           be32(0x1F600) + be32(0x1F600) + be32(99);
}

// One name, the PostScript name (id 6), as Windows stores it: UTF-16BE.
std::string name_table(const std::string& ascii) {
    std::string text;
    for (const char c : ascii) text += be16(static_cast<unsigned char>(c));
    return be16(0) + be16(1) + be16(18) + be16(3) + be16(1) + be16(0x409) + be16(6) +
           be16(static_cast<unsigned>(text.size())) + be16(0) + text;
}

TEST(FontFile, GlyphsThroughEitherUnicodeMap) {
    struct Case {
        const char* name;
        std::string cmap;
        std::map<char32_t, std::uint16_t> glyphs;
    } cases[] = {
        {"format 4",
         cmap_of(3, 1, format4()),
         {{U'A', 10}, {U'C', 12}, {U'@', 0}, {U'D', 0}, {U'Ж', 40}, {U'З', 0}, {0x1F600, 0}}},
        {"format 12",
         cmap_of(3, 10, format12()),
         {{U'A', 10}, {U'C', 12}, {U'D', 0}, {0x1F600, 99}, {0x1F601, 0}}},
        {"no Unicode map", cmap_of(1, 0, format4()), {{U'A', 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto font = FontFile::parse(font_file({{{"cmap", c.cmap}}}, false));
        ASSERT_TRUE(font);
        for (const auto& [ch, glyph] : c.glyphs)
            EXPECT_EQ(font->glyph(ch), glyph) << static_cast<unsigned>(ch);
    }
}

TEST(FontFile, TablesAndNameOfAFaceAloneOrInACollection) {
    const Tables first{{"glyf", "first outlines"}, {"name", name_table("Test-Sans")}};
    const Tables second{{"glyf", "second"}, {"head", "head bytes"}};
    const auto alone = FontFile::parse(font_file({first}, false));
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->table("glyf"), "first outlines");
    EXPECT_EQ(alone->table("head"), "");
    EXPECT_EQ(alone->name(), "Test-Sans");
    EXPECT_FALSE(FontFile::parse(font_file({first}, false), 1));

    const std::string both = font_file({first, second}, true);
    const auto face = FontFile::parse(both, 1);
    ASSERT_TRUE(face);
    EXPECT_EQ(face->table("glyf"), "second");
    EXPECT_EQ(face->table("head"), "head bytes");
    EXPECT_EQ(face->name(), "Font");  // no name table
    EXPECT_EQ(FontFile::parse(both, 0)->table("glyf"), "first outlines");
    EXPECT_FALSE(FontFile::parse(both, 2));
    EXPECT_FALSE(FontFile::parse(both, -1));
}

TEST(FontFile, WhatIsNoFontIsRefused) {
    const std::string good = font_file({{{"glyf", "outlines"}}}, false);
    for (const std::string& bytes : {std::string(), std::string("ttcf"), good.substr(0, 20),
                                     good.substr(0, good.size() - 1), std::string(64, '\0')})
        EXPECT_FALSE(FontFile::parse(bytes)) << bytes.size();
    test::TempDir folder;
    EXPECT_FALSE(FontFile::open(folder.path() / "нет.ttf"));
    EXPECT_FALSE(FontFile::open(folder.path()));  // a folder
}

}  // namespace
}  // namespace velkon::pdf
