#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "strokes/bitmapstroke.h"
#include "strokes/floatingselection.h"
#include "strokes/singlestroke.h"
#include "support/cellpattern.h"
#include "support/testsupport.h"
#include "tools/pentool.h"

#include <QPainter>
#include <QPainterPath>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace Model;
using namespace TestSupport;
using CellPattern::cells;
using CellPattern::setCells;

namespace {

const QSize Frame(160, 120);
const QColor Ink(200, 40, 20);

enum Edit { Insert, Extend, Remove };

// A stroke layer whose first frame holds a solid patch and a half-covered one.
std::unique_ptr<StrokeLayer> inkedLayer(const QString &pattern = QStringLiteral("A"))
{
    auto layer = std::make_unique<StrokeLayer>(Ink, Frame);
    setCells(*layer, pattern);
    layer->addStroke(1, bitmapStroke(QRect(10, 10, 20, 10), 255));
    layer->addStroke(1, bitmapStroke(QRect(60, 60, 10, 10), 128));
    return layer;
}

template<typename Painting>
QImage painted(Painting paint)
{
    QImage image(Frame, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(&painter);
    painter.end();
    return image;
}

// Painting goes through premultiplied pixels and back: a step either way.
bool near(QColor actual, QColor expected)
{
    const auto close = [](int a, int b) { return std::abs(a - b) <= 1; };
    if (!close(actual.alpha(), expected.alpha()))
        return false;
    return expected.alpha() == 0
        || (close(actual.red(), expected.red()) && close(actual.green(), expected.green())
            && close(actual.blue(), expected.blue()));
}

QImage picture(QSize size, QColor color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

} // namespace

class TestLayers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Properties
    void propertiesAnnounceChanges();
    void opacityStaysWithinRange_data();
    void opacityStaysWithinRange();
    void newLayers_data();
    void newLayers();

    // Cells and frames
    void frameEdits_data();
    void frameEdits();
    void beyondLastFrame_data();
    void beyondLastFrame();
    void frameLabels_data();
    void frameLabels();
    void cellSettersRefuseMissingFrames();
    void resizingMovesOffPegsDrawings_data();
    void resizingMovesOffPegsDrawings();

    // Copies
    void copyHasItsOwnDrawingsAndIdentity();
    void copyKeepsOnlyItsOwnDistantLinks();

    // Painting
    void strokeLayerPaintsThroughItsColours_data();
    void strokeLayerPaintsThroughItsColours();
    void backlightTurnsTheColour();
    void blendingMatchesPainting_data();
    void blendingMatchesPainting();
    void strokeBeingDrawnShowsOnItsFrame();
    void referencePicturesFitTheFrame_data();
    void referencePicturesFitTheFrame();
    void thumbnailsOnlyForCells_data();
    void thumbnailsOnlyForCells();

    // Lifting
    void liftedSelectionIsLargeEnoughToGrab_data();
    void liftedSelectionIsLargeEnoughToGrab();

    // Annotations
    void annotationFrames_data();
    void annotationFrames();
    void annotationThumbnails();

private:
    bool m_gl = false;
};

// The ink is mostly bitmap strokes, which need no OpenGL; only a live pen
// stroke does.
void TestLayers::initTestCase()
{
    m_gl = startRenderer(QSize(512, 512));
}

void TestLayers::propertiesAnnounceChanges()
{
    StrokeLayer layer(Ink, Frame);
    QSignalSpy names(&layer, &Layer::nameChanged);
    QSignalSpy links(&layer, &Layer::linkedChanged);
    QSignalSpy visibility(&layer, &VisualLayer::visibleChanged);

    layer.setName(QStringLiteral("Ink"));
    layer.setName(QStringLiteral("Ink"));
    layer.setLinked(true);
    layer.setLinked(true);
    layer.setVisible(false);
    layer.setVisible(false);

    QCOMPARE(names.count(), 1);
    QCOMPARE(names.first().first().toString(), QStringLiteral("Ink"));
    QCOMPARE(links.count(), 1);
    QCOMPARE(visibility.count(), 1);
    QVERIFY(!layer.isVisible());

    QVERIFY(layer.setLayerBeyondLast(Layer::CycleDrawings));
    QVERIFY(!layer.setLayerBeyondLast(Layer::CycleDrawings));
    QCOMPARE(layer.layerBeyondLast(), Layer::CycleDrawings);
}

void TestLayers::opacityStaysWithinRange_data()
{
    QTest::addColumn<double>("requested");
    QTest::addColumn<double>("stored");
    QTest::newRow("above") << 1.5 << 1.0;
    QTest::newRow("below") << -1.0 << 0.0;
    QTest::newRow("within") << 0.25 << 0.25;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 1.0;
}

void TestLayers::opacityStaysWithinRange()
{
    QFETCH(double, requested);
    QFETCH(double, stored);
    StrokeLayer layer(Ink, Frame);
    layer.setOpacity(requested);
    QCOMPARE(layer.opacity(), stored);
}

void TestLayers::newLayers_data()
{
    QTest::addColumn<std::shared_ptr<Layer>>("layer");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("frames");
    QTest::addColumn<double>("opacity");
    QTest::addColumn<int>("drawingType");

    QTest::newRow("stroke") << std::shared_ptr<Layer>(new StrokeLayer(Ink, Frame)) << 1 << 1 << 1.0
                            << Drawing::StrokeDrawingType;
    QTest::newRow("reference") << std::shared_ptr<Layer>(new ReferenceLayer(Frame)) << 3 << 1 << 0.5
                               << Drawing::ImageDrawingType;
    QTest::newRow("audio") << std::shared_ptr<Layer>(new AudioLayer) << 4 << 0 << 0.0 << -1;
    QTest::newRow("annotation") << std::shared_ptr<Layer>(new AnnotationLayer) << 5 << 0 << 0.0 << -1;
}

void TestLayers::newLayers()
{
    QFETCH(std::shared_ptr<Layer>, layer);
    QFETCH(int, type);
    QFETCH(int, frames);
    QFETCH(double, opacity);
    QFETCH(int, drawingType);

    QCOMPARE(layer->type(), type);
    QCOMPARE(layer->frameCount(), frames);
    QVERIFY(!layer->hasFrame(frames + 1));
    QVERIFY(layer->name().isEmpty());
    QVERIFY(!layer->isLinked());
    QCOMPARE(layer->layerBeyondLast(), Layer::ShowNothing);

    const auto visual = std::dynamic_pointer_cast<VisualLayer>(layer);
    if (!visual) {
        QVERIFY(layer->removeFrame(1).isEmpty());
        QVERIFY(!layer->clone());
        return;
    }
    QCOMPARE(visual->opacity(), opacity);
    QVERIFY(visual->isOriginal(1));
    const auto drawing = visual->cell(1)->drawing();
    QCOMPARE(drawing->type(), drawingType);
    QVERIFY(drawing->isEmpty());
    if (drawingType == Drawing::StrokeDrawingType)
        QCOMPARE(static_cast<const StrokeDrawing &>(*drawing).size(), Frame);
    // A new layer shows nothing anywhere.
    const QImage image = painted([&](QPainter *p) { visual->paint(1, p, QRect(QPoint(), Frame)); });
    QCOMPARE(image, painted([](QPainter *) {}));
}

void TestLayers::frameEdits_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("edit");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("after");

    QTest::newRow("blank at the start") << "AB" << int(Insert) << 0 << "_AB";
    QTest::newRow("blank takes over a hold") << "Aaa" << int(Insert) << 1 << "A_..";
    QTest::newRow("blank appended") << "AB" << int(Insert) << 2 << "AB_";
    QTest::newRow("blank past the end") << "AB" << int(Insert) << 3 << "AB";
    QTest::newRow("blank before the start") << "AB" << int(Insert) << -1 << "AB";
    QTest::newRow("hold lengthened") << "AB" << int(Extend) << 1 << "AaB";
    QTest::newRow("hold of a hold") << "Aa" << int(Extend) << 2 << "Aaa";
    QTest::newRow("extend nothing is a blank") << "AB" << int(Extend) << 0 << "_AB";
    QTest::newRow("extend past the end") << "AB" << int(Extend) << 3 << "AB";
    QTest::newRow("hold shortened") << "Aaa" << int(Remove) << 3 << "Aa";
    QTest::newRow("held first frame keeps its drawing") << "AaB" << int(Remove) << 1 << "AB";
    QTest::newRow("held original goes, holds follow the one before") << "ABCcc" << int(Remove) << 3
                                                                     << "ABbb";
    QTest::newRow("only cell leaves a blank") << "A" << int(Remove) << 1 << "_";
    QTest::newRow("first of two originals") << "AB" << int(Remove) << 1 << "B";
    QTest::newRow("remove nothing") << "AB" << int(Remove) << 0 << "AB";
    QTest::newRow("remove past the end") << "AB" << int(Remove) << 3 << "AB";
}

void TestLayers::frameEdits()
{
    QFETCH(QString, before);
    QFETCH(int, edit);
    QFETCH(int, frame);
    QFETCH(QString, after);

    StrokeLayer layer(Ink, Frame);
    setCells(layer, before);
    if (edit == Insert)
        layer.insertFrame(frame);
    else if (edit == Extend)
        layer.extendFrame(frame);
    else
        layer.removeFrame(frame);
    QCOMPARE(cells(layer), after);
}

void TestLayers::beyondLastFrame_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("beyondLast");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("holds");

    QTest::newRow("inside") << "AaB" << int(Layer::ShowNothing) << 1 << 0 << 1;
    QTest::newRow("hold inside") << "AaB" << int(Layer::ShowNothing) << 2 << 1 << 0;
    QTest::newRow("before the first") << "AaB" << int(Layer::CycleDrawings) << 0 << 3 << 0;
    QTest::newRow("nothing after the last") << "AaB" << int(Layer::ShowNothing) << 4 << 3 << 0;
    QTest::newRow("unknown mode shows nothing") << "AaB" << 7 << 4 << 3 << 0;
    QTest::newRow("frozen last drawing") << "AaB" << int(Layer::FreezeLastDrawing) << 9 << 1 << 0;
    QTest::newRow("cycle back to the first") << "AaB" << int(Layer::CycleDrawings) << 7 << 0 << 1;
    QTest::newRow("cycle onto a hold") << "AaB" << int(Layer::CycleDrawings) << 5 << 1 << 0;
    QTest::newRow("one cell cycles as a hold") << "A" << int(Layer::CycleDrawings) << 2 << 1 << 0;
}

void TestLayers::beyondLastFrame()
{
    QFETCH(QString, pattern);
    QFETCH(int, beyondLast);
    QFETCH(int, frame);
    QFETCH(int, kind);
    QFETCH(int, holds);

    StrokeLayer layer(Ink, Frame);
    setCells(layer, pattern);
    layer.setLayerBeyondLast(Layer::LayerBeyondLast(beyondLast));
    QCOMPARE(layer.drawingTypeAt(frame), kind);
    QCOMPARE(layer.holdCount(frame), holds);
}

void TestLayers::frameLabels_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("label");

    QTest::newRow("named drawing") << "AaB" << 2 << "A";
    QTest::newRow("single frame") << "___..." << 1 << "1";
    QTest::newRow("held original") << "___..." << 3 << "3 (Held for 4)";
    QTest::newRow("hold of it") << "___..." << 5 << "5 (3 held for 4)";
    QTest::newRow("row after the last") << "___..." << 7 << "";
    QTest::newRow("far past the end") << "___..." << 9 << "Invalid frame";
    QTest::newRow("frame zero") << "___..." << 0 << "Invalid frame";
}

void TestLayers::frameLabels()
{
    QFETCH(QString, pattern);
    QFETCH(int, frame);
    QFETCH(QString, label);

    StrokeLayer layer(Ink, Frame);
    setCells(layer, pattern);
    QCOMPARE(layer.frameLabel(frame), label);
}

void TestLayers::cellSettersRefuseMissingFrames()
{
    StrokeLayer layer(Ink, Frame);
    const QTransform moved = QTransform::fromTranslate(5, 5);

    QVERIFY(!layer.setKeyDrawing(2, true));
    QVERIFY(!layer.setOffPegsTransform(0, moved));
    QVERIFY(layer.setKeyDrawing(1, true));
    QVERIFY(!layer.setKeyDrawing(1, true));
    QVERIFY(layer.setOffPegsTransform(1, moved));
    QVERIFY(!layer.setOffPegsTransform(1, moved));
    QVERIFY(layer.isKeyDrawing(1));
    QCOMPARE(layer.offPegsTransform(1), moved);
    QVERIFY(layer.offPegsTransform(2).isIdentity());

    QCOMPARE(layer.takeCell(1), nullptr);
    QVERIFY(!layer.insertCell(3, layer.newCell()));
    QVERIFY(!layer.setCell(0, nullptr));
    QCOMPARE(layer.frameCount(), 1);
}

void TestLayers::resizingMovesOffPegsDrawings_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<int>("steps");

    // The second frame holds the first, moved off its pegs by (10, 20).
    QTest::newRow("stretch") << QSize(320, 60) << int(KL::FitMode::FitModeStretch) << QPointF(20, 10) << 2;
    QTest::newRow("keep aspect") << QSize(320, 60) << int(KL::FitMode::FitModeKeepAspect)
                                 << QPointF(5, 10) << 2;
    QTest::newRow("keep aspect by expanding") << QSize(320, 60)
                                              << int(KL::FitMode::FitModeKeepAspectByExpanding)
                                              << QPointF(20, 40) << 2;
    QTest::newRow("crop") << QSize(320, 60) << int(KL::FitMode::FitModeCropCenter) << QPointF(10, 20) << 2;
    QTest::newRow("same size") << Frame << int(KL::FitMode::FitModeStretch) << QPointF(10, 20) << 0;
}

void TestLayers::resizingMovesOffPegsDrawings()
{
    QFETCH(QSize, size);
    QFETCH(int, mode);
    QFETCH(QPointF, offset);
    QFETCH(int, steps);

    StrokeLayer layer(Ink, Frame);
    setCells(layer, QStringLiteral("Aa"));
    layer.setOffPegsTransform(2, QTransform::fromTranslate(10, 20));
    QObject progress;
    progress.setProperty("value", 0);

    layer.setFrameSize(size, KL::FitMode(mode), &progress);

    QCOMPARE(layer.frameSize(), size);
    QCOMPARE(progress.property("value").toInt(), steps);
    QCOMPARE(static_cast<const StrokeDrawing &>(*layer.cell(2)->drawing()).size(), size);
    QCOMPARE(layer.offPegsTransform(2).map(QPointF(0, 0)), offset);
    QVERIFY(layer.offPegsTransform(1).isIdentity());
}

void TestLayers::copyHasItsOwnDrawingsAndIdentity()
{
    QObject scene;
    auto source = inkedLayer(QStringLiteral("AaB"));
    source->setParent(&scene);
    source->setName(QStringLiteral("Ink"));
    source->setOpacity(0.3);
    source->setKeyDrawing(1, true);
    source->setOffPegsTransform(3, QTransform::fromTranslate(4, 4));

    const std::unique_ptr<Layer> copied(source->clone());
    auto *copy = qobject_cast<StrokeLayer *>(copied.get());
    QVERIFY(copy);
    QCOMPARE(copy->parent(), &scene);
    QCOMPARE(copy->name(), QStringLiteral("Ink"));
    QCOMPARE(copy->opacity(), 0.3);
    QVERIFY(copy->identifier() != source->identifier());
    // Copied drawings do not keep their names.
    QCOMPARE(cells(*copy), QStringLiteral("_._"));
    QCOMPARE(copy->cell(2)->drawing(), copy->cell(1)->drawing());
    QCOMPARE(copy->cell(1)->identifier(), source->cell(1)->identifier());
    QVERIFY(copy->cell(1)->drawing() != source->cell(1)->drawing());
    QVERIFY(!copy->isKeyDrawing(1));
    QVERIFY(copy->offPegsTransform(3).isIdentity());

    // The copy's ink is its own: erasing it leaves the source as it was.
    const auto render = [](const StrokeLayer &layer) {
        return painted([&](QPainter *p) { layer.paint(2, p, QRect(QPoint(), Frame)); });
    };
    const QImage before = render(*source);
    QCOMPARE(render(*copy), before);
    QPainterPath everything;
    everything.addRect(QRectF(QPointF(), Frame));
    QVERIFY(copy->eraseInside(1, everything));
    QCOMPARE(render(*source), before);
    QVERIFY(render(*copy) != before);
}

void TestLayers::copyKeepsOnlyItsOwnDistantLinks()
{
    StrokeLayer source(Ink, Frame);
    setCells(source, QStringLiteral("AB_"));
    const QUuid elsewhere = QUuid::createUuid();
    const QUuid remote = QUuid::createUuid();
    const auto a = source.cell(1);
    const auto b = source.cell(2);
    const auto c = source.cell(3);
    // A is shown at frame 2 of this layer and in another layer; frame 3 shows
    // a drawing of that other layer.
    b->setKind(LayerItem::DistantCloneKind);
    b->setOriginal({source.identifier(), a->identifier()});
    a->setDistantClones({{source.identifier(), b->identifier()}, {elsewhere, remote}});
    c->setKind(LayerItem::DistantCloneKind);
    c->setOriginal({elsewhere, remote});

    const std::unique_ptr<VisualLayer> copy(static_cast<VisualLayer *>(source.clone()));
    const QUuid own = copy->identifier();

    QCOMPARE(copy->cell(1)->distantClones(), (QList<LayerItem::Key>{{own, b->identifier()}}));
    QCOMPARE(copy->cell(2)->originalLayer(), own);
    QCOMPARE(copy->cell(2)->originalItem(), a->identifier());
    QCOMPARE(copy->cell(3)->originalLayer(), elsewhere);
    QCOMPARE(copy->cell(3)->originalItem(), remote);
}

void TestLayers::strokeLayerPaintsThroughItsColours_data()
{
    QTest::addColumn<bool>("allBlack");
    QTest::addColumn<double>("opacity");
    QTest::addColumn<int>("beyondLast");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QColor>("solid");
    QTest::addColumn<int>("halfAlpha");

    const QColor black(Qt::black);
    const QColor none(Qt::transparent);
    QTest::newRow("own colour") << false << 1.0 << int(Layer::ShowNothing) << 1 << Ink << 128;
    QTest::newRow("all black") << true << 1.0 << int(Layer::ShowNothing) << 1 << black << 128;
    QTest::newRow("half opacity") << false << 0.5 << int(Layer::ShowNothing) << 1
                                  << QColor(200, 40, 20, 128) << 64;
    QTest::newRow("held") << false << 1.0 << int(Layer::ShowNothing) << 2 << Ink << 128;
    QTest::newRow("frozen past the end") << false << 1.0 << int(Layer::FreezeLastDrawing) << 6 << Ink
                                         << 128;
    QTest::newRow("cycled past the end") << false << 1.0 << int(Layer::CycleDrawings) << 4 << Ink << 128;
    QTest::newRow("nothing past the end") << false << 1.0 << int(Layer::ShowNothing) << 3 << none << 0;
    QTest::newRow("frame zero") << false << 1.0 << int(Layer::FreezeLastDrawing) << 0 << none << 0;
}

void TestLayers::strokeLayerPaintsThroughItsColours()
{
    QFETCH(bool, allBlack);
    QFETCH(double, opacity);
    QFETCH(int, beyondLast);
    QFETCH(int, frame);
    QFETCH(QColor, solid);
    QFETCH(int, halfAlpha);

    const auto layer = inkedLayer(QStringLiteral("Aa"));
    layer->setOpacity(opacity);
    layer->setLayerBeyondLast(Layer::LayerBeyondLast(beyondLast));
    const QImage image = painted([&](QPainter *p) { layer->paint(frame, p, QRect(QPoint(), Frame), allBlack); });

    QVERIFY2(near(image.pixelColor(15, 15), solid), qPrintable(image.pixelColor(15, 15).name(QColor::HexArgb)));
    QVERIFY(std::abs(image.pixelColor(65, 65).alpha() - halfAlpha) <= 1);
    QCOMPARE(image.pixelColor(100, 100).alpha(), 0);
}

void TestLayers::backlightTurnsTheColour()
{
    const auto layer = inkedLayer();
    layer->setColor(Qt::red);
    const QImage image = painted([&](QPainter *p) {
        layer->paintBacklight(1, p, QRect(QPoint(), Frame), 120, 0.5);
    });
    QVERIFY(near(image.pixelColor(15, 15), QColor(0, 255, 0, 128)));

    // A new colour shows at once, also in a drawing painted before.
    layer->setColor(Qt::blue);
    const QImage blue = painted([&](QPainter *p) { layer->paint(1, p, QRect(QPoint(), Frame)); });
    QCOMPARE(blue.pixelColor(15, 15), QColor(Qt::blue));
}

void TestLayers::blendingMatchesPainting_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<double>("layerOpacity");
    QTest::addColumn<double>("painterOpacity");
    QTest::addColumn<bool>("backlight");

    QTest::newRow("own colour") << Ink << 1.0 << 1.0 << false;
    QTest::newRow("translucent colour at layer opacity") << QColor(30, 90, 250, 150) << 0.7 << 1.0 << false;
    QTest::newRow("stepped back") << QColor(10, 200, 120) << 0.55 << 0.25 << false;
    QTest::newRow("backlight") << Ink << 1.0 << 1.0 << true;
    QTest::newRow("backlight of a translucent colour at layer opacity")
        << QColor(30, 90, 250, 150) << 0.6 << 1.0 << true;
}

// The scene blends its cached pictures without a painter; they must not
// differ from what painting the layers onto them gives.
void TestLayers::blendingMatchesPainting()
{
    QFETCH(QColor, colour);
    QFETCH(double, layerOpacity);
    QFETCH(double, painterOpacity);
    QFETCH(bool, backlight);

    const auto layer = inkedLayer();
    layer->setColor(colour);
    layer->setOpacity(layerOpacity);
    QImage gradient(QSize(100, 80), QImage::Format_Alpha8);
    for (int y = 0; y < gradient.height(); ++y)
        for (int x = 0; x < gradient.width(); ++x)
            gradient.scanLine(y)[x] = uchar((x * 5 + y * 3) % 256);
    QVERIFY(layer->addStroke(1, std::make_unique<BitmapStroke>(gradient, QRect(40, 20, 100, 80))));

    QImage backdrop(Frame, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < backdrop.height(); ++y)
        for (int x = 0; x < backdrop.width(); ++x)
            backdrop.setPixel(x, y, qPremultiply(qRgba(x % 256, 255 - y, 90, (x * 2 + y) % 256)));
    const QRect target(QPoint(), Frame);

    QImage expected = backdrop;
    {
        QPainter painter(&expected);
        painter.setOpacity(painterOpacity);
        if (backlight)
            layer->paintBacklight(1, &painter, target, -60, 0.3);
        else
            layer->paint(1, &painter, target);
    }
    QImage blended = backdrop;
    if (backlight)
        layer->blendBacklightOnto(1, blended, target, -60, 0.3);
    else
        layer->blendOnto(1, blended, target, painterOpacity);
    QCOMPARE(blended, expected);
}

void TestLayers::strokeBeingDrawnShowsOnItsFrame()
{
    if (!m_gl)
        QSKIP(NoOpenGL);

    const auto layer = inkedLayer();
    layer->setOpacity(0.5);
    PenTool pen(Tool::PenType::Marker);
    pen.setSizeRangeLimits(6.0, 6.0);
    SingleStroke stroke(Frame, &pen);
    for (int x = 20; x <= 140; x += 4) {
        stroke.addPoint({double(x), 100.0, 1.0, 0.0});
        stroke.updateMask();
    }
    stroke.finish();
    stroke.updateMask();

    const QImage image = painted([&](QPainter *p) {
        layer->paintWithActiveStroke(1, p, QRect(QPoint(), Frame), &stroke);
    });
    QVERIFY(near(image.pixelColor(15, 15), QColor(200, 40, 20, 128)));
    QVERIFY(near(image.pixelColor(80, 100), QColor(200, 40, 20, 128)));
    QCOMPARE(image.pixelColor(80, 80).alpha(), 0);
    // Only a frame with a cell takes the stroke.
    QCOMPARE(painted([&](QPainter *p) { layer->paintWithActiveStroke(2, p, QRect(QPoint(), Frame), &stroke); }),
             painted([](QPainter *) {}));
}

void TestLayers::referencePicturesFitTheFrame_data()
{
    QTest::addColumn<int>("beyondLast");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("ownOnly");
    QTest::addColumn<int>("centreAlpha");
    QTest::addColumn<int>("sideAlpha");

    // An 80 x 80 picture in a 160 x 120 frame is drawn 120 x 120, centred.
    QTest::newRow("at layer opacity") << int(Layer::ShowNothing) << 1 << false << 128 << 0;
    QTest::newRow("own picture at full strength") << int(Layer::ShowNothing) << 1 << true << 255 << 0;
    QTest::newRow("frozen past the end") << int(Layer::FreezeLastDrawing) << 4 << false << 128 << 0;
    QTest::newRow("only own frames") << int(Layer::FreezeLastDrawing) << 4 << true << 0 << 0;
    QTest::newRow("nothing past the end") << int(Layer::ShowNothing) << 2 << false << 0 << 0;
}

void TestLayers::referencePicturesFitTheFrame()
{
    QFETCH(int, beyondLast);
    QFETCH(int, frame);
    QFETCH(bool, ownOnly);
    QFETCH(int, centreAlpha);
    QFETCH(int, sideAlpha);

    ReferenceLayer layer(Frame);
    layer.setCell(0, std::make_shared<LayerItem>(picture(QSize(80, 80), Qt::darkGreen)));
    layer.setLayerBeyondLast(Layer::LayerBeyondLast(beyondLast));
    const QImage image = painted([&](QPainter *p) {
        if (ownOnly)
            layer.paint(frame, p, QRect(QPoint(), Frame), true);
        else
            layer.paint(frame, p, QRect(QPoint(), Frame));
    });

    QVERIFY(std::abs(image.pixelColor(80, 60).alpha() - centreAlpha) <= 1);
    QVERIFY(std::abs(image.pixelColor(22, 60).alpha() - centreAlpha) <= 1);
    QCOMPARE(image.pixelColor(10, 60).alpha(), sideAlpha);
    QCOMPARE(image.pixelColor(150, 60).alpha(), sideAlpha);

    // A copy keeps the layer's see-through look.
    layer.setOpacity(0.3);
    const std::unique_ptr<Layer> copy(layer.clone());
    QCOMPARE(static_cast<VisualLayer &>(*copy).opacity(), 0.3);
}

void TestLayers::thumbnailsOnlyForCells_data()
{
    QTest::addColumn<std::shared_ptr<VisualLayer>>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("shown");

    const std::shared_ptr<VisualLayer> ink = inkedLayer();
    const auto reference = std::make_shared<ReferenceLayer>(Frame);
    reference->setCell(0, std::make_shared<LayerItem>(picture(Frame, Qt::darkGreen)));
    QTest::newRow("drawing") << ink << 1 << true;
    QTest::newRow("no drawing there") << ink << 2 << false;
    QTest::newRow("picture") << std::shared_ptr<VisualLayer>(reference) << 1 << true;
    QTest::newRow("no picture there") << std::shared_ptr<VisualLayer>(reference) << 0 << false;
}

void TestLayers::thumbnailsOnlyForCells()
{
    QFETCH(std::shared_ptr<VisualLayer>, layer);
    QFETCH(int, frame);
    QFETCH(bool, shown);

    layer->setLayerBeyondLast(Layer::FreezeLastDrawing);
    const QImage thumbnail = layer->thumbnail(frame, QSize(40, 30));
    QCOMPARE(thumbnail.isNull(), !shown);
    // Both show something at the place of the solid patch of ink (15, 15),
    // a quarter of the way in.
    if (shown)
        QVERIFY(thumbnail.pixelColor(4, 4).alpha() > 0);
}

void TestLayers::liftedSelectionIsLargeEnoughToGrab_data()
{
    QTest::addColumn<QRect>("ink");
    QTest::addColumn<QRectF>("lasso");
    QTest::addColumn<QSize>("size");

    QTest::newRow("tiny stroke") << QRect(50, 50, 4, 2) << QRectF(40, 40, 30, 30) << QSize(50, 25);
    QTest::newRow("ordinary stroke") << QRect(20, 20, 40, 30) << QRectF(10, 10, 80, 80) << QSize(40, 30);
    QTest::newRow("empty lasso") << QRect(20, 20, 40, 30) << QRectF(120, 100, 20, 10) << QSize();
}

void TestLayers::liftedSelectionIsLargeEnoughToGrab()
{
    QFETCH(QRect, ink);
    QFETCH(QRectF, lasso);
    QFETCH(QSize, size);

    StrokeLayer layer(Ink, Frame);
    layer.setOpacity(0.75);
    layer.addStroke(1, bitmapStroke(ink, 255));
    QPainterPath path;
    path.addRect(lasso);

    const auto selection = layer.floatingSelectionContent(1, path);
    QVERIFY(!layer.floatingSelectionContent(2, path));
    if (!size.isValid()) {
        QVERIFY(!selection);
        return;
    }
    QVERIFY(selection);
    QCOMPARE(selection->image().size(), size);
    QCOMPARE(selection->image().pixelColor(size.width() / 2, size.height() / 2), Ink);
    QCOMPARE(selection->opacity(), 0.75);
    // Lifting copies: the drawing still shows the ink.
    QVERIFY(!layer.cell(1)->drawing()->isEmpty());
}

void TestLayers::annotationFrames_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("edit");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QList<int>>("notes");

    // Frame f of the starting layer carries a note of coverage f; 0 is none.
    QTest::newRow("insert after 2") << 3 << int(Insert) << 2 << QList<int>{1, 2, 0, 3};
    // In step with the cells of linked layers, which take a frame at the
    // start too, and with undo, which takes frame 1 away again.
    QTest::newRow("insert at the start") << 3 << int(Insert) << 0 << QList<int>{0, 1, 2, 3};
    QTest::newRow("insert past the list pads") << 1 << int(Insert) << 3 << QList<int>{1, 0, 0, 0};
    QTest::newRow("extend is insert") << 2 << int(Extend) << 1 << QList<int>{1, 0, 2};
    QTest::newRow("remove") << 3 << int(Remove) << 2 << QList<int>{1, 3};
    QTest::newRow("remove nothing") << 3 << int(Remove) << 0 << QList<int>{1, 2, 3};
    QTest::newRow("remove past the list") << 3 << int(Remove) << 4 << QList<int>{1, 2, 3};
}

void TestLayers::annotationFrames()
{
    QFETCH(int, frames);
    QFETCH(int, edit);
    QFETCH(int, frame);
    QFETCH(QList<int>, notes);

    AnnotationLayer layer;
    for (int f = 1; f <= frames; ++f)
        layer.appendImage(alpha8(QSize(8, 4), uchar(f)));
    if (edit == Insert)
        layer.insertFrame(frame);
    else if (edit == Extend)
        layer.extendFrame(frame);
    else
        QCOMPARE(layer.removeFrame(frame).size(), frame >= 1 && frame <= frames ? 1 : 0);

    QList<int> found;
    for (int f = 1; f <= layer.imageCount(); ++f) {
        const QImage image = layer.image(f);
        found.append(image.isNull() ? 0 : image.constBits()[0]);
    }
    QCOMPARE(found, notes);
    QVERIFY(layer.image(layer.imageCount() + 1).isNull());
}

void TestLayers::annotationThumbnails()
{
    AnnotationLayer layer;
    const auto records = layer.setImage(3, alpha8(QSize(40, 20), 255));
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().kind(), LayerChange::PutImageBack);
    QVERIFY(records.first().image().isNull());
    QCOMPARE(layer.imageCount(), 3);

    QVERIFY(layer.thumbnail(1, QSize(20, 20)).isNull());
    QVERIFY(layer.thumbnail(4, QSize(20, 20)).isNull());
    const QImage thumbnail = layer.thumbnail(3, QSize(20, 20));
    QCOMPARE(thumbnail.size(), QSize(20, 20));
    QCOMPARE(thumbnail.pixelColor(10, 10), QColor(185, 183, 181));
    // A note in another depth is read as coverage, never past its bytes.
    layer.setImage(1, QImage(40, 20, QImage::Format_Mono));
    QCOMPARE(layer.thumbnail(1, QSize(20, 20)).size(), QSize(20, 20));
}

QTEST_MAIN(TestLayers)
#include "tst_layers.moc"
