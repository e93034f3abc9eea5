// The calibration window's pictures on Win32: the shapes the core lays out, drawn with GDI into
// an owner-drawn control.
#pragma once

#include <windows.h>

#include <vector>

#include "calibration/charts.h"

namespace velkon::win32 {

// Draws `shapes` on the window's ground in `font`, whole into a bitmap first: no flicker as the
// pictures change twice a second.
void paint_shapes(const DRAWITEMSTRUCT& item, HFONT font,
                  const std::vector<calibration::chart::Shape>& shapes);

}  // namespace velkon::win32
