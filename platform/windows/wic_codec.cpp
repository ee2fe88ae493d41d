// PNG and JPEG files on the Windows Imaging Component, by the rules of
// image/picture_codec.h.
#include "platform/win32.h"

#include <initguid.h>  // the WIC GUIDs are defined here, in this one file
#include <objbase.h>
#include <wincodec.h>

#include <cstring>
#include <new>

#include "image/dib_layout.h"
#include "image/over_white.h"
#include "image/picture_codec.h"

namespace {

// Holds one COM reference and releases it.
template <class T>
struct Com {
    T* p = nullptr;
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() {
        if (p != nullptr)
            p->Release();
    }
    T** put() { return &p; }
    T* operator->() const { return p; }
};

// COM on this thread for the lifetime of the object, where it was not yet.
struct ComScope {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ComScope() = default;
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
};

bool make_factory(Com<IWICImagingFactory>& factory) {
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory.put())));
}

bool is_sixteen_bit(const WICPixelFormatGUID& f) {
    return IsEqualGUID(f, GUID_WICPixelFormat16bppGray) ||
           IsEqualGUID(f, GUID_WICPixelFormat48bppRGB) ||
           IsEqualGUID(f, GUID_WICPixelFormat48bppBGR) ||
           IsEqualGUID(f, GUID_WICPixelFormat64bppRGBA) ||
           IsEqualGUID(f, GUID_WICPixelFormat64bppBGRA);
}

// Decodes the first frame of a `container` file. The frame is converted to
// RGBA, 16 bits a sample for 16-bit sources (whose high bytes are kept) and 8
// otherwise, and copied out in bands of rows, so that memory grows with the
// rows; alpha goes over white.
bool decode(const GUID& container, const uint8_t* file, size_t size, DecodedPicture& picture) {
    if (size > UINT32_MAX)
        return false;
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    if (!make_factory(factory) || FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(file), static_cast<DWORD>(size))) ||
        FAILED(factory->CreateDecoder(container, nullptr, decoder.put())) ||
        FAILED(decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.put())))
        return false;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format;
    if (FAILED(frame->GetSize(&width, &height)) || !dib_layout::store_fits(width, height) ||
        FAILED(frame->GetPixelFormat(&format)))
        return false;
    if (IsEqualGUID(format, GUID_WICPixelFormat32bppCMYK) ||
        IsEqualGUID(format, GUID_WICPixelFormat64bppCMYK))
        return false;
    const bool wide = is_sixteen_bit(format);
    Com<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(
            frame.p, wide ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat32bppRGBA,
            WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return false;

    const size_t sample = wide ? 2 : 1;
    const size_t stride = 4 * sample * width;
    constexpr UINT band_rows = 64;
    std::vector<uint8_t> band(stride * (height < band_rows ? height : band_rows));
    picture.width = static_cast<int32_t>(width);
    picture.height = static_cast<int32_t>(height);
    picture.rgb.clear();
    for (UINT y = 0; y < height; y += band_rows) {
        const UINT rows = height - y < band_rows ? height - y : band_rows;
        const WICRect rect = {0, static_cast<INT>(y), static_cast<INT>(width),
                              static_cast<INT>(rows)};
        if (FAILED(converter->CopyPixels(&rect, static_cast<UINT>(stride),
                                         static_cast<UINT>(stride * rows), band.data())))
            return false;
        const size_t at = picture.rgb.size();
        picture.rgb.resize(at + size_t{3} * width * rows);
        uint8_t* out = picture.rgb.data() + at;
        // 16-bit samples are little-endian: the high byte is the second.
        const uint8_t* in = band.data() + (sample - 1);
        for (size_t i = 0; i < size_t{width} * rows; ++i, in += 4 * sample, out += 3)
            for (int c = 0; c < 3; ++c)
                out[c] = over_white(in[c * sample], in[3 * sample]);
    }
    return true;
}

}  // namespace

bool decode_png(const uint8_t* file, size_t size, DecodedPicture& picture) {
    try {
        return decode(GUID_ContainerFormatPng, file, size, picture);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool decode_jpeg(const uint8_t* file, size_t size, DecodedPicture& picture) {
    try {
        return decode(GUID_ContainerFormatJpeg, file, size, picture);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool encode_palette_png(int32_t width, int32_t height, const uint8_t* palette, int colors,
                        const uint8_t* indices, std::vector<uint8_t>& png) {
    if (width <= 0 || height <= 0 || colors < 1 || colors > 256 ||
        !dib_layout::store_fits(width, height))
        return false;
    const size_t pixels = size_t(width) * size_t(height);
    for (size_t i = 0; i < pixels; ++i)
        if (indices[i] >= colors)
            return false;
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IStream> memory;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    Com<IWICPalette> table;
    if (!make_factory(factory) || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, memory.put())) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(memory.p, WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), options.put())) ||
        FAILED(frame->Initialize(options.p)) ||
        FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))))
        return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat8bppIndexed;
    if (FAILED(frame->SetPixelFormat(&format)) ||
        !IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed))
        return false;
    // The palette goes in before the pixels; every entry opaque.
    WICColor entries[256];
    for (int i = 0; i < colors; ++i)
        entries[i] = 0xFF000000u | uint32_t{palette[3 * i]} << 16 |
                     uint32_t{palette[3 * i + 1]} << 8 | palette[3 * i + 2];
    if (FAILED(factory->CreatePalette(table.put())) ||
        FAILED(table->InitializeCustom(entries, static_cast<UINT>(colors))) ||
        FAILED(frame->SetPalette(table.p)) ||
        FAILED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width),
                                  static_cast<UINT>(pixels), const_cast<BYTE*>(indices))) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return false;
    HGLOBAL block = nullptr;
    if (FAILED(GetHGlobalFromStream(memory.p, &block)))
        return false;
    STATSTG stat{};
    if (FAILED(memory->Stat(&stat, STATFLAG_NONAME)))
        return false;
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    if (bytes == nullptr)
        return false;
    try {
        png.assign(bytes, bytes + stat.cbSize.QuadPart);
    } catch (const std::bad_alloc&) {
        GlobalUnlock(block);
        return false;
    }
    GlobalUnlock(block);
    return true;
}
