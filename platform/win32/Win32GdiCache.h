// The fonts, brushes and icons the forms draw with, made once per kind and size and
// freed with the cache.
#pragma once

#include <map>
#include <string>
#include <tuple>

#include "common/Forms.h"
#include "platform/win32/ScopedWin32.h"

class GdiCache {
  public:
    GdiCache() = default;
    GdiCache(const GdiCache&) = delete;
    GdiCache& operator=(const GdiCache&) = delete;

    // `font` at `dpi`; the empty face and size 0 mean the dialog font. Never null: the
    // default GUI font stands in for one the system refuses.
    HFONT Font(const FontSpec& font, UINT dpi, bool underline = false);
    // A solid brush; the system's own for the dialog colour.
    HBRUSH Brush(COLORREF color);
    // A standard message icon drawn at `width` x `height`; null for StockIcon::None.
    HICON Icon(StockIcon which, int width, int height);

  private:
    std::map<std::tuple<std::wstring, int, bool, bool, UINT>, win::ScopedFont> fonts_;
    std::map<COLORREF, win::ScopedBrush> brushes_;
    std::map<std::tuple<StockIcon, int, int>, win::ScopedIcon> icons_;
};

COLORREF ToColorRef(std::uint32_t rgb);
// Pages lie on a tab strip's body, which visual styles paint in the window colour and
// the classic look in the dialog colour.
COLORREF PageBackColor();
