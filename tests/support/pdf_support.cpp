#include "support/pdf_support.h"

#include <zlib.h>

#include <cstdlib>

#include "pdf/font.h"

namespace velkon::test {

namespace {

unsigned u16(const std::string& d, std::size_t at) {
    if (at + 2 > d.size()) return 0;
    return static_cast<unsigned>(static_cast<unsigned char>(d[at])) << 8 |
           static_cast<unsigned char>(d[at + 1]);
}

std::uint32_t u32(const std::string& d, std::size_t at) {
    return static_cast<std::uint32_t>(u16(d, at)) << 16 | u16(d, at + 2);
}

void put16(std::string& out, unsigned v) {
    out += static_cast<char>(v >> 8 & 0xFF);
    out += static_cast<char>(v & 0xFF);
}

// The integer after `key` in a dictionary ("/Length 42", "/Contents 7 0 R"), or -1.
long number_after(const std::string& dict, const std::string& key) {
    std::size_t at = 0;
    // A key followed by a delimiter, not a longer key that starts the same ("/Length1").
    for (;;) {
        at = dict.find(key, at);
        if (at == std::string::npos) return -1;
        const char next = at + key.size() < dict.size() ? dict[at + key.size()] : ' ';
        if (next == ' ' || next == '\n' || next == '[') break;
        at += key.size();
    }
    at += key.size();
    while (at < dict.size() && (dict[at] == ' ' || dict[at] == '[')) ++at;
    char* end = nullptr;
    const long v = std::strtol(dict.c_str() + at, &end, 10);
    return end == dict.c_str() + at ? -1 : v;
}

// A FlateDecode stream's bytes, or nothing when they are no zlib stream ending with the data.
std::optional<std::string> inflated(const std::string& packed) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    std::string out;
    int status = Z_OK;
    while (status == Z_OK) {
        char chunk[16384];
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    const bool whole = status == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    if (!whole) return std::nullopt;
    return out;
}

// The bfchar pairs of a ToUnicode map: glyph id → text.
std::map<unsigned, std::string> read_cmap(const std::string& cmap) {
    std::map<unsigned, std::string> out;
    std::size_t at = 0;
    while ((at = cmap.find("beginbfchar", at)) != std::string::npos) {
        const std::size_t end = cmap.find("endbfchar", at);
        if (end == std::string::npos) break;
        std::size_t p = at;
        while ((p = cmap.find('<', p)) != std::string::npos && p < end) {
            const std::size_t q = cmap.find('>', p);
            const std::size_t r = cmap.find('<', q);
            const std::size_t s = cmap.find('>', r);
            if (q == std::string::npos || s == std::string::npos || s > end) break;
            const unsigned gid = std::stoul(cmap.substr(p + 1, q - p - 1), nullptr, 16);
            const std::string hex = cmap.substr(r + 1, s - r - 1);
            std::string text;
            for (std::size_t k = 0; k + 4 <= hex.size(); k += 4)
                text += pdf::encode_utf8(
                    static_cast<char32_t>(std::stoul(hex.substr(k, 4), nullptr, 16)));
            out[gid] = text;
            p = s + 1;
        }
        at = end;
    }
    return out;
}

}  // namespace

ReadPdf read_pdf(const std::string& bytes) {
    ReadPdf pdf;
    auto fail = [&pdf](std::string why) {
        pdf.error = std::move(why);
        return pdf;
    };
    if (bytes.rfind("%PDF-1.", 0) != 0) return fail("no PDF header");
    const std::size_t startxref = bytes.rfind("startxref\n");
    if (startxref == std::string::npos || bytes.rfind("%%EOF") == std::string::npos)
        return fail("no startxref or %%EOF");
    const std::size_t xref = std::strtoul(bytes.c_str() + startxref + 10, nullptr, 10);
    if (bytes.compare(xref, 7, "xref\n0 ") != 0) return fail("startxref does not point at xref");
    const long count = std::strtol(bytes.c_str() + xref + 7, nullptr, 10);
    std::size_t row = bytes.find('\n', xref + 7) + 1;
    if (bytes.compare(row, 20, "0000000000 65535 f \n") != 0) return fail("bad free entry");
    for (long n = 1; n < count; ++n) {
        row += 20;
        if (row + 20 > bytes.size() || bytes.compare(row + 10, 10, " 00000 n \n") != 0)
            return fail("bad xref row " + std::to_string(n));
        const std::size_t at = std::strtoul(bytes.c_str() + row, nullptr, 10);
        const std::string head = std::to_string(n) + " 0 obj\n";
        if (bytes.compare(at, head.size(), head) != 0)
            return fail("xref of object " + std::to_string(n) + " points elsewhere");
        const std::size_t body = at + head.size();
        const std::size_t end = bytes.find("\nendobj\n", body);
        if (end == std::string::npos) return fail("object " + std::to_string(n) + " not closed");
        PdfObject object;
        const std::size_t stream = bytes.find(">>\nstream\n", body);
        if (stream != std::string::npos && stream < end) {
            object.dictionary = bytes.substr(body, stream + 2 - body);
            const long length = number_after(object.dictionary, "/Length");
            const std::size_t data = stream + 10;
            if (length < 0 || bytes.compare(data + length, 11, "\nendstream\n") != 0 ||
                data + length + 10 != end)
                return fail("stream length of object " + std::to_string(n) + " is wrong");
            object.stream = bytes.substr(data, length);
            if (object.dictionary.find("/Filter /FlateDecode") != std::string::npos) {
                object.stream = inflated(*object.stream);
                if (!object.stream)
                    return fail("stream of object " + std::to_string(n) + " does not inflate");
            }
        } else {
            object.dictionary = bytes.substr(body, end - body);
        }
        pdf.objects[static_cast<int>(n)] = std::move(object);
    }
    const std::size_t trailer = bytes.find("trailer", row);
    if (trailer == std::string::npos) return fail("no trailer");
    auto object = [&pdf](long n) -> const PdfObject* {
        const auto it = pdf.objects.find(static_cast<int>(n));
        return it == pdf.objects.end() ? nullptr : &it->second;
    };
    const PdfObject* root = object(number_after(bytes.substr(trailer), "/Root"));
    if (!root || root->dictionary.find("/Type /Catalog") == std::string::npos)
        return fail("no catalog");
    const PdfObject* pages = object(number_after(root->dictionary, "/Pages"));
    if (!pages) return fail("no page tree");
    const std::string& tree = pages->dictionary;
    const std::size_t kids = tree.find("/Kids [");
    if (kids == std::string::npos) return fail("no kids");
    std::size_t at = kids + 7;
    std::map<unsigned, std::string> cmap;
    for (;;) {
        char* end = nullptr;
        const long n = std::strtol(tree.c_str() + at, &end, 10);
        if (end == tree.c_str() + at) break;
        at = tree.find(" R", at) + 2;
        const PdfObject* page = object(n);
        if (!page || page->dictionary.find("/Type /Page ") == std::string::npos)
            return fail("a kid that is no page");
        const PdfObject* type0 = object(number_after(page->dictionary, "/F1"));
        const PdfObject* contents = object(number_after(page->dictionary, "/Contents"));
        if (!type0 || !contents || !contents->stream)
            return fail("a page without font or contents");
        const PdfObject* to_unicode = object(number_after(type0->dictionary, "/ToUnicode"));
        const PdfObject* cid = object(number_after(type0->dictionary, "/DescendantFonts"));
        if (!to_unicode || !to_unicode->stream || !cid) return fail("font without its parts");
        const PdfObject* descriptor = object(number_after(cid->dictionary, "/FontDescriptor"));
        if (!descriptor) return fail("font without descriptor");
        const PdfObject* file = object(number_after(descriptor->dictionary, "/FontFile2"));
        if (!file || !file->stream) return fail("font not embedded");
        pdf.font_file = *file->stream;
        pdf.font_length1 = number_after(file->dictionary, "/Length1");
        // /W [g [w] g [w] ...]
        const std::string& d = cid->dictionary;
        std::size_t w = d.find("/W [");
        if (w != std::string::npos) {
            w += 4;
            for (;;) {
                char* e = nullptr;
                const long g = std::strtol(d.c_str() + w, &e, 10);
                if (e == d.c_str() + w) break;
                const std::size_t open = d.find('[', w);
                pdf.widths[static_cast<int>(g)] = std::strtod(d.c_str() + open + 1, nullptr);
                w = d.find(']', open) + 1;
            }
        }
        cmap = read_cmap(*to_unicode->stream);
        std::vector<std::string> texts;
        const std::string& content = *contents->stream;
        std::size_t p = 0;
        while ((p = content.find("> Tj", p)) != std::string::npos) {
            const std::size_t open = content.rfind('<', p);
            const std::string hex = content.substr(open + 1, p - open - 1);
            std::string text;
            for (std::size_t k = 0; k + 4 <= hex.size(); k += 4) {
                const auto it = cmap.find(std::stoul(hex.substr(k, 4), nullptr, 16));
                text += it == cmap.end() ? "?" : it->second;
            }
            texts.push_back(text);
            p += 4;
        }
        pdf.pages.push_back(std::move(texts));
    }
    if (static_cast<long>(pdf.pages.size()) != number_after(tree, "/Count"))
        return fail("/Count differs from the kids");
    return pdf;
}

std::map<std::string, std::string> sfnt_tables(const std::string& font) {
    std::map<std::string, std::string> tables;
    const unsigned count = u16(font, 4);
    for (unsigned k = 0; k < count; ++k) {
        const std::size_t record = 12 + 16 * k;
        const std::uint32_t offset = u32(font, record + 8), length = u32(font, record + 12);
        if (record + 16 > font.size() || offset + static_cast<std::size_t>(length) > font.size())
            return {};
        tables[font.substr(record, 4)] = font.substr(offset, length);
    }
    return tables;
}

FakeFont::FakeFont() {
    std::u32string chars;
    for (char32_t c = 0x20; c < 0x7F; ++c) chars += c;
    for (char32_t c = 0x410; c < 0x450; ++c) chars += c;
    chars += U"Ёё…±—«»";
    outlines_.push_back(std::string(12, '\x01'));  // glyph 0, the missing-glyph box
    std::uint16_t gid = 1;
    for (const char32_t c : chars) {
        glyphs_[c] = gid++;
        // A simple glyph: one contour, its bounding box, and bytes that tell glyphs apart.
        std::string g;
        put16(g, 1);
        for (int k = 0; k < 4; ++k) put16(g, gid * 3 + k);
        g += std::string(6 + gid % 4, static_cast<char>(gid & 0xFF));
        outlines_.push_back(g);
    }
    breve_ = gid++;
    outlines_.push_back(std::string(12, '\x02'));
    // "й": "и" and the breve.
    std::string composite;
    put16(composite, 0xFFFF);  // numberOfContours -1
    for (int k = 0; k < 4; ++k) put16(composite, 0);
    put16(composite, 0x0001 | 0x0020);  // word arguments, more components
    put16(composite, glyphs_.at(U'и'));
    put16(composite, 0), put16(composite, 0);
    put16(composite, 0x0001);
    put16(composite, breve_);
    put16(composite, 0), put16(composite, 0);
    outlines_[glyphs_.at(U'й')] = composite;

    const unsigned n = static_cast<unsigned>(outlines_.size());
    std::string glyf, loca, hmtx;
    for (unsigned g = 0; g < n; ++g) {
        put16(loca, static_cast<unsigned>(glyf.size() / 2));
        glyf += outlines_[g];
        if (glyf.size() % 2) glyf += '\0';
        put16(hmtx, static_cast<unsigned>(advance(static_cast<std::uint16_t>(g))));
        put16(hmtx, 0);
    }
    put16(loca, static_cast<unsigned>(glyf.size() / 2));
    std::string head(54, '\0');
    head[1] = 1;                                          // version 1.0
    head[18] = 0x03, head[19] = static_cast<char>(0xE8);  // 1000 units per em
    std::string bbox;
    put16(bbox, 0xFF9C), put16(bbox, 0xFF38), put16(bbox, 1000), put16(bbox, 900);
    head.replace(36, 8, bbox);
    std::string hhea(36, '\0');
    hhea[1] = 1;
    hhea.replace(4, 4, "\x03\x20\xFF\x38");  // ascender 800, descender -200
    hhea[34] = static_cast<char>(n >> 8), hhea[35] = static_cast<char>(n & 0xFF);
    std::string maxp("\0\0\x50\0", 4);  // version 0.5
    put16(maxp, n);
    tables = {{"head", head}, {"hhea", hhea}, {"maxp", maxp},      {"hmtx", hmtx},
              {"loca", loca}, {"glyf", glyf}, {"prep", "\xB0\x01"}};
}

std::string FakeFont::table(std::string_view tag) const {
    const auto it = tables.find(std::string(tag));
    return it == tables.end() ? std::string() : it->second;
}

std::uint16_t FakeFont::glyph(char32_t c) const {
    const auto it = glyphs_.find(c);
    return it == glyphs_.end() ? 0 : it->second;
}

}  // namespace velkon::test
