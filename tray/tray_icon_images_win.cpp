#include "tray/tray_icon_images_win.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "win32/system_library_win.h"

namespace {

using DpiForWindow = UINT(WINAPI*)(HWND);
using DpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using MetricForDpi = int(WINAPI*)(int, UINT);
using IconWithScaleDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

// The program's own DPI, the one GetSystemMetrics answers for.
int ProgramDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

constexpr COLORREF kBadgeRed = RGB(222, 36, 36);
constexpr COLORREF kBadgeWhite = RGB(255, 255, 255);
constexpr int kSamples = 4;  // per pixel edge, for smooth edges of the disc

struct Pixel {
  std::uint8_t blue, green, red, alpha;
};

BITMAPINFO TopDownInfo(int size) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The icon's own colour and alpha at size pixels; an icon without alpha
// takes it from its mask.
bool ReadIconPixels(HICON icon, int size, std::vector<Pixel>& pixels) {
  ICONINFO parts = {};
  if (!::GetIconInfo(icon, &parts)) return false;
  const UniqueBitmap colour(parts.hbmColor), mask(parts.hbmMask);
  BITMAP shape = {};
  if (!colour || !::GetObjectW(colour.get(), sizeof(shape), &shape) || shape.bmWidth != size) return false;
  BITMAPINFO info = TopDownInfo(size);
  const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  pixels.assign(static_cast<size_t>(size) * size, Pixel{});
  if (::GetDIBits(dc.get(), colour.get(), 0, size, pixels.data(), &info, DIB_RGB_COLORS) != size) return false;
  if (std::any_of(pixels.begin(), pixels.end(), [](const Pixel& p) { return p.alpha != 0; })) return true;
  std::vector<Pixel> transparent(pixels.size());
  info = TopDownInfo(size);
  if (::GetDIBits(dc.get(), mask.get(), 0, size, transparent.data(), &info, DIB_RGB_COLORS) != size) return false;
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i].alpha = transparent[i].green ? 0 : 255;
  return true;
}

// Straight-alpha colour over what is there, weighted by coverage (0 to 1).
void Blend(Pixel& pixel, COLORREF colour, double coverage) {
  if (coverage <= 0) return;
  const double below = pixel.alpha / 255.0 * (1 - coverage);
  const double alpha = coverage + below;
  const auto mix = [&](int top, int bottom) {
    return static_cast<std::uint8_t>((top * coverage + bottom * below) / alpha + 0.5);
  };
  pixel = {mix(GetBValue(colour), pixel.blue), mix(GetGValue(colour), pixel.green), mix(GetRValue(colour), pixel.red),
           static_cast<std::uint8_t>(alpha * 255 + 0.5)};
}

// How much of pixel x, y a rectangle with round ends covers: left..right,
// top..bottom in pixels, the ends' radius half its height.
double PillCoverage(int x, int y, double left, double top, double right, double bottom) {
  const double radius = (bottom - top) / 2;
  int hits = 0;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      const double px = x + (sx + 0.5) / kSamples, py = y + (sy + 0.5) / kSamples;
      const double cx = std::clamp(px, left + radius, right - radius), cy = top + radius;
      hits += (px - cx) * (px - cx) + (py - cy) * (py - cy) <= radius * radius;
    }
  }
  return static_cast<double>(hits) / (kSamples * kSamples);
}

UniqueFont BadgeFont(int height) {
  return UniqueFont(::CreateFontW(-height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
}

std::wstring BadgeText(int count) { return count > 99 ? L"99+" : std::to_wstring(count); }

// The text in white on black, centred in the badge, at the badge's size:
// its brightness is the text's coverage.
bool DrawBadgeText(const std::wstring& text, int size, const RECT& badge, int fontHeight, std::vector<Pixel>& cover) {
  BITMAPINFO info = TopDownInfo(size);
  void* bits = nullptr;
  const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  const UniqueBitmap canvas(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const UniqueFont font(BadgeFont(fontHeight));
  if (!dc || !canvas || !font) return false;
  HGDIOBJ oldBitmap = ::SelectObject(dc.get(), canvas.get());
  HGDIOBJ oldFont = ::SelectObject(dc.get(), font.get());
  ::SetBkMode(dc.get(), TRANSPARENT);
  ::SetTextColor(dc.get(), kBadgeWhite);
  RECT box = badge;
  ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
  ::GdiFlush();
  const auto* drawn = static_cast<const Pixel*>(bits);
  cover.assign(drawn, drawn + static_cast<size_t>(size) * size);
  ::SelectObject(dc.get(), oldFont);
  ::SelectObject(dc.get(), oldBitmap);
  return true;
}

// The width the text needs in that font, in pixels.
int TextWidth(const std::wstring& text, int fontHeight) {
  const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  const UniqueFont font(BadgeFont(fontHeight));
  SIZE extent = {};
  HGDIOBJ old = ::SelectObject(dc.get(), font.get());
  ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(dc.get(), old);
  return extent.cx;
}

UniqueIcon IconFromPixels(const std::vector<Pixel>& pixels, int size) {
  BITMAPINFO info = TopDownInfo(size);
  void* bits = nullptr;
  const UniqueBitmap colour(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!colour) return UniqueIcon();
  std::copy(pixels.begin(), pixels.end(), static_cast<Pixel*>(bits));
  // The mask still marks what is transparent, for the shells that draw by it.
  const int stride = (size + 15) / 16 * 2;
  std::vector<std::uint8_t> maskBits(static_cast<size_t>(stride) * size, 0);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (pixels[y * size + x].alpha == 0) maskBits[y * stride + x / 8] |= 0x80 >> (x % 8);
  const UniqueBitmap mask(::CreateBitmap(size, size, 1, 1, maskBits.data()));
  ICONINFO parts = {TRUE, 0, 0, mask.get(), colour.get()};
  return UniqueIcon(mask ? ::CreateIconIndirect(&parts) : nullptr);
}

// The DPI of the monitor that holds the taskbar, which draws the icon at its
// own monitor's scale; 0 where Windows cannot tell (before 8.1, or no taskbar).
UINT TaskbarMonitorDpi() {
  static const auto dpiForMonitor = SystemFunction<DpiForMonitor>(L"shcore.dll", "GetDpiForMonitor");
  HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
  UINT dpiX = 0, dpiY = 0;
  if (!dpiForMonitor || !taskbar) return 0;
  HMONITOR monitor = ::MonitorFromWindow(taskbar, MONITOR_DEFAULTTOPRIMARY);
  return SUCCEEDED(dpiForMonitor(monitor, kEffectiveDpi, &dpiX, &dpiY)) ? dpiX : 0;
}

}  // namespace

int TrayIconSize(HWND window) {
  static const auto dpiForWindow = SystemFunction<DpiForWindow>(L"user32.dll", "GetDpiForWindow");
  static const auto metricForDpi = SystemFunction<MetricForDpi>(L"user32.dll", "GetSystemMetricsForDpi");
  UINT dpi = TaskbarMonitorDpi();
  if (!dpi && dpiForWindow && window) dpi = dpiForWindow(window);
  if (metricForDpi && dpi) return metricForDpi(SM_CXSMICON, dpi);
  // Windows 8.1 and 10 before 1607 tell the taskbar's DPI but have no
  // metric for it: the program's own, scaled.
  if (dpi) return ::MulDiv(::GetSystemMetrics(SM_CXSMICON), static_cast<int>(dpi), ProgramDpi());
  return ::GetSystemMetrics(SM_CXSMICON);
}

UniqueIcon LoadIconAtSize(HINSTANCE instance, int id, int size) {
  // The version the manifest names, which the exe imports: the module
  // already loaded (a library loaded by name here could be version 5,
  // which lacks the function).
  static const auto scaleDown =
      ModuleFunction<IconWithScaleDown>(::GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown");
  HICON icon = nullptr;
  if (scaleDown && SUCCEEDED(scaleDown(instance, MAKEINTRESOURCEW(id), size, size, &icon))) return UniqueIcon(icon);
  return UniqueIcon(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
}

UniqueIcon DrawCountBadge(HICON icon, int size, int count) {
  std::vector<Pixel> pixels, text;
  if (size <= 0 || !ReadIconPixels(icon, size, pixels)) return UniqueIcon();
  // The badge is 5/8 of the icon high, as wide as its text needs, at most
  // the icon's width; the outline is a pixel at the common sizes.
  const std::wstring label = BadgeText(count);
  const int height = (size * 5 + 4) / 8;
  const int outline = std::max(1, size / 24);
  const int fontHeight = height - outline;
  const int width = std::clamp(TextWidth(label, fontHeight) + 2 * outline + height / 3, height, size);
  const RECT badge = {size - width, 0, size, height};
  if (!DrawBadgeText(label, size, badge, fontHeight, text)) return UniqueIcon();
  for (int y = 0; y < height; ++y) {
    for (int x = badge.left; x < size; ++x) {
      Pixel& pixel = pixels[y * size + x];
      Blend(pixel, kBadgeWhite, PillCoverage(x, y, badge.left, 0, size, height));
      Blend(pixel, kBadgeRed, PillCoverage(x, y, badge.left + outline, outline, size - outline, height - outline));
      Blend(pixel, kBadgeWhite, text[y * size + x].green / 255.0);
    }
  }
  return IconFromPixels(pixels, size);
}
