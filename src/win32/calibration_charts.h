// The calibration window's pictures on Win32: the shapes the core lays out, drawn with GDI in
// the font selected into the device context.
#pragma once

#include <windows.h>

#include <vector>

#include "calibration/charts.h"

namespace velkon::win32 {

void paint_shapes(HDC dc, const std::vector<calibration::chart::Shape>& shapes);

}  // namespace velkon::win32
