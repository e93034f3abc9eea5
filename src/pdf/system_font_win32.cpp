// The report's font on Windows: a face the system has, with its tables and glyphs through GDI.
// Arial first, as the report's text was laid out for a sans serif of its width; then other
// common faces; then any TrueType face with Cyrillic.
#include <windows.h>

#include <map>
#include <optional>
#include <vector>

#include "pdf/system_font.h"

namespace velkon::pdf {

namespace {

struct DeleteDc {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct DeleteFont {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using Dc = std::unique_ptr<std::remove_pointer_t<HDC>, DeleteDc>;
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, DeleteFont>;

class GdiFont : public Font {
  public:
    GdiFont(Dc dc, FontHandle font) : dc_(std::move(dc)), font_(std::move(font)) {
        previous_ = SelectObject(dc_.get(), font_.get());
    }
    ~GdiFont() override { SelectObject(dc_.get(), previous_); }
    GdiFont(const GdiFont&) = delete;
    GdiFont& operator=(const GdiFont&) = delete;

    // GDI gives a table of the face selected, whether the file holds one face or a collection.
    std::string table(std::string_view tag) const override {
        if (tag.size() != 4) return {};
        DWORD name = 0;
        for (int k = 3; k >= 0; --k) name = name << 8 | static_cast<unsigned char>(tag[k]);
        const DWORD size = GetFontData(dc_.get(), name, 0, nullptr, 0);
        if (size == GDI_ERROR || size == 0) return {};
        std::string bytes(size, '\0');
        if (GetFontData(dc_.get(), name, 0, bytes.data(), size) != size) return {};
        return bytes;
    }

    std::uint16_t glyph(char32_t c) const override {
        if (c > 0xFFFF) return 0;
        if (const auto it = glyphs_.find(c); it != glyphs_.end()) return it->second;
        const WCHAR ch = static_cast<WCHAR>(c);
        WORD g = 0xFFFF;
        if (GetGlyphIndicesW(dc_.get(), &ch, 1, &g, GGI_MARK_NONEXISTING_GLYPHS) != 1) g = 0xFFFF;
        const std::uint16_t id = g == 0xFFFF ? 0 : g;
        glyphs_.emplace(c, id);
        return id;
    }

    // The face's name goes into the file as letters and digits only: ASCII is enough.
    std::string name() const override {
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc_.get(), LF_FACESIZE, face);
        std::string out;
        for (const wchar_t* c = face; *c; ++c)
            if (*c < 0x80) out += static_cast<char>(*c);
        return out;
    }

  private:
    Dc dc_;
    FontHandle font_;
    HGDIOBJ previous_ = nullptr;
    mutable std::map<char32_t, std::uint16_t> glyphs_;
};

std::optional<ReportFont> open_face(const std::wstring& face) {
    Dc dc(CreateCompatibleDC(nullptr));
    if (!dc) return std::nullopt;
    LOGFONTW wanted{};
    wanted.lfHeight = -2048;
    wanted.lfWeight = FW_NORMAL;
    wanted.lfCharSet = RUSSIAN_CHARSET;
    wanted.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    wanted.lfQuality = DEFAULT_QUALITY;
    wanted.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    FontHandle handle(CreateFontIndirectW(&wanted));
    if (!handle) return std::nullopt;
    auto font = std::make_unique<GdiFont>(std::move(dc), std::move(handle));
    if (!has_letters(*font, kReportLetters)) return std::nullopt;
    auto read = FontFace::read(*font);
    if (!read) return std::nullopt;  // no TrueType outlines, or tables GDI did not give
    return ReportFont{std::move(font), std::move(read), {}};
}

int CALLBACK collect_face(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM faces) {
    // Vertical faces ("@...") lay text out sideways.
    if ((type & TRUETYPE_FONTTYPE) && font->lfFaceName[0] != L'@')
        reinterpret_cast<std::vector<std::wstring>*>(faces)->push_back(font->lfFaceName);
    return 1;
}

}  // namespace

ReportFont find_report_font() {
    for (const wchar_t* face : {L"Arial", L"Tahoma", L"Segoe UI", L"Verdana", L"DejaVu Sans"})
        if (auto found = open_face(face)) return std::move(*found);
    // Any TrueType face that says it has Cyrillic, in the order the system lists them.
    std::vector<std::wstring> faces;
    if (Dc dc{CreateCompatibleDC(nullptr)}) {
        LOGFONTW all{};
        all.lfCharSet = RUSSIAN_CHARSET;
        EnumFontFamiliesExW(dc.get(), &all, collect_face, reinterpret_cast<LPARAM>(&faces), 0);
    }
    for (const std::wstring& face : faces)
        if (auto found = open_face(face)) return std::move(*found);
    return {nullptr, nullptr,
            "Отчёт не создан: в системе не найден шрифт TrueType с русскими буквами "
            "(Arial, Tahoma или Segoe UI)."};
}

}  // namespace velkon::pdf
