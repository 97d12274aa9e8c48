#include "render/offscreenrenderer.h"
#include "strokes/arcsegment.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

using Model::OffscreenRenderer;
using TestSupport::Difference;
using TestSupport::difference;

namespace {

// Shader families as the renderer numbers them.
enum Family { Pencil, Marker, Brush, Kneaded, Rubber, Vinyl };

struct Lists
{
    QList<float> positions;
    QList<float> attributes;
    QList<float> kinds;
};

void append(Lists &lists, QPointF point, QPointF direction, double opacity, double radius, float side)
{
    lists.positions << float(point.x()) << float(point.y()) << float(direction.x()) << float(direction.y());
    lists.attributes << float(opacity) << float(radius);
    lists.kinds << side << 0.0f << 0.0f;
}

// A straight quad written by hand, vertex by vertex, from its two ends: the
// contract between the segments and the vertex program, without caps.
Lists handMadeQuad(QPointF start, QPointF end, double opacity, double radius)
{
    const QPointF t = end - start;
    Lists lists;
    append(lists, start, t, opacity, radius, +1.0f);
    append(lists, start, t, opacity, radius, -1.0f);
    append(lists, end, t, opacity, radius, +1.0f);
    append(lists, start, t, opacity, radius, -1.0f);
    append(lists, end, t, opacity, radius, +1.0f);
    append(lists, end, t, opacity, radius, -1.0f);
    return lists;
}

void appendSegment(Lists &lists, const Model::Segment &segment)
{
    segment.tessellateStartCap(lists.positions, lists.attributes, lists.kinds);
    segment.tessellate(lists.positions, lists.attributes, lists.kinds);
    segment.tessellateEndCap(lists.positions, lists.attributes, lists.kinds);
}

Lists line(QPointF start, QPointF end, double radius, double opacity = 1.0)
{
    Lists lists;
    appendSegment(lists, Model::LineSegment(start, end, opacity, opacity, radius, radius));
    return lists;
}

// A few segments of every kind that cross the given area in several
// directions; radii holds the start and end radius of the two lines and the
// arc, in that order.
Lists crossings(QSizeF area, const std::array<double, 6> &radii)
{
    const double w = area.width();
    const double h = area.height();
    Lists lists;
    appendSegment(lists, Model::LineSegment(QPointF(0.05 * w, 0.1 * h), QPointF(0.95 * w, 0.9 * h), 1.0, 0.6, radii[0], radii[1]));
    appendSegment(lists, Model::LineSegment(QPointF(0.1 * w, 0.85 * h), QPointF(0.9 * w, 0.2 * h), 0.8, 1.0, radii[2], radii[3]));
    appendSegment(lists, Model::ArcSegment(QPointF(0.5 * w, 0.5 * h), 0.3 * h, QPointF(0.5 * w + 0.3 * h, 0.5 * h),
                                           QPointF(0.5 * w, 0.2 * h), false, 1.0, 0.7, radii[4], radii[5]));
    appendSegment(lists, Model::PointSegment(QPointF(0.37 * w, 0.5 * h), 0.9, 25.0));
    appendSegment(lists, Model::PointSegment(QPointF(0.8 * w, 0.5 * h), 1.0, 0.6));
    return lists;
}

Lists scribble(QSizeF area)
{
    return crossings(area, {3.0, 18.0, 12.0, 1.5, 6.0, 10.0});
}

// The same crossings with one radius per segment. A tapered quad's two
// triangles interpolate its radius differently depending on which diagonal
// splits it, so only untapered pieces render exactly the same under a mirror.
Lists evenScribble(QSizeF area)
{
    return crossings(area, {9.0, 9.0, 4.0, 4.0, 6.0, 6.0});
}

bool render(QImage &target, int family, const Lists &lists, QRect rect = QRect(), const QTransform &transform = {},
            QPoint paperOffset = {}, float renderScale = 1.0f)
{
    if (rect.isNull())
        rect = target.rect();
    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    if (family >= Kneaded)
        return renderer->renderEraser(target, family - Kneaded, paperOffset, renderScale, rect, transform,
                                      lists.positions, lists.attributes, lists.kinds);
    return renderer->renderPen(target, family, paperOffset, renderScale, rect, transform, lists.positions,
                               lists.attributes, lists.kinds);
}

QImage rendered(QSize size, int family, const Lists &lists, const QTransform &transform = {}, QPoint paperOffset = {})
{
    QImage image(size, QImage::Format_Alpha8);
    image.fill(0);
    render(image, family, lists, QRect(), transform, paperOffset);
    return image;
}

int at(const QImage &image, int x, int y)
{
    return image.constScanLine(y)[x];
}

double mean(const QImage &image, QRect rect)
{
    double sum = 0.0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            sum += at(image, x, y);
    return sum / (rect.width() * rect.height());
}

// Renders that should agree may still differ by one level at a few pixels:
// moving a stroke by whole pixels (another tile, another paper offset) rounds
// its vertex positions differently. Empty when a and b agree within one level
// at all but maxFraction of their pixels, otherwise what went wrong.
QString nearlyEqual(const QImage &a, const QImage &b, double maxFraction)
{
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    const Difference diff = difference(a, b);
    if (diff.largest > 1 || diff.pixels > maxFraction * a.width() * a.height())
        return QStringLiteral("%1 pixels differ, by up to %2 at %3,%4")
            .arg(diff.pixels).arg(diff.largest).arg(diff.where.x()).arg(diff.where.y());
    return {};
}

int coveredPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += at(image, x, y) > 0;
    return count;
}

const char *familyName(int family)
{
    static const char *const names[] = {"pencil", "marker", "brush", "kneaded eraser", "rubber eraser", "vinyl eraser"};
    return names[family];
}

} // namespace

// One process holds one renderer; tests that need other framebuffers or forced
// fallbacks initialise it again through useRenderer(), which skips the work
// when the wanted set-up is already there.
class TestOffscreenRenderer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Before any set-up: must run first.
    void renderBeforeInitialize();
    void sizeNeverSet();

    void embeddedResources_data();
    void embeddedResources();
    void softnessCurves_data();
    void softnessCurves();

    void lineCoverage_data();
    void lineCoverage();
    void handMadeQuadMatchesLineBody();
    void familyProfiles_data();
    void familyProfiles();
    void rubberEraserMatchesMarker();
    void pencilHasGrain();
    void grainFollowsPaperOffset();
    void viewTransforms_data();
    void viewTransforms();
    void overlapsKeepTheLargestCoverage();

    void rectOutsideTargetLeavesItUntouched();
    void onlyTheRectIsOverwritten();
    void nonPositiveRenderScaleRendersNothing();
    void tilesMatchAnUntiledRender_data();
    void tilesMatchAnUntiledRender();
    void oversizedFramebufferIsHalved();

    void fallbacksMatchTheNormalPath_data();
    void fallbacksMatchTheNormalPath();

    void loadTexture_data();
    void loadTexture();
    void textureFileReplacesEmbeddedCurve();

    void softwareRasterizerRunsOnTheCallingThread();

private:
    bool useRenderer(QSize size, OffscreenRenderer::Fallbacks fallbacks = {});

    QSize m_size;
    bool m_no1D = false;
    bool m_noNpot = false;
    bool m_initialized = false;
};

void TestOffscreenRenderer::initTestCase()
{
    if (!TestSupport::hasOpenGL())
        QSKIP(TestSupport::NoOpenGL);
}

bool TestOffscreenRenderer::useRenderer(QSize size, OffscreenRenderer::Fallbacks fallbacks)
{
    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    if (!m_initialized || fallbacks.noOneDimensionalTextures != m_no1D
        || fallbacks.noNonPowerOfTwoTextures != m_noNpot) {
        renderer->setForcedFallbacks(fallbacks);
        renderer->initialize(size);
        m_initialized = true;
        m_no1D = fallbacks.noOneDimensionalTextures;
        m_noNpot = fallbacks.noNonPowerOfTwoTextures;
    } else if (size != m_size) {
        renderer->setSize(size);
    }
    m_size = size;
    return renderer->size().isValid();
}

void TestOffscreenRenderer::renderBeforeInitialize()
{
    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    QCOMPARE(renderer->size(), QSize());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("setSize before a successful initialize"));
    renderer->setSize(QSize(64, 64));
    QCOMPARE(renderer->size(), QSize());

    QImage target(64, 64, QImage::Format_Alpha8);
    target.fill(7);
    const QImage before = target;
    QVERIFY(!render(target, Marker, line(QPointF(5, 30), QPointF(60, 30), 10.0)));
    QVERIFY(!render(target, Vinyl - Kneaded, line(QPointF(5, 30), QPointF(60, 30), 10.0)));
    QCOMPARE(target, before);
}

void TestOffscreenRenderer::sizeNeverSet()
{
    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    renderer->initialize(QSize());
    m_initialized = true;
    m_size = QSize();
    QCOMPARE(renderer->size(), QSize());

    QImage target(64, 64, QImage::Format_Alpha8);
    target.fill(7);
    const QImage before = target;
    QVERIFY(!render(target, Pencil, line(QPointF(5, 30), QPointF(60, 30), 10.0)));
    QCOMPARE(target, before);

    // An empty size is no size either.
    renderer->setSize(QSize(0, 10));
    QCOMPARE(renderer->size(), QSize());
    QVERIFY(!render(target, Pencil, line(QPointF(5, 30), QPointF(60, 30), 10.0)));
    QCOMPARE(target, before);
}

void TestOffscreenRenderer::embeddedResources_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("imageSize");
    const QSize text;
    QTest::newRow("vertex program") << "anisotropic_scale.vert" << text;
    QTest::newRow("fragment program") << "anisotropic_scale.frag" << text;
    QTest::newRow("fragment program without 1-D textures") << "anisotropic_scale_no_1D_textures.frag" << text;
    for (const char *curve : {"pencil", "marker", "brush", "eraserKneaded", "eraserRubber", "eraserVinyl"}) {
        const QString name = QStringLiteral("SoftnessCurve-%1.png").arg(QLatin1String(curve));
        QTest::newRow(qPrintable(name)) << name << QSize(256, 1);
    }
    QTest::newRow("paper texture") << "KLtexture.png" << QSize(2048, 2048);
}

void TestOffscreenRenderer::embeddedResources()
{
    QFETCH(QString, name);
    QFETCH(QSize, imageSize);
    const QString path = QStringLiteral(":/shaders/") + name;
    QVERIFY(QFile(path).exists());
    if (imageSize.isValid())
        QCOMPARE(QImage(path).size(), imageSize);
}

void TestOffscreenRenderer::softnessCurves_data()
{
    QTest::addColumn<QString>("curve");
    QTest::addColumn<int>("texel");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::newRow("pencil centre") << "pencil" << 0 << 254 << 0;
    QTest::newRow("pencil rim") << "pencil" << 240 << 91 << 255;
    QTest::newRow("pencil between 224 and 240") << "pencil" << 232 << 150 << 255;
    QTest::newRow("pencil grain halfway") << "pencil" << 128 << 255 << 102;
    QTest::newRow("marker edge") << "marker" << 255 << 208 << 0;
    QTest::newRow("brush edge") << "brush" << 255 << 232 << 0;
    QTest::newRow("kneaded three quarters") << "eraserKneaded" << 192 << 219 << 0;
    QTest::newRow("kneaded between 0 and 64") << "eraserKneaded" << 32 << 250 << 0;
    QTest::newRow("rubber edge") << "eraserRubber" << 248 << 229 << 0;
    QTest::newRow("vinyl edge") << "eraserVinyl" << 255 << 231 << 0;
}

void TestOffscreenRenderer::softnessCurves()
{
    QFETCH(QString, curve);
    QFETCH(int, texel);
    QFETCH(int, red);
    QFETCH(int, green);
    const QImage image(QStringLiteral(":/shaders/SoftnessCurve-%1.png").arg(curve));
    QCOMPARE(qRed(image.pixel(texel, 0)), red);
    QCOMPARE(qGreen(image.pixel(texel, 0)), green);
}

void TestOffscreenRenderer::lineCoverage_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("centreAtLeast");
    // The pencil's paper grain thins it out even in the middle.
    QTest::newRow("pencil") << int(Pencil) << 120;
    QTest::newRow("marker") << int(Marker) << 250;
    QTest::newRow("brush") << int(Brush) << 250;
    QTest::newRow("kneaded eraser") << int(Kneaded) << 250;
    QTest::newRow("rubber eraser") << int(Rubber) << 250;
    QTest::newRow("vinyl eraser") << int(Vinyl) << 250;
}

void TestOffscreenRenderer::lineCoverage()
{
    QFETCH(int, family);
    QFETCH(int, centreAtLeast);
    QVERIFY(useRenderer(QSize(256, 256)));

    // A horizontal line at y = 60.5 with round ends, radius 20.
    const QImage image = rendered(QSize(200, 120), family, line(QPointF(50, 60.5), QPointF(150, 60.5), 20.0));

    QVERIFY2(mean(image, QRect(90, 58, 20, 5)) >= centreAtLeast, familyName(family));
    // Outside the outline and its feather, nothing.
    QCOMPARE(mean(image, QRect(0, 0, 200, 38)), 0.0);
    QCOMPARE(mean(image, QRect(0, 83, 200, 37)), 0.0);
    QCOMPARE(mean(image, QRect(0, 0, 28, 120)), 0.0);
    QCOMPARE(mean(image, QRect(172, 0, 28, 120)), 0.0);
    // The round ends reach 20 pixels beyond the centre line's ends.
    QVERIFY(at(image, 32, 60) > 0);
    QVERIFY(at(image, 167, 60) > 0);
    // An anti-aliased rim: the outermost covered rows are fainter than the inside.
    QVERIFY(at(image, 100, 40) > 0);
    QVERIFY(at(image, 100, 40) < at(image, 100, 45));
}

void TestOffscreenRenderer::handMadeQuadMatchesLineBody()
{
    QVERIFY(useRenderer(QSize(256, 256)));
    const QImage byHand = rendered(QSize(200, 100), Marker, handMadeQuad(QPointF(40, 50.5), QPointF(160, 50.5), 1.0, 15.0));
    Lists body;
    Model::LineSegment(QPointF(40, 50.5), QPointF(160, 50.5), 1.0, 1.0, 15.0, 15.0)
        .tessellate(body.positions, body.attributes, body.kinds);
    const QImage fromSegment = rendered(QSize(200, 100), Marker, body);
    QCOMPARE(byHand, fromSegment);

    // Full in the middle, nothing beyond the ends (a quad has no caps).
    QVERIFY(at(byHand, 100, 50) >= 250);
    QCOMPARE(at(byHand, 30, 50), 0);
    QCOMPARE(at(byHand, 170, 50), 0);
    QCOMPARE(at(byHand, 100, 30), 0);
}

void TestOffscreenRenderer::familyProfiles_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("minimumDrop");
    QTest::addColumn<int>("maximumDrop");
    // Drop of coverage from the centre line to three quarters of the radius.
    QTest::newRow("marker keeps its strength") << int(Marker) << -2 << 12;
    QTest::newRow("brush keeps its strength") << int(Brush) << -2 << 8;
    QTest::newRow("vinyl eraser keeps its strength") << int(Vinyl) << -2 << 8;
    QTest::newRow("kneaded eraser fades from the centre") << int(Kneaded) << 25 << 60;
}

void TestOffscreenRenderer::familyProfiles()
{
    QFETCH(int, family);
    QFETCH(int, minimumDrop);
    QFETCH(int, maximumDrop);
    QVERIFY(useRenderer(QSize(256, 256)));

    const QImage image = rendered(QSize(200, 120), family, line(QPointF(20, 60.5), QPointF(180, 60.5), 40.0));
    const int centre = at(image, 100, 60);
    const int threeQuarters = at(image, 100, 60 - 30);
    QVERIFY2(centre - threeQuarters >= minimumDrop, qPrintable(QStringLiteral("%1 -> %2").arg(centre).arg(threeQuarters)));
    QVERIFY2(centre - threeQuarters <= maximumDrop, qPrintable(QStringLiteral("%1 -> %2").arg(centre).arg(threeQuarters)));
    // Symmetric about the centre line.
    QVERIFY(std::abs(at(image, 100, 60 + 30) - threeQuarters) <= 1);
}

void TestOffscreenRenderer::rubberEraserMatchesMarker()
{
    QVERIFY(useRenderer(QSize(256, 256)));
    const Lists lists = scribble(QSizeF(200, 150));
    QCOMPARE(rendered(QSize(200, 150), Rubber, lists), rendered(QSize(200, 150), Marker, lists));
}

void TestOffscreenRenderer::pencilHasGrain()
{
    QVERIFY(useRenderer(QSize(256, 256)));
    const Lists lists = line(QPointF(20, 60.5), QPointF(230, 60.5), 30.0);
    const QImage pencil = rendered(QSize(250, 120), Pencil, lists);
    const QImage marker = rendered(QSize(250, 120), Marker, lists);

    auto spread = [](const QImage &image) {
        int low = 255;
        int high = 0;
        for (int x = 60; x < 190; ++x) {
            low = std::min(low, at(image, x, 60));
            high = std::max(high, at(image, x, 60));
        }
        return high - low;
    };
    QVERIFY2(spread(pencil) >= 30, "the pencil shows the paper's grain along its centre line");
    QCOMPARE(spread(marker), 0);
}

void TestOffscreenRenderer::grainFollowsPaperOffset()
{
    // The grain belongs to the paper: a stroke drawn 13 pixels further left into
    // an image whose paper starts 13 pixels further right looks the same. Only
    // the band inside the soft rim is compared: on the rim the pencil's curve
    // is so steep that the rounding of the moved outline shows.
    QVERIFY(useRenderer(QSize(256, 256)));
    const Lists lists = line(QPointF(40, 50.5), QPointF(160, 50.5), 25.0);
    const QRect band(50, 35, 100, 32);
    const QImage reference = rendered(QSize(200, 100), Pencil, lists).copy(band);
    const QTransform moved = QTransform::fromTranslate(-13, -7);
    const QRect movedBand = band.translated(-13, -7);
    const QImage shifted = rendered(QSize(200, 100), Pencil, lists, moved, QPoint(13, 7)).copy(movedBand);
    const QString mismatch = nearlyEqual(shifted, reference, 0.01);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // Without the matching offset the grain lands elsewhere.
    const QImage unmatched = rendered(QSize(200, 100), Pencil, lists, moved).copy(movedBand);
    QVERIFY(difference(unmatched, reference).largest > 20);
}

void TestOffscreenRenderer::viewTransforms_data()
{
    QTest::addColumn<QTransform>("transform");
    QTest::addColumn<QTransform>("imageTransform");
    // A view transform applied while rendering looks like the unrotated render
    // turned or mirrored afterwards: the outline is placed after the transform.
    QTest::newRow("mirrored left to right") << QTransform(-1, 0, 0, 1, 160, 0) << QTransform(-1, 0, 0, 1, 0, 0);
    QTest::newRow("mirrored top to bottom") << QTransform(1, 0, 0, -1, 0, 160) << QTransform(1, 0, 0, -1, 0, 0);
    QTest::newRow("turned a quarter") << QTransform(0, 1, -1, 0, 160, 0) << QTransform(0, 1, -1, 0, 0, 0);
}

void TestOffscreenRenderer::viewTransforms()
{
    QFETCH(QTransform, transform);
    QFETCH(QTransform, imageTransform);
    QVERIFY(useRenderer(QSize(256, 256)));
    const Lists lists = evenScribble(QSizeF(160, 160));
    const QImage plain = rendered(QSize(160, 160), Marker, lists);
    const QImage viewed = rendered(QSize(160, 160), Marker, lists, transform);
    const QImage expected = plain.transformed(imageTransform);
    QCOMPARE(expected.size(), viewed.size());
    const Difference diff = difference(viewed, expected);
    QVERIFY2(diff.largest <= 2, qPrintable(QStringLiteral("%1 at %2,%3").arg(diff.largest).arg(diff.where.x()).arg(diff.where.y())));
}

void TestOffscreenRenderer::overlapsKeepTheLargestCoverage()
{
    // Two crossing half-opaque lines: where they cross the coverage is that of
    // one line, not more (no dark spots at the joints of a stroke).
    QVERIFY(useRenderer(QSize(256, 256)));
    Lists lists = line(QPointF(20, 60.5), QPointF(180, 60.5), 15.0, 0.5);
    const Lists other = line(QPointF(100.5, 10), QPointF(100.5, 110), 15.0, 0.5);
    lists.positions << other.positions;
    lists.attributes << other.attributes;
    lists.kinds << other.kinds;
    const QImage image = rendered(QSize(200, 120), Marker, lists);
    QVERIFY(std::abs(at(image, 100, 60) - at(image, 50, 60)) <= 1);
    QVERIFY(std::abs(at(image, 50, 60) - 128) <= 2);
}

void TestOffscreenRenderer::rectOutsideTargetLeavesItUntouched()
{
    QVERIFY(useRenderer(QSize(256, 256)));
    QImage target(100, 80, QImage::Format_Alpha8);
    target.fill(77);
    const QImage before = target;
    const Lists lists = line(QPointF(0, 0), QPointF(100, 80), 30.0);
    QVERIFY(!render(target, Marker, lists, QRect(100, 0, 50, 50)));
    QVERIFY(!render(target, Marker, lists, QRect(-60, -60, 50, 50)));
    QVERIFY(!render(target, Kneaded, lists, QRect(20, 90, 10, 10)));
    QCOMPARE(target, before);
}

void TestOffscreenRenderer::onlyTheRectIsOverwritten()
{
    QVERIFY(useRenderer(QSize(256, 256)));
    QImage target(120, 100, QImage::Format_Alpha8);
    target.fill(77);
    const QRect rect(30, 20, 50, 40);
    // Reaches past the target's edge: clipped to it.
    QVERIFY(render(target, Marker, line(QPointF(0, 50.5), QPointF(120, 50.5), 12.0), rect.adjusted(0, 0, 200, 0)));
    for (int y = 0; y < target.height(); ++y)
        for (int x = 0; x < target.width(); ++x) {
            const bool inside = x >= rect.left() && y >= rect.top() && y <= rect.bottom();
            if (!inside)
                QCOMPARE(at(target, x, y), 77);
        }
    // Inside, the render replaces what was there: empty above the line, full on it.
    QCOMPARE(at(target, 50, 25), 0);
    QVERIFY(at(target, 50, 50) >= 250);
}

void TestOffscreenRenderer::nonPositiveRenderScaleRendersNothing()
{
    QVERIFY(useRenderer(QSize(256, 256)));
    QImage target(60, 60, QImage::Format_Alpha8);
    target.fill(9);
    const QImage before = target;
    const Lists lists = line(QPointF(5, 30), QPointF(55, 30), 10.0);
    QVERIFY(!render(target, Marker, lists, QRect(), {}, {}, 0.0f));
    QVERIFY(!render(target, Marker, lists, QRect(), {}, {}, -1.0f));
    QCOMPARE(target, before);
}

void TestOffscreenRenderer::tilesMatchAnUntiledRender_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QSize>("untiledSize");
    const QRect whole(0, 0, 700, 500);
    const QSize large(1024, 1024);
    QTest::newRow("pencil, whole target") << int(Pencil) << whole << large;
    QTest::newRow("marker, whole target") << int(Marker) << whole << large;
    QTest::newRow("kneaded eraser, whole target") << int(Kneaded) << whole << large;
    QTest::newRow("pencil, whole target, framebuffers of odd sides") << int(Pencil) << whole << QSize(701, 501);
    // A part this small goes through the small framebuffers at 1024x1024,
    // through the tiles of the 256x256 ones otherwise.
    QTest::newRow("pencil, across four tiles") << int(Pencil) << QRect(200, 220, 130, 90) << large;
    QTest::newRow("marker, across four tiles") << int(Marker) << QRect(200, 220, 130, 90) << large;
    QTest::newRow("vinyl eraser, across four tiles") << int(Vinyl) << QRect(200, 220, 130, 90) << large;
    QTest::newRow("pencil, a part at odd pixels") << int(Pencil) << QRect(201, 221, 131, 91) << large;
    QTest::newRow("marker, a part at odd pixels") << int(Marker) << QRect(333, 97, 301, 255) << large;
    QTest::newRow("brush, a part at odd pixels") << int(Brush) << QRect(101, 221, 512, 279) << large;
    QTest::newRow("pencil, a part at an odd column") << int(Pencil) << QRect(57, 130, 512, 180) << large;
    QTest::newRow("pencil, a part at even pixels") << int(Pencil) << QRect(96, 132, 399, 305) << large;
}

void TestOffscreenRenderer::tilesMatchAnUntiledRender()
{
    QFETCH(int, family);
    QFETCH(QRect, rect);
    QFETCH(QSize, untiledSize);
    const QSize targetSize(700, 500);
    const Lists lists = scribble(QSizeF(targetSize));
    const QPoint paperOffset(31, 17);

    QVERIFY(useRenderer(untiledSize));
    QImage untiled(targetSize, QImage::Format_Alpha8);
    untiled.fill(5);
    QVERIFY(render(untiled, family, lists, rect, {}, paperOffset));
    // A part gives the pixels a render of the whole target gives there,
    // through whichever framebuffers each is drawn.
    const Difference fromWhole =
        difference(untiled.copy(rect), rendered(targetSize, family, lists, {}, paperOffset).copy(rect));
    QVERIFY2(fromWhole.largest <= 2, qPrintable(QStringLiteral("%1 pixels differ, by up to %2 at %3,%4")
                                                    .arg(fromWhole.pixels).arg(fromWhole.largest)
                                                    .arg(fromWhole.where.x()).arg(fromWhole.where.y())));

    QVERIFY(useRenderer(QSize(256, 256)));
    QCOMPARE(OffscreenRenderer::instance()->size(), QSize(256, 256));
    QImage tiled(targetSize, QImage::Format_Alpha8);
    tiled.fill(5);
    QVERIFY(render(tiled, family, lists, rect, {}, paperOffset));

    QVERIFY(coveredPixels(untiled.copy(rect)) > 1000);
    // Outside the rectangle both keep what was there.
    if (!rect.contains(0, 0))
        QCOMPARE(at(tiled, 0, 0), 5);
    const QString mismatch = nearlyEqual(tiled, untiled, 0.001);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestOffscreenRenderer::oversizedFramebufferIsHalved()
{
    // Far beyond any driver's limit in width: halved until it is accepted,
    // and rendering then tiles.
    QVERIFY(useRenderer(QSize(256, 256)));
    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    QTest::failOnWarning(QRegularExpression("no framebuffer size"));
    renderer->setSize(QSize(1 << 15, 128));
    m_size = QSize();
    const QSize size = renderer->size();
    QVERIFY(size.isValid());
    QVERIFY(size.width() < (1 << 20));
    QVERIFY(size.height() <= 128);

    const Lists lists = scribble(QSizeF(200, 150));
    const QImage halved = rendered(QSize(200, 150), Marker, lists);
    QVERIFY(useRenderer(QSize(256, 256)));
    const QString mismatch = nearlyEqual(halved, rendered(QSize(200, 150), Marker, lists), 0.01);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

void TestOffscreenRenderer::fallbacksMatchTheNormalPath_data()
{
    QTest::addColumn<bool>("no1D");
    QTest::addColumn<bool>("noNpot");
    QTest::addColumn<QSize>("expectedSize");
    QTest::newRow("no 1-D textures") << true << false << QSize(1000, 600);
    QTest::newRow("no non-power-of-two textures") << false << true << QSize(1024, 1024);
}

void TestOffscreenRenderer::fallbacksMatchTheNormalPath()
{
    QFETCH(bool, no1D);
    QFETCH(bool, noNpot);
    QFETCH(QSize, expectedSize);
    const QSize size(1000, 600);
    const Lists lists = scribble(QSizeF(size));

    QVERIFY(useRenderer(size));
    QList<QImage> normal;
    for (int family = Pencil; family <= Vinyl; ++family)
        normal << rendered(size, family, lists, {}, QPoint(3, 4));

    const OffscreenRenderer::Fallbacks fallbacks{no1D, noNpot};
    QVERIFY(useRenderer(size, fallbacks));
    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    QCOMPARE(renderer->size(), expectedSize);
    QCOMPARE(renderer->activeFallbacks().noOneDimensionalTextures, no1D);
    QCOMPARE(renderer->activeFallbacks().noNonPowerOfTwoTextures, noNpot);
    for (int family = Pencil; family <= Vinyl; ++family) {
        const QImage image = rendered(size, family, lists, {}, QPoint(3, 4));
        QVERIFY(coveredPixels(image) > 1000);
        const Difference diff = difference(image, normal.at(family));
        QVERIFY2(diff.largest <= 1, qPrintable(QStringLiteral("%1: %2 at %3,%4").arg(QLatin1String(familyName(family)))
                                                 .arg(diff.largest).arg(diff.where.x()).arg(diff.where.y())));
    }

    QVERIFY(useRenderer(QSize(256, 256)));
    QCOMPARE(renderer->activeFallbacks().noOneDimensionalTextures, false);
}

void TestOffscreenRenderer::loadTexture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("fileContent"); // empty: no file; "image": a 4x1 red image
    QTest::addColumn<QSize>("expectedSize");
    QTest::newRow("a file of that name wins") << "SoftnessCurve-marker.png" << QByteArray("image") << QSize(4, 1);
    QTest::newRow("no file: the embedded one") << "SoftnessCurve-brush.png" << QByteArray() << QSize(256, 1);
    QTest::newRow("a file that is no image: the embedded one")
        << "SoftnessCurve-pencil.png" << QByteArray("not a picture") << QSize(256, 1);
    QTest::newRow("unknown name: a null image") << "SoftnessCurve-crayon.png" << QByteArray() << QSize(0, 0);
}

void TestOffscreenRenderer::loadTexture()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, fileContent);
    QFETCH(QSize, expectedSize);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(directory.startsWith(home.path()));
    QVERIFY(QDir().mkpath(directory));
    if (fileContent == "image") {
        QImage image(4, 1, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(QDir(directory).filePath(name)));
    } else if (!fileContent.isEmpty()) {
        QFile file(QDir(directory).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fileContent);
    }

    const QImage image = OffscreenRenderer::instance()->loadTexture(name);
    qputenv("XDG_DATA_HOME", oldDataHome);
    QCOMPARE(image.size(), expectedSize);
}

void TestOffscreenRenderer::textureFileReplacesEmbeddedCurve()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(QDir().mkpath(directory));
    // A marker whose curve is half strength throughout.
    QImage curve(256, 1, QImage::Format_RGB32);
    curve.fill(qRgb(128, 0, 0));
    QVERIFY(curve.save(QDir(directory).filePath("SoftnessCurve-marker.png")));

    OffscreenRenderer *renderer = OffscreenRenderer::instance();
    renderer->setForcedFallbacks({});
    renderer->initialize(QSize(256, 256));
    qputenv("XDG_DATA_HOME", oldDataHome);

    const Lists lists = line(QPointF(20, 50.5), QPointF(180, 50.5), 20.0);
    const QImage marker = rendered(QSize(200, 100), Marker, lists);
    const QImage brush = rendered(QSize(200, 100), Brush, lists);

    // Back to the embedded textures for whatever runs next.
    renderer->initialize(QSize(256, 256));
    m_size = QSize(256, 256);

    QVERIFY(std::abs(at(marker, 100, 50) - 128) <= 2);
    QVERIFY(at(brush, 100, 50) >= 250);
    QVERIFY(at(rendered(QSize(200, 100), Marker, lists), 100, 50) >= 250);
}

// With Mesa's llvmpipe, the renderer asks for rasterising on the calling
// thread unless the user chose otherwise, and the choice is made before the
// driver loads: no rasteriser thread of llvmpipe's ever starts.
void TestOffscreenRenderer::softwareRasterizerRunsOnTheCallingThread()
{
    QVERIFY(useRenderer(QSize(64, 64)));
    QOpenGLContext *context = QOpenGLContext::currentContext();
    QVERIFY(context);
    const QByteArray renderer(reinterpret_cast<const char *>(context->functions()->glGetString(GL_RENDERER)));
    if (!renderer.contains("llvmpipe"))
        QSKIP("the renderer is not Mesa's llvmpipe");
    if (qgetenv("LP_NUM_THREADS") != "0")
        QSKIP("LP_NUM_THREADS was set before the test started");

    const QDir tasks(QStringLiteral("/proc/self/task"));
    if (!tasks.exists())
        QSKIP("no /proc to list the threads in");
    QStringList rasterizers;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        if (name.open(QIODevice::ReadOnly) && name.readAll().startsWith("llvmpipe"))
            rasterizers.append(task);
    }
    QCOMPARE(rasterizers, QStringList());
}

QTEST_MAIN(TestOffscreenRenderer)
#include "tst_offscreenrenderer.moc"
