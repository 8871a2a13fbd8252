#include "platform/win32/Win32GdiCache.h"

#include <cmath>

#include "platform/win32/Win32DynamicCalls.h"
#include "platform/win32/Win32Platform.h"

namespace {

const wchar_t* StockIconId(StockIcon icon) {
    switch (icon) {
        case StockIcon::Stop:
            return IDI_HAND;
        case StockIcon::Question:
            return IDI_QUESTION;
        case StockIcon::Exclamation:
            return IDI_EXCLAMATION;
        case StockIcon::Information:
            return IDI_ASTERISK;
        case StockIcon::None:
            break;
    }
    return nullptr;
}

}  // namespace

HFONT GdiCache::Font(const FontSpec& font, UINT dpi, bool underline) {
    const std::wstring face = font.face.empty() ? L"MS Shell Dlg" : Widen(font.face);
    const double points = font.points > 0 ? font.points : 8.0;
    const int height = static_cast<int>(std::lround(points * dpi / 72.0));
    const bool underlined = font.underline || underline;
    const auto key = std::make_tuple(face, height, font.bold, underlined, dpi);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underlined;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    win::ScopedFont created(CreateFontIndirectW(&lf));
    // Stock objects have no owner: the refusal is not remembered, the next asks again.
    if (!created) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return fonts_[key] = std::move(created);
}

HBRUSH GdiCache::Brush(COLORREF color) {
    if (color == GetSysColor(COLOR_BTNFACE)) return GetSysColorBrush(COLOR_BTNFACE);
    if (auto it = brushes_.find(color); it != brushes_.end()) return it->second;
    return brushes_[color] = win::ScopedBrush(CreateSolidBrush(color));
}

HICON GdiCache::Icon(StockIcon which, int width, int height) {
    const wchar_t* id = StockIconId(which);
    if (!id) return nullptr;
    const auto key = std::make_tuple(which, width, height);
    if (auto it = icons_.find(key); it != icons_.end()) return it->second;
    // Comctl32 6 scales the system's large icon down cleanly to any size.
    if (const auto scaleDown = Dyn().loadIconWithScaleDown) {
        win::ScopedIcon icon;
        if (SUCCEEDED(scaleDown(nullptr, id, width, height, icon.Put())) && icon)
            return icons_[key] = std::move(icon);
    }
    return LoadIconW(nullptr, id);  // shared; DrawIconEx stretches it
}

COLORREF ToColorRef(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

COLORREF PageBackColor() {
    // Asked each time: a theme or high-contrast switch while the window is open changes it.
    const auto isThemed = Dyn().isAppThemed;
    return isThemed && isThemed() ? GetSysColor(COLOR_WINDOW) : GetSysColor(COLOR_BTNFACE);
}
