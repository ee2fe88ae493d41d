// Picture files on the Windows Imaging Component, and their colour converted
// to sRGB by it, by the rules of image/picture_codec.h. WIC decodes PNG, JPEG
// and TIFF files on every Windows; WebP, HEIC and AVIF where the system's
// codecs for them are installed.
#include "platform/win32.h"

#include <initguid.h>  // the WIC GUIDs are defined here, in this one file
#include <objbase.h>
#include <wincodec.h>

#include <cstring>
#include <new>
#include <vector>

#include "image/dib_layout.h"
#include "image/heif_boxes.h"
#include "image/orientation.h"
#include "image/picture_codec.h"
#include "image/pixel_rows.h"

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

// Containers of codecs that later Windows versions added (not in every SDK's
// headers).
const GUID container_webp = {
    0xe094b0e2, 0x67f2, 0x45b3, {0xb0, 0xea, 0x11, 0x53, 0x37, 0xca, 0x7c, 0xf3}};
const GUID container_heif = {
    0xe1e62521, 0x6787, 0x405b, {0xa3, 0x39, 0x50, 0x07, 0x15, 0xb5, 0x76, 0x3f}};

// Why a WIC call failed: a codec that is not installed (the WebP, HEIF, HEVC
// or AV1 extensions), memory, or the file.
LoadError reason(HRESULT result) {
    switch (result) {
        case WINCODEC_ERR_COMPONENTNOTFOUND:
            return LoadError::no_decoder;
        case E_OUTOFMEMORY:
            return LoadError::too_large;
        default:
            return LoadError::damaged;
    }
}

// The samples of formats with 16 bits a sample, which are read as they are
// and cut to their high bytes here (red, green, blue, alpha offsets; -1 for
// none; grey has one sample for all three).
struct WideFormat {
    const GUID* format;
    int samples;
    int red, green, blue, alpha;
};
const WideFormat wide_formats[] = {
    {&GUID_WICPixelFormat16bppGray, 1, 0, 0, 0, -1}, {&GUID_WICPixelFormat48bppRGB, 3, 0, 1, 2, -1},
    {&GUID_WICPixelFormat48bppBGR, 3, 2, 1, 0, -1},  {&GUID_WICPixelFormat64bppRGBA, 4, 0, 1, 2, 3},
    {&GUID_WICPixelFormat64bppBGRA, 4, 2, 1, 0, 3},
};

const WideFormat* wide_format(const WICPixelFormatGUID& f) {
    for (const WideFormat& w : wide_formats)
        if (IsEqualGUID(f, *w.format))
            return &w;
    return nullptr;
}

// CMYK and other ink separations, which are not read (as on other systems).
bool separations(const WICPixelFormatGUID& f) {
    static const GUID* const inks[] = {
        &GUID_WICPixelFormat32bppCMYK,
        &GUID_WICPixelFormat64bppCMYK,
        &GUID_WICPixelFormat40bppCMYKAlpha,
        &GUID_WICPixelFormat80bppCMYKAlpha,
        &GUID_WICPixelFormat24bpp3Channels,
        &GUID_WICPixelFormat32bpp4Channels,
        &GUID_WICPixelFormat40bpp5Channels,
        &GUID_WICPixelFormat48bpp6Channels,
        &GUID_WICPixelFormat56bpp7Channels,
        &GUID_WICPixelFormat64bpp8Channels,
        &GUID_WICPixelFormat48bpp3Channels,
        &GUID_WICPixelFormat64bpp4Channels,
        &GUID_WICPixelFormat80bpp5Channels,
        &GUID_WICPixelFormat96bpp6Channels,
        &GUID_WICPixelFormat112bpp7Channels,
        &GUID_WICPixelFormat128bpp8Channels,
        &GUID_WICPixelFormat32bpp3ChannelsAlpha,
        &GUID_WICPixelFormat40bpp4ChannelsAlpha,
        &GUID_WICPixelFormat48bpp5ChannelsAlpha,
        &GUID_WICPixelFormat56bpp6ChannelsAlpha,
        &GUID_WICPixelFormat64bpp7ChannelsAlpha,
        &GUID_WICPixelFormat72bpp8ChannelsAlpha,
        &GUID_WICPixelFormat64bpp3ChannelsAlpha,
        &GUID_WICPixelFormat80bpp4ChannelsAlpha,
        &GUID_WICPixelFormat96bpp5ChannelsAlpha,
        &GUID_WICPixelFormat112bpp6ChannelsAlpha,
        &GUID_WICPixelFormat128bpp7ChannelsAlpha,
        &GUID_WICPixelFormat144bpp8ChannelsAlpha,
    };
    for (const GUID* ink : inks)
        if (IsEqualGUID(f, *ink))
            return true;
    return false;
}

// Palette formats: bits a pixel, 0 for others.
int index_bits(const WICPixelFormatGUID& f) {
    if (IsEqualGUID(f, GUID_WICPixelFormat1bppIndexed))
        return 1;
    if (IsEqualGUID(f, GUID_WICPixelFormat2bppIndexed))
        return 2;
    if (IsEqualGUID(f, GUID_WICPixelFormat4bppIndexed))
        return 4;
    if (IsEqualGUID(f, GUID_WICPixelFormat8bppIndexed))
        return 8;
    return 0;
}

// The first ICC profile among the frame's colour contexts (Exif colour
// spaces say sRGB or nothing more).
void read_profile(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, ColourSpace& colour) {
    UINT count = 0;
    if (FAILED(frame->GetColorContexts(0, nullptr, &count)) || count == 0)
        return;
    std::vector<IWICColorContext*> contexts(count, nullptr);
    for (IWICColorContext*& c : contexts)
        factory->CreateColorContext(&c);
    UINT got = 0;
    if (SUCCEEDED(frame->GetColorContexts(count, contexts.data(), &got)))
        for (UINT i = 0; i < got && colour.icc.empty(); ++i) {
            WICColorContextType type;
            UINT size = 0;
            if (contexts[i] == nullptr || FAILED(contexts[i]->GetType(&type)) ||
                type != WICColorContextProfile ||
                FAILED(contexts[i]->GetProfileBytes(0, nullptr, &size)) || size == 0)
                continue;
            colour.icc.resize(size);
            if (FAILED(contexts[i]->GetProfileBytes(size, colour.icc.data(), &size)))
                colour.icc.clear();
        }
    for (IWICColorContext* c : contexts)
        if (c != nullptr)
            c->Release();
}

// Decodes the first frame of a `container` file, copied out in bands of rows
// so that memory grows with the rows. Palette pixels are looked up here (an
// index beyond the palette is damage), 16-bit samples cut to their high byte
// here, everything else converted to 8-bit RGBA by WIC; alpha goes over white.
LoadError decode(const GUID& container, const uint8_t* file, size_t size, DecodedPicture& picture) {
    if (size > UINT32_MAX)
        return LoadError::too_large;
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    if (!make_factory(factory) || FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(file), static_cast<DWORD>(size))))
        return LoadError::too_large;
    HRESULT result = factory->CreateDecoder(container, nullptr, decoder.put());
    if (SUCCEEDED(result))
        result = decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(result))
        result = decoder->GetFrame(0, frame.put());
    if (FAILED(result))
        return reason(result);
    UINT width = 0, height = 0;
    WICPixelFormatGUID format;
    if (FAILED(frame->GetSize(&width, &height)) || FAILED(frame->GetPixelFormat(&format)))
        return LoadError::damaged;
    if (const LoadError refused = size_refusal(width, height); refused != LoadError::none)
        return refused;
    if (separations(format))
        return LoadError::not_a_picture;
    read_profile(factory.p, frame.p, picture.colour);

    const WideFormat* wide = wide_format(format);
    const int bits = index_bits(format);
    uint8_t palette[256][4] = {};  // red, green, blue, alpha
    UINT palette_size = 0;
    IWICBitmapSource* source = frame.p;
    Com<IWICFormatConverter> converter;
    size_t stride;
    if (bits != 0) {
        Com<IWICPalette> table;
        WICColor colors[256];
        if (FAILED(factory->CreatePalette(table.put())) || FAILED(frame->CopyPalette(table.p)) ||
            FAILED(table->GetColors(256, colors, &palette_size)))
            return LoadError::damaged;
        for (UINT i = 0; i < palette_size; ++i)
            for (int c = 0; c < 4; ++c)
                palette[i][c] = static_cast<uint8_t>(colors[i] >> (c == 3 ? 24 : 16 - 8 * c));
        stride = (size_t{width} * bits + 7) / 8;
    } else if (wide != nullptr) {
        stride = size_t{2} * wide->samples * width;
    } else {
        result = factory->CreateFormatConverter(converter.put());
        if (SUCCEEDED(result))
            result = converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA,
                                           WICBitmapDitherTypeNone, nullptr, 0.0,
                                           WICBitmapPaletteTypeCustom);
        if (FAILED(result))
            return reason(result);
        source = converter.p;
        stride = size_t{4} * width;
    }
    stride = (stride + 3) / 4 * 4;

    constexpr UINT band_rows = 64;
    std::vector<uint8_t> band(stride * (height < band_rows ? height : band_rows));
    if (!picture.start(width, height))
        return LoadError::too_large;
    for (UINT y = 0; y < height; y += band_rows) {
        const UINT rows = height - y < band_rows ? height - y : band_rows;
        const WICRect rect = {0, static_cast<INT>(y), static_cast<INT>(width),
                              static_cast<INT>(rows)};
        result = source->CopyPixels(&rect, static_cast<UINT>(stride),
                                    static_cast<UINT>(stride * rows), band.data());
        if (FAILED(result))
            return reason(result);
        for (UINT r = 0; r < rows; ++r) {
            const uint8_t* row = band.data() + r * stride;
            uint8_t* out = picture.row(y + r);
            if (bits != 0) {
                if (!row_indices_below(row, width, bits, palette_size))
                    return LoadError::damaged;
                for (UINT x = 0; x < width; ++x) {
                    const uint8_t* entry = palette[index_at(row, x, bits)];
                    for (int c = 0; c < 3; ++c)
                        out[3 * x + 2 - c] = over_white(entry[c], entry[3]);
                }
            } else if (wide != nullptr) {
                for (UINT x = 0; x < width; ++x) {
                    // Little-endian samples: the high byte is the second.
                    const uint8_t* p = row + size_t{2} * wide->samples * x + 1;
                    const unsigned a = wide->alpha < 0 ? 255 : p[2 * wide->alpha];
                    out[3 * x + 0] = over_white(p[2 * wide->blue], a);
                    out[3 * x + 1] = over_white(p[2 * wide->green], a);
                    out[3 * x + 2] = over_white(p[2 * wide->red], a);
                }
            } else {
                rgba_over_white(row, width, out);  // blue, green, red, alpha
            }
        }
        picture.rows_done(static_cast<int32_t>(y + rows));
    }
    return LoadError::none;
}

LoadError decode_guarded(const GUID& container, const uint8_t* file, size_t size,
                         DecodedPicture& picture) {
    try {
        return decode(container, file, size, picture);
    } catch (const std::bad_alloc&) {
        return LoadError::too_large;
    }
}

}  // namespace

LoadError decode_png(const uint8_t* file, size_t size, DecodedPicture& picture) {
    return decode_guarded(GUID_ContainerFormatPng, file, size, picture);
}

LoadError decode_jpeg(const uint8_t* file, size_t size, DecodedPicture& picture) {
    return decode_guarded(GUID_ContainerFormatJpeg, file, size, picture);
}

LoadError decode_webp(const uint8_t* file, size_t size, DecodedPicture& picture) {
    return decode_guarded(container_webp, file, size, picture);
}

LoadError decode_tiff(const uint8_t* file, size_t size, DecodedPicture& picture) {
    return decode_guarded(GUID_ContainerFormatTiff, file, size, picture);
}

LoadError decode_heif(const uint8_t* file, size_t size, DecodedPicture& picture) {
    // HEIC and AVIF alike. The decoder hands over the coded picture; it is
    // turned here as the file's rotation and mirroring say, so its rows are
    // final as decoded only when it is not turned.
    const int orientation = heif_primary_orientation(file, size);
    if (orientation != 1)
        picture.watch = nullptr;
    const LoadError error = decode_guarded(container_heif, file, size, picture);
    if (error == LoadError::none && !apply_orientation(picture, orientation))
        return LoadError::too_large;
    return error;
}

bool convert_to_srgb(DecodedPicture& picture, bool grey) {
    // Colour descriptions by code points (HEIF's nclx) have no profile to
    // hand to WIC: their pixels stay as they are.
    const std::vector<uint8_t>& icc = picture.colour.icc;
    if (icc.empty() || icc.size() > UINT32_MAX)
        return false;
    try {
        ComScope com;
        Com<IWICImagingFactory> factory;
        Com<IWICColorContext> source, target;
        Com<IWICBitmap> bitmap;
        Com<IWICColorTransform> transform;
        const UINT width = static_cast<UINT>(picture.width());
        const UINT height = static_cast<UINT>(picture.height());
        // Blue, green, red rows (grey ones: their first samples), as WIC's
        // transforms take them; whether the store's rows come bottom-up or
        // top-down makes no difference to a colour conversion.
        const uint8_t* store = picture.store.bits;
        const size_t store_stride = static_cast<size_t>(picture.store.stride);
        std::vector<uint8_t> grey_pixels;
        if (grey) {
            grey_pixels.resize(size_t{width} * height);
            for (UINT y = 0; y < height; ++y)
                for (UINT x = 0; x < width; ++x)
                    grey_pixels[size_t{width} * y + x] = store[store_stride * y + 3 * x];
        }
        const UINT stride = grey ? width : static_cast<UINT>(store_stride);
        const UINT bytes = static_cast<UINT>(grey ? grey_pixels.size() : store_stride * height);
        if (!make_factory(factory) || FAILED(factory->CreateColorContext(source.put())) ||
            FAILED(source->InitializeFromMemory(icc.data(), static_cast<UINT>(icc.size()))) ||
            FAILED(factory->CreateColorContext(target.put())) ||
            FAILED(target->InitializeFromExifColorSpace(1)) ||  // sRGB
            FAILED(factory->CreateBitmapFromMemory(
                width, height, grey ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR,
                stride, bytes, grey ? grey_pixels.data() : picture.store.bits, bitmap.put())) ||
            FAILED(factory->CreateColorTransformer(transform.put())) ||
            FAILED(
                transform->Initialize(bitmap.p, source.p, target.p, GUID_WICPixelFormat24bppBGR)))
            return false;
        // The bitmap holds its own copy of the pixels: the result goes
        // straight back into the store.
        const WICRect all = {0, 0, static_cast<INT>(width), static_cast<INT>(height)};
        return SUCCEEDED(transform->CopyPixels(&all, static_cast<UINT>(store_stride),
                                               static_cast<UINT>(store_stride * height),
                                               picture.store.bits));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool encode_palette_png(int32_t width, int32_t height, const uint8_t* palette, int colors,
                        const uint8_t* indices, const ByteSink& out) {
    if (width <= 0 || height <= 0 || colors < 1 || colors > 256 ||
        !dib_layout::store_fits(width, height))
        return false;
    if (!row_indices_below(indices, int64_t{width} * height, 8, static_cast<uint32_t>(colors)))
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
    // As few bits a pixel as the palette needs, packed from the high bit down.
    const int depth = palette_png_depth(colors);
    const WICPixelFormatGUID wanted = depth == 1   ? GUID_WICPixelFormat1bppIndexed
                                      : depth == 2 ? GUID_WICPixelFormat2bppIndexed
                                      : depth == 4 ? GUID_WICPixelFormat4bppIndexed
                                                   : GUID_WICPixelFormat8bppIndexed;
    WICPixelFormatGUID format = wanted;
    if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, wanted))
        return false;
    const size_t stride = (size_t(width) * depth + 7) / 8;
    std::vector<uint8_t> packed;
    if (depth < 8) {
        packed.assign(stride * size_t(height), 0);
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* from = indices + size_t(y) * size_t(width);
            uint8_t* to = packed.data() + size_t(y) * stride;
            for (size_t x = 0; x < size_t(width); ++x)
                to[x * depth / 8] |= static_cast<uint8_t>(from[x] << (8 - depth - x * depth % 8));
        }
    }
    const BYTE* rows = depth < 8 ? packed.data() : indices;
    // The palette goes in before the pixels; every entry opaque.
    WICColor entries[256];
    for (int i = 0; i < colors; ++i)
        entries[i] = 0xFF000000u | uint32_t{palette[3 * i]} << 16 |
                     uint32_t{palette[3 * i + 1]} << 8 | palette[3 * i + 2];
    if (FAILED(factory->CreatePalette(table.put())) ||
        FAILED(table->InitializeCustom(entries, static_cast<UINT>(colors))) ||
        FAILED(frame->SetPalette(table.p)) ||
        FAILED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(stride),
                                  static_cast<UINT>(stride * size_t(height)),
                                  const_cast<BYTE*>(rows))) ||
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
    bool taken = false;
    try {
        taken = out(bytes, static_cast<size_t>(stat.cbSize.QuadPart));
    } catch (const std::bad_alloc&) {
        taken = false;
    }
    GlobalUnlock(block);
    return taken;
}

// The encoder takes the pixels at once: the rows are kept until the last one
// and encoded by end(), on the thread that calls it.
struct PalettePngEncoder::State {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> palette;
    std::vector<uint8_t> indices;
    ByteSink out;
    bool failed = false;
};

PalettePngEncoder::PalettePngEncoder() = default;
PalettePngEncoder::~PalettePngEncoder() = default;

bool PalettePngEncoder::begin(int32_t width, int32_t height, const uint8_t* palette, int colors,
                              ByteSink out) {
    if (state_ != nullptr || width <= 0 || height <= 0 || colors < 1 || colors > 256 ||
        !dib_layout::store_fits(width, height))
        return false;
    try {
        state_ = std::make_unique<State>();
        state_->width = width;
        state_->height = height;
        state_->palette.assign(palette, palette + 3 * size_t(colors));
        state_->indices.reserve(size_t(width) * size_t(height));
    } catch (const std::bad_alloc&) {
        state_.reset();
        return false;
    }
    state_->out = std::move(out);
    return true;
}

bool PalettePngEncoder::add_rows(const uint8_t* rows, int32_t count) {
    if (state_ == nullptr || state_->failed)
        return false;
    State& s = *state_;
    const size_t bytes = size_t(count) * size_t(s.width);
    s.failed = count < 0 || bytes > size_t(s.width) * size_t(s.height) - s.indices.size() ||
               !row_indices_below(rows, static_cast<int64_t>(bytes), 8,
                                  static_cast<uint32_t>(s.palette.size() / 3));
    if (!s.failed)
        s.indices.insert(s.indices.end(), rows, rows + bytes);
    return !s.failed;
}

bool PalettePngEncoder::end() {
    if (state_ == nullptr || state_->failed ||
        state_->indices.size() != size_t(state_->width) * size_t(state_->height))
        return false;
    State& s = *state_;
    s.failed = !encode_palette_png(s.width, s.height, s.palette.data(),
                                   static_cast<int>(s.palette.size() / 3), s.indices.data(), s.out);
    return !s.failed;
}
