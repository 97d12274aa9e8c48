// Writes the renderer's textures: the six softness curves and the paper texture.
//
//   kl-texturegen <output folder>
//
// The output is fully determined by this file (fixed seeds, no platform random
// source), so every build embeds the same pixels.

#include <QDir>
#include <QImage>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Softness curves are 256 texels long; the shader samples red at the distance
// from the centre line (0 centre, 255 edge) and green at the grain position.
// Between the control texels the curve is linear.
constexpr std::array<int, 8> ControlTexels{0, 64, 128, 192, 224, 240, 248, 255};

struct Curve
{
    const char *name;
    std::array<int, 8> red;
    std::array<int, 8> green;
};

const Curve Curves[] = {
    {"pencil", {254, 255, 255, 255, 209, 91, 38, 2}, {0, 6, 102, 223, 255, 255, 255, 255}},
    {"marker", {254, 255, 255, 246, 242, 235, 229, 208}, {}},
    {"brush", {254, 255, 255, 253, 246, 245, 242, 232}, {}},
    {"eraserKneaded", {255, 245, 239, 219, 194, 170, 149, 104}, {}},
    {"eraserRubber", {254, 255, 255, 246, 242, 235, 229, 208}, {}},
    {"eraserVinyl", {254, 255, 255, 255, 246, 244, 241, 231}, {}},
};

int interpolate(const std::array<int, 8> &values, int texel)
{
    for (std::size_t i = 1; i < ControlTexels.size(); ++i) {
        if (texel <= ControlTexels[i]) {
            const int x0 = ControlTexels[i - 1];
            const int x1 = ControlTexels[i];
            const double t = double(texel - x0) / (x1 - x0);
            return int(std::lround(values[i - 1] + t * (values[i] - values[i - 1])));
        }
    }
    return values.back();
}

QImage softnessCurve(const Curve &curve)
{
    QImage image(256, 1, QImage::Format_RGB888);
    uchar *line = image.scanLine(0);
    for (int x = 0; x < 256; ++x) {
        line[3 * x + 0] = uchar(interpolate(curve.red, x));
        line[3 * x + 1] = uchar(interpolate(curve.green, x));
        line[3 * x + 2] = 0;
    }
    return image;
}

// The paper texture repeats (GL_REPEAT), so the noise is periodic over the
// texture's side: every lattice is indexed modulo its period.
constexpr int PaperSide = 2048;

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed)
{
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double lattice(int x, int y, int periodX, int periodY, std::uint32_t seed)
{
    x = ((x % periodX) + periodX) % periodX;
    y = ((y % periodY) + periodY) % periodY;
    return (hash(std::uint32_t(x), std::uint32_t(y), seed) >> 8) / double(1 << 24);
}

double smooth(double t)
{
    return t * t * (3.0 - 2.0 * t);
}

// Value noise with cells of cellX x cellY pixels; both must divide PaperSide.
double valueNoise(int px, int py, int cellX, int cellY, std::uint32_t seed)
{
    const int periodX = PaperSide / cellX;
    const int periodY = PaperSide / cellY;
    const int cx = px / cellX;
    const int cy = py / cellY;
    const double fx = smooth(double(px % cellX) / cellX);
    const double fy = smooth(double(py % cellY) / cellY);
    const double a = lattice(cx, cy, periodX, periodY, seed);
    const double b = lattice(cx + 1, cy, periodX, periodY, seed);
    const double c = lattice(cx, cy + 1, periodX, periodY, seed);
    const double d = lattice(cx + 1, cy + 1, periodX, periodY, seed);
    return (a + (b - a) * fx) * (1.0 - fy) + (c + (d - c) * fx) * fy;
}

struct Octave
{
    int cellX;
    int cellY;
    double weight;
};

std::vector<double> noiseField(const std::vector<Octave> &octaves, std::uint32_t seed)
{
    std::vector<double> field(std::size_t(PaperSide) * PaperSide);
    double total = 0.0;
    for (const Octave &o : octaves)
        total += o.weight;
    for (int y = 0; y < PaperSide; ++y) {
        for (int x = 0; x < PaperSide; ++x) {
            double v = 0.0;
            std::uint32_t s = seed;
            for (const Octave &o : octaves)
                v += o.weight * valueNoise(x, y, o.cellX, o.cellY, s++);
            field[std::size_t(y) * PaperSide + x] = v / total;
        }
    }
    return field;
}

// Maps v (about 0..1, centred near 0.5) through a contrast stretch around 0.5
// onto 16 levels between low and high; few levels keep the PNG smaller.
uchar level(double v, double low, double high)
{
    const double t = std::clamp((v - 0.5) * 2.6 + 0.5, 0.0, 1.0);
    const double step = std::round(t * 15.0) / 15.0;
    return uchar(std::lround(low + step * (high - low)));
}

// Red: the paper's tooth, a fine grain with faint fibres running both ways; it
// scales the pencil's coverage, so it stays high (the pencil never vanishes on
// flat paper). Green: the pen's grain, a full-range noise that breaks up the
// pencil's rim where the softness curve's green is strong.
QImage paperTexture()
{
    const std::vector<double> tooth = noiseField(
        {{2, 2, 0.30}, {4, 4, 0.30}, {8, 8, 0.15}, {32, 4, 0.12}, {4, 32, 0.08}, {64, 64, 0.05}}, 11);
    const std::vector<double> grain = noiseField({{2, 2, 0.60}, {4, 4, 0.30}, {16, 16, 0.10}}, 47);

    QImage image(PaperSide, PaperSide, QImage::Format_RGB888);
    for (int y = 0; y < PaperSide; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < PaperSide; ++x) {
            const std::size_t i = std::size_t(y) * PaperSide + x;
            line[3 * x + 0] = level(tooth[i], 150.0, 255.0);
            line[3 * x + 1] = level(grain[i], 0.0, 255.0);
            line[3 * x + 2] = 0;
        }
    }
    return image;
}

bool save(const QImage &image, const QDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG", 9)) {
        std::fprintf(stderr, "kl-texturegen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kl-texturegen <output folder>\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "kl-texturegen: cannot create %s\n", argv[1]);
        return 1;
    }
    bool ok = true;
    for (const Curve &curve : Curves)
        ok = save(softnessCurve(curve), dir, QStringLiteral("SoftnessCurve-%1.png").arg(QLatin1String(curve.name))) && ok;
    ok = save(paperTexture(), dir, QStringLiteral("KLtexture.png")) && ok;
    return ok ? 0 : 1;
}
