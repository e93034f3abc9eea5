// The window's picture as a BMP file, for the scripted runs under wine.
#pragma once

#include <windows.h>

#include <string>

namespace velkon::win32 {

// Saves the client area of `hwnd` (24 bits per pixel); false when that failed.
bool save_window_bmp(HWND hwnd, const std::wstring& path);

}  // namespace velkon::win32
