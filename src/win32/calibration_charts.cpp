#include "win32/calibration_charts.h"

#include <algorithm>
#include <cmath>

#include "win32/text.h"

namespace velkon::win32 {

namespace chart = calibration::chart;

namespace {

COLORREF rgb(chart::Color c) {
    return RGB(c.r, c.g, c.b);
}

POINT point(const chart::Point& p) {
    return {std::lround(p.x), std::lround(p.y)};
}

RECT rect(const chart::Rect& r) {
    return {std::lround(r.left), std::lround(r.top), std::lround(r.right()),
            std::lround(r.bottom())};
}

// A pen or brush of its own, selected into the device context while it lives.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(SelectObject(dc, object)) {}
    ~Selected() {
        SelectObject(dc_, old_);
        DeleteObject(object_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ old_;
};

HPEN pen(chart::Color color, double width, int style = PS_SOLID) {
    return CreatePen(style, std::max(1, static_cast<int>(width)), rgb(color));
}

struct ShapePainter {
    HDC dc;

    void operator()(const chart::Fill& s) const {
        const RECT r = rect(s.box);
        const HBRUSH brush = CreateSolidBrush(rgb(s.color));
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    void operator()(const chart::Outline& s) const {
        const RECT r = rect(s.box);
        // GDI dashes only lines one pixel wide.
        const Selected line(dc,
                            pen(s.color, s.dashed ? 1 : s.width, s.dashed ? PS_DASH : PS_SOLID));
        const Selected hollow(dc, GetStockObject(NULL_BRUSH));
        SetBkMode(dc, TRANSPARENT);
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
    }
    void operator()(const chart::Line& s) const {
        const Selected line(dc, pen(s.color, s.width));
        const POINT a = point(s.from), b = point(s.to);
        MoveToEx(dc, a.x, a.y, nullptr);
        LineTo(dc, b.x, b.y);
    }
    void operator()(const chart::Curve& s) const {
        if (s.points.size() < 2) return;
        std::vector<POINT> points;
        for (const chart::Point& p : s.points) points.push_back(point(p));
        const int saved = SaveDC(dc);
        if (s.clip) {
            const RECT r = rect(*s.clip);
            IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
        }
        {
            const Selected line(dc, pen(s.color, s.width));
            Polyline(dc, points.data(), static_cast<int>(points.size()));
        }
        RestoreDC(dc, saved);
    }
    void operator()(const chart::Marker& s) const {
        const Selected edge(dc, pen(s.edge, s.edge_width));
        const Selected fill(dc, CreateSolidBrush(rgb(s.fill)));
        const POINT c = point(s.centre);
        const int r = static_cast<int>(std::lround(s.radius));
        Ellipse(dc, c.x - r, c.y - r, c.x + r + 1, c.y + r + 1);
    }
    void operator()(const chart::Label& s) const {
        constexpr UINT across[] = {DT_LEFT, DT_CENTER, DT_RIGHT};
        constexpr UINT down[] = {DT_TOP, DT_VCENTER, DT_BOTTOM};
        RECT r = rect(s.box);
        const std::wstring text = widen(s.text);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, rgb(s.color));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_SINGLELINE | DT_NOPREFIX | across[static_cast<int>(s.across)] |
                      down[static_cast<int>(s.down)]);
    }
};

}  // namespace

void paint_shapes(const DRAWITEMSTRUCT& item, HFONT font, const std::vector<chart::Shape>& shapes) {
    const RECT box = item.rcItem;
    const int width = std::max<int>(box.right - box.left, 1);
    const int height = std::max<int>(box.bottom - box.top, 1);
    const HDC memory = CreateCompatibleDC(item.hDC);
    const HBITMAP bitmap = CreateCompatibleBitmap(item.hDC, width, height);
    const HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    const HGDIOBJ old_font = SelectObject(memory, font);
    const RECT whole{0, 0, width, height};
    FillRect(memory, &whole, GetSysColorBrush(COLOR_BTNFACE));
    const ShapePainter draw{memory};
    for (const chart::Shape& shape : shapes) std::visit(draw, shape);
    BitBlt(item.hDC, box.left, box.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old_font);
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

}  // namespace velkon::win32
