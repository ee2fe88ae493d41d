// WebP, TIFF and HEIF files made with Debian's tools decode to the pixels of
// the formats' reference decoders (the source itself for lossless files), and
// embedded colour profiles and colour descriptions are honoured: converted as
// lcms2 converts them, or, where they describe sRGB or cannot be read, left
// as they are, byte for byte. Linux only: the tools are not there on Windows.
#include <lcms2.h>

#include "tests/image/tool_files.h"

namespace {

using namespace tool_files;
using PictureKinds = ToolFiles;

// Each file is made by the shell command (names relative to the scratch
// folder; source.png and alpha.png are there) as f.<kind>, and its pixels
// are those of `reference`, a file the bitmap and PNG loaders read, or one
// that the second command makes.
TEST_F(PictureKinds, DecodeToTheReferenceDecodersPixels) {
    run("convert source.png -type TrueColor -compress None plain.tif");
    run("convert source.png -colorspace Gray grey.png && convert source.png -colors 50 "
        "palette.png");
    run("convert source.png -monochrome bilevel.png");
    const struct {
        const char* what;
        const char* make;
        const char* reference;
    } cases[] = {
        {"WebP lossless", "cwebp -lossless source.png -o f.webp", "source.png"},
        {"WebP lossy", "cwebp -q 80 source.png -o f.webp && dwebp f.webp -bmp -o ref.bmp",
         "ref.bmp"},
        {"WebP lossless with alpha", "cwebp -lossless -exact alpha.png -o f.webp", "alpha.png"},
        {"WebP animation: its first frame", "img2webp -lossless source.png palette.png -o f.webp",
         "source.png"},
        {"TIFF uncompressed", "tiffcp -c none plain.tif f.tif", "source.png"},
        {"TIFF PackBits", "tiffcp -c packbits plain.tif f.tif", "source.png"},
        {"TIFF LZW", "tiffcp -c lzw plain.tif f.tif", "source.png"},
        {"TIFF Deflate", "tiffcp -c zip plain.tif f.tif", "source.png"},
        {"TIFF JPEG, YCbCr",
         "tiffcp -c jpeg plain.tif f.tif && tiff2rgba -c none f.tif ref.tif && "
         "convert ref.tif -alpha off ref.bmp",
         "ref.bmp"},
        {"TIFF tiles", "tiffcp -c lzw -t -w 16 -l 16 plain.tif f.tif", "source.png"},
        {"TIFF planes", "tiffcp -c zip -p separate plain.tif f.tif", "source.png"},
        {"TIFF tiles in planes", "tiffcp -p separate -t -w 32 -l 16 plain.tif f.tif", "source.png"},
        {"TIFF 16 bits", "convert source.png -depth 16 -compress Zip f.tif", "source.png"},
        {"TIFF grey", "convert grey.png -compress LZW f.tif", "grey.png"},
        {"TIFF palette", "convert palette.png -type Palette f.tif", "palette.png"},
        {"TIFF bilevel, CCITT G4", "convert bilevel.png -compress Group4 f.tif", "bilevel.png"},
        {"TIFF with alpha", "convert alpha.png -compress LZW f.tif", "alpha.png"},
        {"TIFF of two pages: the first", "tiffcp -c lzw plain.tif grey.png.tif f.tif",
         "source.png"},
        {"HEIC", "heif-enc -q 80 source.png -o f.heic && heif-convert f.heic ref.png", "ref.png"},
        {"HEIC with alpha", "heif-enc -q 80 alpha.png -o f.heic && heif-convert f.heic ref.png",
         "ref.png"},
        {"AVIF", "heif-enc -A -q 80 source.png -o f.avif && heif-convert f.avif ref.png",
         "ref.png"},
    };
    run("convert grey.png grey.png.tif");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(path("f.webp")), fs::remove_all(path("f.tif"));
        fs::remove_all(path("f.heic")), fs::remove_all(path("f.avif"));
        run(c.make);
        std::string made;
        for (const char* kind : {"f.webp", "f.tif", "f.heic", "f.avif"})
            if (fs::exists(path(kind)))
                made = path(kind);
        dib24 decoded, expected;
        ASSERT_TRUE(load_path(decoded, made));
        ASSERT_TRUE(load_path(expected, path(c.reference)));
        ASSERT_EQ(decoded.width, expected.width);
        ASSERT_EQ(decoded.height, expected.height);
        EXPECT_EQ(rgb_of(decoded), rgb_of(expected));
    }
}

// lcms2's conversion of `rgb` (grey: from the red samples) from `profile` to
// sRGB, perceptual, as the test's own reference.
Bytes converted(const Bytes& rgb, cmsHPROFILE profile, bool grey) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const cmsUInt32Number input =
        grey ? COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2) : TYPE_RGB_8;
    cmsHTRANSFORM t = cmsCreateTransform(profile, input, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    Bytes out(rgb.size());
    cmsDoTransform(t, rgb.data(), out.data(), static_cast<cmsUInt32Number>(rgb.size() / 3));
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    return out;
}

// The largest difference of two samples.
int farthest(const Bytes& a, const Bytes& b) {
    int most = a.size() == b.size() ? 0 : 256;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        most = std::max(most, std::abs(a[i] - b[i]));
    return most;
}

cmsHPROFILE rgb_profile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(curve);
    return profile;
}

void save(cmsHPROFILE profile, const std::string& file) {
    ASSERT_TRUE(cmsSaveProfileToFile(profile, file.c_str()));
}

// Profiles in JPEG (APP2), PNG (iCCP), WebP (ICCP), TIFF (tag 34675) and
// HEIC (colr) files, and AVIF colour descriptions (nclx): a wide-gamut one is
// converted to sRGB, within one level of lcms2's own conversion (tificc's for
// TIFF); sRGB, by any name or version, and a damaged profile leave the bytes
// of the file without a profile.
TEST_F(PictureKinds, ColourProfilesAreHonoured) {
    const double srgb_curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    const cmsCIExyYTRIPLE p3 = {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
    const cmsCIExyYTRIPLE adobe = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
    const cmsCIExyYTRIPLE bt709 = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsHPROFILE display_p3 = rgb_profile(p3, cmsBuildParametricToneCurve(nullptr, 4, srgb_curve));
    cmsHPROFILE adobe_rgb = rgb_profile(adobe, cmsBuildGamma(nullptr, 563 / 256.0));
    save(display_p3, path("p3.icc"));
    save(adobe_rgb, path("adobe.icc"));
    // sRGB as lcms2 makes it (version 4, a parametric curve), and a version 2
    // profile of another name with the curve as a table of 1024 entries.
    cmsHPROFILE srgb4 = cmsCreate_sRGBProfile();
    save(srgb4, path("srgb4.icc"));
    std::vector<cmsUInt16Number> table(1024);
    cmsToneCurve* exact = cmsBuildParametricToneCurve(nullptr, 4, srgb_curve);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = cmsEvalToneCurve16(exact, static_cast<cmsUInt16Number>(i * 65535 / 1023));
    cmsFreeToneCurve(exact);
    cmsHPROFILE srgb2 =
        rgb_profile(bt709, cmsBuildTabulatedToneCurve16(
                               nullptr, static_cast<cmsUInt32Number>(table.size()), table.data()));
    cmsSetProfileVersion(srgb2, 2.1);
    cmsMLU* name = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(name, "en", "US", "sRGB IEC61966-2.1");
    cmsWriteTag(srgb2, cmsSigProfileDescriptionTag, name);
    cmsMLUfree(name);
    save(srgb2, path("srgb2.icc"));
    Bytes damaged = read_bytes(path("p3.icc"));
    damaged.resize(200);
    write_bytes(path("damaged.icc"), damaged);

    run("convert source.png -type TrueColor -compress LZW plain.tif && cwebp -lossless "
        "source.png -o plain.webp && cjpeg -quality 90 source.bmp > plain.jpg && "
        "cp source.png plain.png && heif-enc -q 80 source.png -o plain.heic");
    const struct {
        const char* kind;
        const char* embed;  // $p is the profile, $f the file
    } kinds[] = {
        {"jpg", "exiftool -q -overwrite_original '-icc_profile<=$p' $f"},
        {"png", "exiftool -q -overwrite_original '-icc_profile<=$p' $f"},
        {"webp", "exiftool -q -overwrite_original '-icc_profile<=$p' $f"},
        {"tif", "exiftool -q -overwrite_original '-icc_profile<=$p' $f"},
        {"heic",
         "cp source.png tagged.png && exiftool -q -overwrite_original "
         "'-icc_profile<=$p' tagged.png && heif-enc -q 80 tagged.png -o $f"},
    };
    const struct {
        const char* name;
        cmsHPROFILE converts;  // null: the bytes stay
    } profiles[] = {{"p3", display_p3},
                    {"adobe", adobe_rgb},
                    {"srgb4", nullptr},
                    {"srgb2", nullptr},
                    {"damaged", nullptr}};
    for (const auto& k : kinds) {
        dib24 plain;
        ASSERT_TRUE(load_path(plain, path("plain.") + k.kind));
        for (const auto& p : profiles) {
            SCOPED_TRACE(std::string(k.kind) + " with " + p.name + ".icc");
            const std::string file = std::string("tagged.") + k.kind;
            std::string embed = std::string("cp plain.") + k.kind + " " + file + " && " + k.embed;
            embed.replace(embed.find("$p"), 2, std::string(p.name) + ".icc");
            while (embed.find("$f") != std::string::npos)
                embed.replace(embed.find("$f"), 2, file);
            run(embed);
            dib24 tagged;
            ASSERT_TRUE(load_path(tagged, path(file)));
            if (p.converts == nullptr) {
                EXPECT_EQ(rgb_of(tagged), rgb_of(plain));
                continue;
            }
            EXPECT_LE(farthest(rgb_of(tagged), converted(rgb_of(plain), p.converts, false)), 1);
            EXPECT_GE(farthest(rgb_of(tagged), rgb_of(plain)), 10) << "not converted";
            if (std::string(k.kind) == "tif") {
                run("tificc -t 0 tagged.tif tificc.tif");
                dib24 reference;
                ASSERT_TRUE(load_path(reference, path("tificc.tif")));
                EXPECT_LE(farthest(rgb_of(tagged), rgb_of(reference)), 1);
            }
        }
    }

    // A grey profile converts grey pixels, and is not used on colour ones.
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 1.8);
    cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), gamma);
    cmsFreeToneCurve(gamma);
    save(grey, path("grey.icc"));
    run("cjpeg -grayscale source.bmp > plain_grey.jpg && cp plain_grey.jpg grey.jpg && "
        "exiftool -q -overwrite_original '-icc_profile<=grey.icc' grey.jpg && "
        "cp plain.jpg colour.jpg && exiftool -q -overwrite_original '-icc_profile<=grey.icc' "
        "colour.jpg");
    dib24 plain_grey, tagged_grey, plain_colour, tagged_colour;
    ASSERT_TRUE(load_path(plain_grey, path("plain_grey.jpg")));
    ASSERT_TRUE(load_path(tagged_grey, path("grey.jpg")));
    EXPECT_LE(farthest(rgb_of(tagged_grey), converted(rgb_of(plain_grey), grey, true)), 1);
    EXPECT_GE(farthest(rgb_of(tagged_grey), rgb_of(plain_grey)), 10);
    ASSERT_TRUE(load_path(plain_colour, path("plain.jpg")));
    ASSERT_TRUE(load_path(tagged_colour, path("colour.jpg")));
    EXPECT_EQ(rgb_of(tagged_colour), rgb_of(plain_colour));

    // AVIF colour descriptions: Display P3 is converted, BT.709 with sRGB's
    // curve is sRGB. (This heif-enc writes "unspecified" whatever it is told:
    // the description after "nclx" is set here.)
    run("heif-enc -A -q 80 source.png -o described.avif");
    const Bytes avif = read_bytes(path("described.avif"));
    const auto described = [&](uint8_t primaries, uint8_t transfer, const char* file) {
        Bytes f = avif;
        const size_t at = std::string(f.begin(), f.end()).find("nclx") + 4;
        f.at(at + 1) = primaries;
        f.at(at + 3) = transfer;
        write_bytes(path(file), f);
    };
    described(1, 13, "srgb.avif");
    described(12, 13, "p3.avif");
    run("heif-convert srgb.avif srgb_avif.png");
    dib24 described_srgb, described_p3, decoded;
    ASSERT_TRUE(load_path(described_srgb, path("srgb.avif")));
    ASSERT_TRUE(load_path(described_p3, path("p3.avif")));
    ASSERT_TRUE(load_path(decoded, path("srgb_avif.png")));
    EXPECT_EQ(rgb_of(described_srgb), rgb_of(decoded));
    EXPECT_LE(farthest(rgb_of(described_p3), converted(rgb_of(described_srgb), display_p3, false)),
              1);

    for (cmsHPROFILE profile : {display_p3, adobe_rgb, srgb4, srgb2, grey})
        cmsCloseProfile(profile);
}

}  // namespace
