// make-photo: writes a deterministic landscape-style JPEG for demo cards, test media and benchmarks.
//
//   make-photo --out FILE [--width W] [--height H] [--quality Q] [--seed S] [--grain G] [--exif]
//
// The picture is a sky gradient with a sun and a few layers of rolling hills, all drawn from the
// seed, with film-like grain on top. The grain is what gives the file a camera-like size: a clean
// gradient compresses to almost nothing, while a 3264x2448 picture with the default grain at
// quality 90 comes out at a couple of megabytes. Without --exif the file is a JFIF file
// (FF D8 FF E0); with --exif it starts with an Exif block (FF D8 FF E1) that carries a small
// preview of the picture, as camera files do.
//
// The same arguments always give the same bytes: the pixels come from integer noise and a
// polynomial sine (no libm transcendental functions, whose last bits can differ between CPUs), and
// the encoder uses its fixed default tables.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <jpeglib.h>

namespace {

struct Options {
    int width = 1600;
    int height = 1200;
    int quality = 90;
    std::uint64_t seed = 1;
    int grain = 14;
    bool exif = false;
    std::string out;
};

// splitmix64: small, fast and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Range(double lo, double hi) { return lo + (hi - lo) * Unit(); }

private:
    std::uint64_t state_;
};

constexpr double kPi = 3.14159265358979323846;

// Sine from a fixed polynomial, so that the pixels do not depend on the C library's sin().
double Wave(double x) {
    x -= 2.0 * kPi * std::floor(x / (2.0 * kPi) + 0.5);  // now in [-pi, pi]
    if (x > kPi / 2) x = kPi - x;
    if (x < -kPi / 2) x = -kPi - x;                       // now in [-pi/2, pi/2]
    const double x2 = x * x;
    return x * (1.0 + x2 * (-1.0 / 6 + x2 * (1.0 / 120 + x2 * (-1.0 / 5040 + x2 * (1.0 / 362880)))));
}

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb a, double f) { return {a.r * f, a.g * f, a.b * f}; }

// Sky colours at the zenith and at the horizon, and the sun's colour: dawn, noon, dusk, haze.
struct Palette {
    Rgb zenith, horizon, sun;
};
constexpr std::array<Palette, 4> kPalettes{{
    {{70, 90, 170}, {250, 180, 150}, {255, 230, 190}},
    {{40, 110, 210}, {170, 210, 240}, {255, 255, 235}},
    {{50, 30, 90}, {250, 130, 60}, {255, 200, 120}},
    {{120, 140, 160}, {220, 225, 220}, {255, 250, 240}},
}};

struct Hill {
    double base;  // ridge height as a fraction of the picture height, from the top
    std::array<double, 3> amplitude, frequency, phase;
    Rgb color;
    double stripes;  // spatial frequency of the field rows drawn on the hill
};

struct Scene {
    Palette palette;
    double sunX, sunY, sunRadius;
    std::vector<Hill> hills;  // far to near
};

Scene MakeScene(Random& rng) {
    Scene s;
    s.palette = kPalettes[rng.Next() % kPalettes.size()];
    s.sunX = rng.Range(0.15, 0.85);
    s.sunY = rng.Range(0.15, 0.45);
    s.sunRadius = rng.Range(0.03, 0.07);
    const int layers = 3 + static_cast<int>(rng.Next() % 2);
    const Rgb nearColor{rng.Range(40, 90), rng.Range(90, 140), rng.Range(30, 70)};
    for (int i = 0; i < layers; ++i) {
        Hill h;
        const double depth = static_cast<double>(i) / (layers - 1);  // 0 far, 1 near
        h.base = 0.45 + 0.12 * i + rng.Range(-0.03, 0.03);
        for (int k = 0; k < 3; ++k) {
            h.amplitude[k] = rng.Range(0.01, 0.05) / (k + 1);
            h.frequency[k] = rng.Range(1.0, 4.0) * (k + 1);
            h.phase[k] = rng.Range(0.0, 2 * kPi);
        }
        // Far hills fade into the horizon colour (aerial perspective).
        h.color = Mix(s.palette.horizon, nearColor, 0.35 + 0.65 * depth);
        h.stripes = rng.Range(20, 60) * (1 + depth);
        s.hills.push_back(h);
    }
    return s;
}

double Ridge(const Hill& h, double x) {
    double y = h.base;
    for (int k = 0; k < 3; ++k) y -= h.amplitude[k] * Wave(2 * kPi * h.frequency[k] * x + h.phase[k]);
    return y;
}

std::uint8_t ToByte(double v) {
    if (v <= 0) return 0;
    if (v >= 255) return 255;
    return static_cast<std::uint8_t>(v + 0.5);
}

// Draws one picture row into `row` (width x RGB).
void DrawRow(const Scene& s, const std::vector<std::vector<double>>& ridges, int y, int width, int height,
             int grain, Random& noise, std::vector<std::uint8_t>& row) {
    const double fy = static_cast<double>(y) / height;
    const double aspect = static_cast<double>(width) / height;
    for (int x = 0; x < width; ++x) {
        const double fx = static_cast<double>(x) / width;
        Rgb c{};
        int layer = -1;
        for (int i = static_cast<int>(s.hills.size()) - 1; i >= 0; --i) {
            if (fy >= ridges[i][x]) {
                layer = i;
                break;
            }
        }
        if (layer < 0) {
            const double t = fy / 0.6;
            c = Mix(s.palette.zenith, s.palette.horizon, t > 1 ? 1 : t);
            const double dx = (fx - s.sunX) * aspect, dy = fy - s.sunY;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < s.sunRadius) {
                c = s.palette.sun;
            } else {
                const double glow = s.sunRadius / d;
                c = Mix(c, s.palette.sun, glow * glow * 0.8);
            }
        } else {
            const Hill& h = s.hills[layer];
            const double below = fy - ridges[layer][x];
            // Lit ridge, darker slopes further down, and field rows that follow the ridge line.
            const double shade = 1.05 - 0.9 * (below > 0.5 ? 0.5 : below);
            const double rows = 0.92 + 0.08 * Wave(2 * kPi * h.stripes * below + 3 * fx);
            c = Scale(h.color, shade * rows);
        }
        const int n = grain > 0 ? static_cast<int>(noise.Next() % (2 * grain + 1)) - grain : 0;
        const int chroma = grain > 0 ? static_cast<int>(noise.Next() % (grain / 3 * 2 + 1)) - grain / 3 : 0;
        row[3 * x + 0] = ToByte(c.r + n + chroma);
        row[3 * x + 1] = ToByte(c.g + n);
        row[3 * x + 2] = ToByte(c.b + n - chroma);
    }
}

// A minimal little-endian Exif block: the identifier, a TIFF header and IFD0 with a maker,
// model, orientation, resolution and date, then IFD1 with the small JPEG preview of the picture,
// as a camera writes before its picture data.
std::vector<std::uint8_t> MakeExifBlock(std::uint64_t seed, const std::vector<std::uint8_t>& preview) {
    std::vector<std::uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    auto put16 = [&](unsigned v) {
        b.push_back(v & 0xFF);
        b.push_back((v >> 8) & 0xFF);
    };
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
    };
    const std::string make = "DemoCam";
    const std::string model = "DemoCam Pocket 12";
    char date[20];
    std::snprintf(date, sizeof date, "20%02u:%02u:%02u %02u:%02u:%02u", unsigned(10 + seed % 10),
                  unsigned(1 + seed % 12), unsigned(1 + seed % 28), unsigned(8 + seed % 12),
                  unsigned(seed * 7 % 60), unsigned(seed * 13 % 60));

    b.insert(b.end(), {'I', 'I', 0x2A, 0x00});
    put32(8);
    const int entries = 7;
    // Values longer than four bytes follow the IFD, in entry order.
    std::uint32_t extra = 8 + 2 + entries * 12 + 4;
    std::vector<std::uint8_t> tail;
    auto entry = [&](unsigned tag, unsigned type, std::uint32_t count, std::uint32_t inlineValue,
                     const std::vector<std::uint8_t>& outOfLine) {
        put16(tag);
        put16(type);
        put32(count);
        if (outOfLine.empty()) {
            put32(inlineValue);
        } else {
            put32(extra + static_cast<std::uint32_t>(tail.size()));
            tail.insert(tail.end(), outOfLine.begin(), outOfLine.end());
            if (tail.size() % 2) tail.push_back(0);  // values start on word boundaries
        }
    };
    auto ascii = [](const std::string& s) {
        std::vector<std::uint8_t> v(s.begin(), s.end());
        v.push_back(0);
        return v;
    };
    const std::vector<std::uint8_t> seventyTwo = {72, 0, 0, 0, 1, 0, 0, 0};
    constexpr unsigned kAscii = 2, kShort = 3, kRational = 5;
    put16(entries);
    entry(0x010F, kAscii, make.size() + 1, 0, ascii(make));
    entry(0x0110, kAscii, model.size() + 1, 0, ascii(model));
    entry(0x0112, kShort, 1, 1, {});  // orientation: top left
    entry(0x011A, kRational, 1, 0, seventyTwo);
    entry(0x011B, kRational, 1, 0, seventyTwo);
    entry(0x0128, kShort, 1, 2, {});  // resolution unit: inch
    entry(0x0132, kAscii, 20, 0, ascii(date));
    // IFD1 follows the values of IFD0; the preview follows IFD1.
    const std::uint32_t ifd1 = extra + static_cast<std::uint32_t>(tail.size());
    put32(ifd1);
    b.insert(b.end(), tail.begin(), tail.end());
    const std::uint32_t previewAt = ifd1 + 2 + 3 * 12 + 4;
    put16(3);
    put16(0x0103), put16(kShort), put32(1), put32(6);  // compression: JPEG
    put16(0x0201), put16(4), put32(1), put32(previewAt);
    put16(0x0202), put16(4), put32(1), put32(static_cast<std::uint32_t>(preview.size()));
    put32(0);  // no further IFD
    b.insert(b.end(), preview.begin(), preview.end());
    return b;
}

// Draws the scene at width x height and encodes it, with app1 (when not empty) as its first
// segment instead of a JFIF header.
std::vector<std::uint8_t> EncodeScene(const Scene& scene, int width, int height, int quality, int grain, Random& noise,
                                      const std::vector<std::uint8_t>& app1) {
    std::vector<std::vector<double>> ridges(scene.hills.size(), std::vector<double>(width));
    for (std::size_t i = 0; i < scene.hills.size(); ++i)
        for (int x = 0; x < width; ++x) ridges[i][x] = Ridge(scene.hills[i], static_cast<double>(x) / width);

    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);  // the default handler prints the error and exits
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = 72;
    cinfo.Y_density = 72;
    if (!app1.empty()) cinfo.write_JFIF_header = FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    if (!app1.empty()) jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        DrawRow(scene, ridges, y, width, height, grain, noise, row);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> encoded(out, out + outSize);
    std::free(out);
    return encoded;
}

bool WriteJpeg(const Options& o) {
    Random rng(o.seed * 0x100000001B3ULL + 0xCBF29CE484222325ULL);
    const Scene scene = MakeScene(rng);
    Random noise(rng.Next());

    std::vector<std::uint8_t> app1;
    if (o.exif) {
        // The preview, 160 pixels wide like a camera's, without grain.
        Random previewNoise(0);
        const int previewHeight = std::max(1, o.height * 160 / std::max(1, o.width));
        app1 = MakeExifBlock(o.seed, EncodeScene(scene, 160, previewHeight, 75, 0, previewNoise, {}));
    }
    const std::vector<std::uint8_t> jpeg = EncodeScene(scene, o.width, o.height, o.quality, o.grain, noise, app1);

    FILE* f = std::fopen(o.out.c_str(), "wb");
    if (!f) {
        std::perror(o.out.c_str());
        return false;
    }
    const bool ok = std::fwrite(jpeg.data(), 1, jpeg.size(), f) == jpeg.size() && std::fflush(f) == 0;
    if (std::fclose(f) != 0 || !ok) {
        std::perror(o.out.c_str());
        return false;
    }
    return true;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: make-photo --out FILE [--width W] [--height H] [--quality Q] [--seed S]\n"
                 "                  [--grain G] [--exif]\n"
                 "  W, H 16..20000 (default 1600x1200), Q 1..100 (90), S any number (1),\n"
                 "  G noise strength 0..100 (14; more grain gives bigger files),\n"
                 "  --exif writes an Exif block (FF D8 FF E1) instead of a JFIF header (FF D8 FF E0)\n");
}

std::optional<long long> ParseNumber(std::string_view text, long long lo, long long hi) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) return std::nullopt;
    return v;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--exif") {
            o.exif = true;
            continue;
        }
        if (i + 1 >= argc) return std::nullopt;
        const std::string_view value = argv[++i];
        std::optional<long long> n;
        if (arg == "--out") {
            o.out = value;
            continue;
        } else if (arg == "--width") {
            if (!(n = ParseNumber(value, 16, 20000))) return std::nullopt;
            o.width = static_cast<int>(*n);
        } else if (arg == "--height") {
            if (!(n = ParseNumber(value, 16, 20000))) return std::nullopt;
            o.height = static_cast<int>(*n);
        } else if (arg == "--quality") {
            if (!(n = ParseNumber(value, 1, 100))) return std::nullopt;
            o.quality = static_cast<int>(*n);
        } else if (arg == "--seed") {
            if (!(n = ParseNumber(value, 0, (1LL << 62)))) return std::nullopt;
            o.seed = static_cast<std::uint64_t>(*n);
        } else if (arg == "--grain") {
            if (!(n = ParseNumber(value, 0, 100))) return std::nullopt;
            o.grain = static_cast<int>(*n);
        } else {
            return std::nullopt;
        }
    }
    if (o.out.empty()) return std::nullopt;
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        Usage();
        return 1;
    }
    return WriteJpeg(*options) ? 0 : 2;
}
