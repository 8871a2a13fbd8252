#include "platform/win32/Win32Picture.h"

// After <windows.h>, which it needs.
#include <wincodec.h>

namespace {

// Pictures larger than this on either side are refused rather than allocated.
constexpr UINT kMaxSide = 16384;

// Icons hold several sizes: the index of the largest frame.
UINT LargestFrame(IWICBitmapDecoder& decoder) {
    UINT frames = 0, best = 0, bestArea = 0;
    decoder.GetFrameCount(&frames);
    for (UINT i = 0; i < frames && frames > 1; ++i) {
        win::ComPtr<IWICBitmapFrameDecode> candidate;
        if (FAILED(decoder.GetFrame(i, candidate.Put()))) continue;
        UINT w = 0, h = 0;
        candidate->GetSize(&w, &h);
        if (w * h > bestArea) bestArea = w * h, best = i;
    }
    return best;
}

// Premultiplied pixels onto an opaque background: colour + background * (1 - alpha).
void Flatten(BYTE* p, UINT pixels, COLORREF background) {
    const BYTE backB = GetBValue(background), backG = GetGValue(background),
               backR = GetRValue(background);
    for (UINT i = 0; i < pixels; ++i, p += 4) {
        const int rest = 255 - p[3];
        p[0] = static_cast<BYTE>(p[0] + backB * rest / 255);
        p[1] = static_cast<BYTE>(p[1] + backG * rest / 255);
        p[2] = static_cast<BYTE>(p[2] + backR * rest / 255);
        p[3] = 255;
    }
}

}  // namespace

std::optional<DecodedPicture> DecodePicture(const std::wstring& path, COLORREF background) {
    win::ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.PutVoid())))
        return std::nullopt;
    win::ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, decoder.Put())))
        return std::nullopt;
    win::ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(LargestFrame(*decoder.Get()), frame.Put()))) return std::nullopt;
    win::ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.Put()))) return std::nullopt;
    if (FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return std::nullopt;
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > kMaxSide || height > kMaxSide)
        return std::nullopt;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    DecodedPicture picture;
    picture.bitmap.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!picture.bitmap) return std::nullopt;
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits))))
        return std::nullopt;
    Flatten(static_cast<BYTE*>(bits), width * height, background);
    GdiFlush();
    picture.size = SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
    return picture;
}
