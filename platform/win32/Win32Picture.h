// Picture files for Picture controls, decoded once and kept as a bitmap.
#pragma once

#include <optional>
#include <string>

#include "platform/win32/ScopedWin32.h"

struct DecodedPicture {
    win::ScopedBitmap bitmap;
    SIZE size{};
};

// Decodes a picture file (GIF, BMP, JPEG, PNG, ICO) with WIC and flattens it onto
// `background`, so transparent parts show the form behind them. Nothing when the file
// is missing or no picture WIC can read. Needs COM on the calling thread.
std::optional<DecodedPicture> DecodePicture(const std::wstring& path, COLORREF background);
