#include "pdf/pdf_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

namespace velkon::pdf {

namespace {

// The stream's bytes deflated (FlateDecode); nothing if zlib fails, which it does only short of
// memory.
std::optional<std::string> deflated(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return std::nullopt;
    out.resize(size);
    return out;
}

// A number as PDF writes it: at most three decimals, a point whatever the process's locale.
std::string num(double v) {
    if (!std::isfinite(v)) v = 0;
    long long milli = std::llround(v * 1000);
    std::string sign = milli < 0 ? "-" : "";
    if (milli < 0) milli = -milli;
    std::string text = sign + std::to_string(milli / 1000);
    if (const long long frac = milli % 1000) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%03lld", frac);
        std::string f = digits;
        while (f.back() == '0') f.pop_back();
        text += "." + f;
    }
    return text == "-0" ? "0" : text;
}

std::string hex4(unsigned v) {
    char out[5];
    std::snprintf(out, sizeof out, "%04X", v & 0xFFFF);
    return out;
}

// UTF-16BE code units of a character, as hex.
std::string utf16_hex(char32_t c) {
    if (c < 0x10000) return hex4(static_cast<unsigned>(c));
    const char32_t v = c - 0x10000;
    return hex4(0xD800 + static_cast<unsigned>(v >> 10)) + hex4(0xDC00 + (v & 0x3FF));
}

// A text string of the document's properties: UTF-16BE with its byte order mark.
std::string text_string(std::string_view utf8) {
    std::string out = "<FEFF";
    for (const char32_t c : decode_utf8(utf8)) out += utf16_hex(c);
    return out + ">";
}

std::string color(const Color& c, const char* op) {
    return num(c.r / 255.0) + " " + num(c.g / 255.0) + " " + num(c.b / 255.0) + " " + op + "\n";
}

// The letters and digits of a name, which a PDF name may carry without escapes.
std::string font_name(const std::string& name) {
    std::string out;
    for (const char c : name)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += c;
    return out.empty() ? "Font" : out;
}

class ContentWriter {
  public:
    ContentWriter(const FontFace& face, double height, std::set<std::uint16_t>& used,
                  std::map<std::uint16_t, char32_t>& text_of)
        : face_(face), height_(height), used_(used), text_of_(text_of) {}

    std::string operator()(const Text& t) {
        std::string hex;
        for (const char32_t c : decode_utf8(t.text)) {
            const std::uint16_t g = face_.font().glyph(c);
            used_.insert(g);
            if (g != 0) text_of_.emplace(g, c);
            hex += hex4(g);
        }
        std::string out = "BT\n/F1 " + num(t.size) + " Tf\n" + color(t.color, "rg");
        if (t.bold)
            out += "2 Tr " + num(t.size * 0.04) + " w\n" + color(t.color, "RG");
        else
            out += "0 Tr\n";
        return out + "1 0 0 1 " + num(t.at.x) + " " + num(height_ - t.at.y) + " Tm\n<" + hex +
               "> Tj\nET\n";
    }
    std::string operator()(const Line& l) {
        return num(l.width) + " w\n" + color(l.color, "RG") + point(l.from) + " m " + point(l.to) +
               " l S\n";
    }
    std::string operator()(const Frame& f) {
        return num(f.line_width) + " w\n" + color(f.color, "RG") + num(f.corner.x) + " " +
               num(height_ - f.corner.y - f.height) + " " + num(f.width) + " " + num(f.height) +
               " re S\n";
    }
    std::string operator()(const Dot& d) {
        // Four Bézier quarters; the control points at 0.5523 of the radius.
        const double r = d.radius, k = r * 0.5523, x = d.centre.x, y = height_ - d.centre.y;
        auto p = [](double a, double b) { return num(a) + " " + num(b) + " "; };
        return color(d.color, "rg") + p(x + r, y) + "m\n" + p(x + r, y + k) + p(x + k, y + r) +
               p(x, y + r) + "c\n" + p(x - k, y + r) + p(x - r, y + k) + p(x - r, y) + "c\n" +
               p(x - r, y - k) + p(x - k, y - r) + p(x, y - r) + "c\n" + p(x + k, y - r) +
               p(x + r, y - k) + p(x + r, y) + "c\nf\n";
    }
    std::string operator()(const Polyline& l) {
        if (l.points.size() < 2) return "";
        std::string out =
            num(l.width) + " w 1 J 1 j\n" + color(l.color, "RG") + point(l.points[0]) + " m\n";
        for (std::size_t k = 1; k < l.points.size(); ++k) out += point(l.points[k]) + " l\n";
        return out + "S 0 J 0 j\n";
    }

  private:
    std::string point(const Point& p) const { return num(p.x) + " " + num(height_ - p.y); }

    const FontFace& face_;
    double height_;
    std::set<std::uint16_t>& used_;
    std::map<std::uint16_t, char32_t>& text_of_;
};

class FileWriter {
  public:
    void object(int number, const std::string& body) {
        if (offsets_.size() < static_cast<std::size_t>(number))
            offsets_.resize(static_cast<std::size_t>(number));
        offsets_[static_cast<std::size_t>(number) - 1] = out_.size();
        out_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    void stream(int number, const std::string& dictionary, const std::string& data) {
        const std::optional<std::string> packed = deflated(data);
        const std::string& bytes = packed ? *packed : data;
        object(number, "<< " + dictionary + (packed ? " /Filter /FlateDecode" : "") + " /Length " +
                           std::to_string(bytes.size()) + " >>\nstream\n" + bytes + "\nendstream");
    }
    std::string finish(int root, int info) {
        const std::size_t xref = out_.size();
        out_ += "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
        for (const std::size_t at : offsets_) {
            const std::string offset = std::to_string(at);
            out_ += std::string(10 - std::min<std::size_t>(10, offset.size()), '0') + offset +
                    " 00000 n \n";
        }
        out_ += "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " +
                std::to_string(root) + " 0 R /Info " + std::to_string(info) +
                " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return std::move(out_);
    }

    // The header, with bytes above 127 so that transfers treat the file as binary.
    std::string out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";

  private:
    std::vector<std::size_t> offsets_;
};

std::string ref(int number) {
    return std::to_string(number) + " 0 R";
}

}  // namespace

std::string write_pdf(const Document& document, const FontFace& face) {
    // The pages' contents first: they decide which glyphs the font must keep.
    std::set<std::uint16_t> used;
    std::map<std::uint16_t, char32_t> text_of;
    std::vector<std::string> contents;
    for (const Page& page : document.pages) {
        ContentWriter draw(face, page.height, used, text_of);
        std::string content;
        for (const Shape& shape : page.shapes) content += std::visit(draw, shape);
        contents.push_back(std::move(content));
    }

    // Object numbers: fixed ones first, then two per page.
    const int catalog = 1, pages = 2, type0 = 3, cid_font = 4, to_unicode = 5, descriptor = 6,
              font_file = 7, info = 8;
    const int first_page = 9;
    FileWriter file;

    std::string kids;
    for (std::size_t k = 0; k < document.pages.size(); ++k)
        kids += ref(first_page + 2 * static_cast<int>(k)) + " ";
    file.object(catalog, "<< /Type /Catalog /Pages " + ref(pages) + " >>");
    file.object(pages, "<< /Type /Pages /Kids [" + kids + "] /Count " +
                           std::to_string(document.pages.size()) + " >>");

    // A subset's name carries six capitals of its own, here from the glyphs it keeps.
    std::uint32_t hash = 2166136261u;
    for (const std::uint16_t g : used) hash = (hash ^ g) * 16777619u;
    std::string tag;
    for (int k = 0; k < 6; ++k, hash /= 26) tag += static_cast<char>('A' + hash % 26);
    const std::string base = "/" + tag + "+" + font_name(face.font().name());

    file.object(type0, "<< /Type /Font /Subtype /Type0 /BaseFont " + base +
                           " /Encoding /Identity-H /DescendantFonts [" + ref(cid_font) +
                           "] /ToUnicode " + ref(to_unicode) + " >>");
    const double scale = 1000.0 / face.units_per_em();
    std::string widths;
    for (const std::uint16_t g : used)
        widths += std::to_string(g) + " [" + num(face.advance(g) * scale) + "] ";
    file.object(cid_font,
                "<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + base +
                    " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                    " /FontDescriptor " +
                    ref(descriptor) + " /DW " + num(face.advance(0) * scale) + " /W [" + widths +
                    "] /CIDToGIDMap /Identity >>");

    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    // At most 100 entries a block.
    auto entry = text_of.begin();
    while (entry != text_of.end()) {
        std::string block;
        int n = 0;
        for (; entry != text_of.end() && n < 100; ++entry, ++n)
            block += "<" + hex4(entry->first) + "> <" + utf16_hex(entry->second) + ">\n";
        cmap += std::to_string(n) + " beginbfchar\n" + block + "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    file.stream(to_unicode, "", cmap);

    const auto& box = face.bbox();
    file.object(descriptor,
                "<< /Type /FontDescriptor /FontName " + base + " /Flags 32 /FontBBox [" +
                    num(box[0] * scale) + " " + num(box[1] * scale) + " " + num(box[2] * scale) +
                    " " + num(box[3] * scale) + "] /ItalicAngle 0 /Ascent " +
                    num(face.ascent() * scale) + " /Descent " + num(face.descent() * scale) +
                    " /CapHeight " + num(face.ascent() * scale) + " /StemV 80 /FontFile2 " +
                    ref(font_file) + " >>");
    const std::string program = face.subset(used);
    file.stream(font_file, "/Length1 " + std::to_string(program.size()), program);

    file.object(info, "<< /Title " + text_string(document.title) + " /Creator " +
                          text_string(document.creator) + " /Producer " +
                          text_string(document.creator) + " >>");

    for (std::size_t k = 0; k < document.pages.size(); ++k) {
        const Page& page = document.pages[k];
        const int number = first_page + 2 * static_cast<int>(k);
        file.object(number, "<< /Type /Page /Parent " + ref(pages) + " /MediaBox [0 0 " +
                                num(page.width) + " " + num(page.height) +
                                "] /Resources << /Font << /F1 " + ref(type0) + " >> >> /Contents " +
                                ref(number + 1) + " >>");
        file.stream(number + 1, "", contents[k]);
    }
    return file.finish(catalog, info);
}

}  // namespace velkon::pdf
