#include "win32/screenshot.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace velkon::win32 {

bool save_window_bmp(HWND hwnd, const std::wstring& path) {
    RECT client;
    if (!GetClientRect(hwnd, &client)) return false;
    const int width = client.right;
    const int height = client.bottom;
    const HDC window_dc = GetDC(hwnd);
    const HDC memory_dc = CreateCompatibleDC(window_dc);
    const HBITMAP bitmap = CreateCompatibleBitmap(window_dc, width, height);
    const HGDIOBJ old = SelectObject(memory_dc, bitmap);
    // What the screen shows of the window: the scripted runs keep it on top of an empty display.
    const BOOL painted = BitBlt(memory_dc, 0, 0, width, height, window_dc, 0, 0, SRCCOPY);
    SelectObject(memory_dc, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up, as BMP files store rows
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * height);
    const int rows = GetDIBits(memory_dc, bitmap, 0, height, pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory_dc);
    ReleaseDC(hwnd, window_dc);
    if (!painted || rows != height) return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

}  // namespace velkon::win32
