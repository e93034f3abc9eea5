#include "win32/report_font.h"

#include <windows.h>

#include <map>
#include <optional>
#include <vector>

#include "win32/text.h"

namespace velkon::win32 {

namespace {

// Words whose letters a report font must have: the title and the marks.
constexpr const wchar_t* kProbe =
    L"Тарировочная таблица бака: ёмкость, уровень упал; Ё±…—«»0123456789";

struct DeleteDc {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct DeleteFont {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using Dc = std::unique_ptr<std::remove_pointer_t<HDC>, DeleteDc>;
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, DeleteFont>;

class GdiFont : public pdf::Font {
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

    std::string name() const override {
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc_.get(), LF_FACESIZE, face);
        return narrow(face);
    }

    bool has_all(const wchar_t* text) const {
        for (const wchar_t* c = text; *c; ++c)
            if (*c != L' ' && glyph(static_cast<char32_t>(*c)) == 0) return false;
        return true;
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
    if (!font->has_all(kProbe)) return std::nullopt;
    auto read = pdf::FontFace::read(*font);
    if (!read) return std::nullopt;  // no TrueType outlines, or tables GDI did not give
    return ReportFont{std::move(font), std::move(read)};
}

int CALLBACK collect_face(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM faces) {
    // Vertical faces ("@...") lay text out sideways.
    if ((type & TRUETYPE_FONTTYPE) && font->lfFaceName[0] != L'@')
        reinterpret_cast<std::vector<std::wstring>*>(faces)->push_back(font->lfFaceName);
    return 1;
}

}  // namespace

std::optional<ReportFont> find_report_font() {
    for (const wchar_t* face : {L"Arial", L"Tahoma", L"Segoe UI", L"Verdana", L"DejaVu Sans"})
        if (auto found = open_face(face)) return found;
    // Any TrueType face that says it has Cyrillic, in the order the system lists them.
    std::vector<std::wstring> faces;
    if (Dc dc{CreateCompatibleDC(nullptr)}) {
        LOGFONTW all{};
        all.lfCharSet = RUSSIAN_CHARSET;
        EnumFontFamiliesExW(dc.get(), &all, collect_face, reinterpret_cast<LPARAM>(&faces), 0);
    }
    for (const std::wstring& face : faces)
        if (auto found = open_face(face)) return found;
    return std::nullopt;
}

}  // namespace velkon::win32
