#include "scene/scene.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "render/alphacomposition.h"
#include "render/bandedcomposition.h"
#include "scenetesthelpers.h"
#include "settings/backlightsettings.h"
#include "settings/settings.h"
#include "strokes/bitmapstroke.h"
#include "tools/toolmanager.h"

#include <QBuffer>
#include <QDataStream>
#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <functional>
#include <tuple>

using namespace Model;
using namespace SceneTest;

using PaintFunction = void (Scene::*)(QPainter *, const QRect &) const;
using SceneSetup = std::function<void(Scene &)>;
Q_DECLARE_METATYPE(SceneSetup)

namespace {

// Frame f of a layer carries a 4x4 dot of full coverage at its own place, so
// that every frame can be told apart in one picture.
QRect dotOfFrame(int frame)
{
    return QRect(frame * 6, 10, 4, 4);
}

void addDot(Scene &scene, int layer, int frame, const QRect &rect)
{
    auto *strokeLayer = qobject_cast<StrokeLayer *>(scene.layerAt(layer).get());
    QVERIFY(strokeLayer);
    QImage coverage(rect.size(), QImage::Format_Alpha8);
    coverage.fill(255);
    QVERIFY(strokeLayer->addStroke(frame, std::make_unique<BitmapStroke>(coverage, rect)));
}

// A stroke layer of the given cells in colour, each original with the dot
// of its frame.
int addDottedLayer(Scene &scene, const QString &cells, const QColor &color)
{
    const int layer = addStrokeLayer(scene, cells);
    scene.setLayerColor(layer, color);
    for (int frame = 1; frame <= cells.size(); ++frame) {
        if (cells.at(frame - 1) == u'X')
            addDot(scene, layer, frame, dotOfFrame(frame));
    }
    // Cells edited on the layer itself bypass the scene's refresh.
    scene.updateCachedFramePixmap();
    return layer;
}

QImage picture(const Scene &scene, PaintFunction paint)
{
    QImage image(scene.frameSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    (scene.*paint)(&painter, scene.frameRect());
    return image;
}

// A frame tall enough to be composed in several bands of rows.
const QSize BandedFrame(200, 150);

// Coverage of every value, with empty stretches between, different for
// every layer and frame.
QImage bandedCoverage(int layer, int frame)
{
    QImage coverage(QSize(120, 110), QImage::Format_Alpha8);
    for (int y = 0; y < coverage.height(); ++y) {
        uchar *line = coverage.scanLine(y);
        for (int x = 0; x < coverage.width(); ++x) {
            const bool empty = (x + 2 * y + 5 * frame + 11 * layer) / 7 % 3 == 0;
            line[x] = empty ? 0 : uchar((x * 7 + y * 13 + layer * 31 + frame * 17) % 256);
        }
    }
    return coverage;
}

// A layer of the given cells whose every original carries ink across most
// of the frame, overlapping the other layers' ink and its own frames'; a
// "ref:" pattern gives a reference layer of translucent pictures.
void addBandedLayer(Scene &scene, const QString &pattern, int number)
{
    static const QList<QColor> colours{QColor(200, 30, 30), QColor(20, 120, 220, 170), QColor(40, 160, 60),
                                       QColor(120, 40, 160)};
    const bool reference = pattern.startsWith(u"ref:");
    std::shared_ptr<VisualLayer> layer;
    if (reference)
        layer = std::make_shared<ReferenceLayer>(BandedFrame, &scene);
    else
        layer = std::make_shared<StrokeLayer>(colours.at(number % colours.size()), BandedFrame, &scene);
    setCells(*layer, reference ? pattern.mid(4) : pattern);
    for (int frame = 1; frame <= layer->frameCount(); ++frame) {
        if (layer->cell(frame)->kind() != LayerItem::OriginalKind)
            continue;
        if (reference) {
            QImage picture(BandedFrame, QImage::Format_ARGB32);
            picture.fill(QColor(90, 60 + 20 * frame, 30, 120));
            layer->cell(frame)->setDrawing(std::make_shared<ImageDrawing>(picture));
            continue;
        }
        const QRect rect(10 * number + 7 * frame, 6 * number + 4 * frame, 120, 110);
        QVERIFY(static_cast<StrokeLayer &>(*layer).addStroke(
            frame, std::make_unique<BitmapStroke>(bandedCoverage(number, frame), rect)));
    }
    scene.insertLayer(layer, scene.layerCount());
}

void buildBandedScene(Scene &scene, const QStringList &layers)
{
    scene.setFrameSize(BandedFrame, KL::FitMode::FitModeIgnore);
    for (const QString &pattern : layers)
        addBandedLayer(scene, pattern, int(scene.layerCount()));
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 1, 0);
}

// Every drawing of the layer replaced by a copy read back from its record,
// as a scene file or the clipboard gives it.
void readBackDrawings(Scene &scene, int layerIndex)
{
    auto *layer = qobject_cast<StrokeLayer *>(scene.layerAt(layerIndex).get());
    QVERIFY(layer);
    for (int frame = 1; frame <= layer->frameCount(); ++frame) {
        const std::shared_ptr<LayerItem> item = layer->cell(frame);
        if (item->kind() != LayerItem::OriginalKind)
            continue;
        QByteArray record;
        {
            QDataStream out(&record, QIODevice::WriteOnly);
            out << static_cast<const StrokeDrawing &>(*item->drawing());
        }
        auto read = std::make_shared<StrokeDrawing>(QSize());
        QDataStream in(record);
        in >> *read;
        QCOMPARE(in.status(), QDataStream::Ok);
        item->setDrawing(read);
        // The holds after it show the same drawing.
        for (int next = frame + 1; next <= layer->frameCount() && layer->cell(next)->kind() == LayerItem::CloneKind;
             ++next)
            layer->cell(next)->setDrawing(read);
    }
}

QList<QImage> cachedPictures(const Scene &scene)
{
    return {picture(scene, &Scene::paintBacklight), picture(scene, &Scene::paintCurrentFrame),
            picture(scene, &Scene::paintFrame)};
}

QColor colourAt(const QImage &image, const QRect &dot)
{
    return image.pixelColor(dot.center());
}

BacklightSettings backlight(const QList<double> &before, const QList<double> &after,
                            BacklightSetting::ShowOption show,
                            BacklightSetting::HueShift hue = BacklightSetting::UseHueShift)
{
    BacklightSettings settings;
    settings.on = true;
    settings.current = BacklightSettings::BacklightSettingA;
    settings.settingA.opacityLevelsBefore = before;
    settings.settingA.opacityLevelsAfter = after;
    settings.settingA.hueShift = hue;
    settings.settingA.showOption = show;
    settings.settingA.layers = BacklightSetting::BacklightVisibleLayers;
    return settings;
}

QList<int> markedFrames(const Scene &scene)
{
    QList<int> frames;
    for (int frame = 1; frame <= scene.maximumFrameNumber() + 1; ++frame) {
        if (scene.isBacklightFrame(frame))
            frames.append(frame);
    }
    return frames;
}

QString describe(const QColor &color)
{
    return QStringLiteral("hue %1 alpha %2 (%3)").arg(color.hsvHue()).arg(color.alpha()).arg(color.name(QColor::HexArgb));
}

} // namespace

class TestSceneCompositing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // Which frames the backlight shows
    void backlightFrames_data();
    void backlightFrames();
    void onlyKeyFrames();

    // How the backlight looks
    void backlightLevelsAndHues_data();
    void backlightLevelsAndHues();
    void backlightOffIsTransparent();
    void cachedPicturesMatchPaintedLayers();
    void hidingTheOnlyLayerClearsTheBacklight();
    void onlyTheCurrentSetRefreshes_data();
    void onlyTheCurrentSetRefreshes();

    // The cached pictures
    void activeLayerLiesOnTop_data();
    void activeLayerLiesOnTop();
    void framePastTheRangeShowsNothing();
    void selectionToolDimsTheOtherLayers();
    void scrubbedFrameIsPaintedLive();
    void paintingStaysInsideTheFrame();
    void threadedPicturesMatchOneThread_data();
    void threadedPicturesMatchOneThread();
};

void TestSceneCompositing::initTestCase()
{
    initAlphaCompositionTables();
    ToolManager::instance()->createTools();
}

void TestSceneCompositing::init()
{
    QSettings().clear();
    Settings::instance()->setDefaultFrameSize(FrameSize);
    ToolManager::instance()->setCurrentTool(Tool::Type::Pen);
}

void TestSceneCompositing::cleanup()
{
    ToolManager::instance()->setCurrentTool(Tool::Type::None);
    setCompositionThreadCount(0);
}

// Which frames the backlight shows, as the exposure sheet marks them: the
// active frame and every frame shown behind it.
void TestSceneCompositing::backlightFrames_data()
{
    QTest::addColumn<QString>("cells");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("frame");
    QTest::addColumn<BacklightSetting::ShowOption>("show");
    QTest::addColumn<QList<double>>("before");
    QTest::addColumn<QList<double>>("after");
    QTest::addColumn<QList<int>>("marked");

    const QString nine = QStringLiteral("XXXXXXXXX");
    QTest::newRow("two before, one after") << nine << 1 << 9 << 5 << BacklightSetting::StopAtEnds
                                           << QList<double>{0.5, 0.3} << QList<double>{0.4}
                                           << QList<int>{3, 4, 5, 6};
    QTest::newRow("a level of 0.01 leaves a gap") << nine << 1 << 9 << 5 << BacklightSetting::StopAtEnds
                                                  << QList<double>{0.01, 0.3} << QList<double>{}
                                                  << QList<int>{3, 5};
    QTest::newRow("holds are skipped") << QStringLiteral("X--X--X--X") << 1 << 10 << 5
                                       << BacklightSetting::StopAtEnds << QList<double>{0.3, 0.3}
                                       << QList<double>{0.3, 0.3} << QList<int>{1, 5, 7, 10};
    QTest::newRow("stop at the range's start") << nine << 3 << 7 << 4 << BacklightSetting::StopAtEnds
                                               << QList<double>{0.3, 0.3, 0.3} << QList<double>{}
                                               << QList<int>{3, 4};
    QTest::newRow("stop at the range's end") << nine << 3 << 7 << 7 << BacklightSetting::StopAtEnds
                                             << QList<double>{} << QList<double>{0.3, 0.3}
                                             << QList<int>{7};
    QTest::newRow("wrap at the range's end") << nine << 3 << 7 << 7 << BacklightSetting::WrapAtEnds
                                             << QList<double>{0.3} << QList<double>{0.3}
                                             << QList<int>{3, 6, 7};
    QTest::newRow("wrap at the range's start") << nine << 3 << 7 << 3 << BacklightSetting::WrapAtEnds
                                               << QList<double>{0.3, 0.3} << QList<double>{}
                                               << QList<int>{3, 6, 7};
    QTest::newRow("outside the range") << nine << 3 << 7 << 3 << BacklightSetting::ShowOutsideRange
                                       << QList<double>{0.3, 0.3, 0.3} << QList<double>{}
                                       << QList<int>{1, 2, 3};
    // The empty frame after the last cell, past the range, still starts
    // the backlight from there.
    QTest::newRow("frame after the last cell") << QStringLiteral("XXXX") << 1 << 4 << 5
                                               << BacklightSetting::StopAtEnds << QList<double>{0.3, 0.3}
                                               << QList<double>{0.3} << QList<int>{3, 4, 5};
}

void TestSceneCompositing::backlightFrames()
{
    QFETCH(QString, cells);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, frame);
    QFETCH(BacklightSetting::ShowOption, show);
    QFETCH(QList<double>, before);
    QFETCH(QList<double>, after);
    QFETCH(QList<int>, marked);

    Scene scene;
    addStrokeLayer(scene, cells);
    scene.setFrameRange(first, last, first, 0);
    scene.setActiveFrameAndLayer(frame, 0, Scene::AllowFrameAfterLast);
    QCOMPARE(scene.activeFrame(), frame);
    QSignalSpy framesChanged(&scene, &Scene::backlightFramesChanged);

    scene.setBacklightSettings(backlight(before, after, show));

    QCOMPARE(markedFrames(scene), marked);
    QCOMPARE(framesChanged.count(), 1);
}

void TestSceneCompositing::onlyKeyFrames()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXXXXXXXX"));
    scene.setFrameRange(1, 9, 5, 0);
    for (int frame : {2, 5, 8, 9})
        scene.setKeyDrawing(0, frame, true);
    BacklightSettings settings = backlight({0.3, 0.3}, {0.3, 0.3}, BacklightSetting::StopAtEnds);
    scene.setBacklightSettings(settings);
    QCOMPARE(markedFrames(scene), (QList<int>{3, 4, 5, 6, 7}));

    settings.onlyKeyFrames = true;
    scene.setBacklightSettings(settings);

    QCOMPARE(markedFrames(scene), (QList<int>{2, 5, 8, 9}));
}

// Each frame's dot in the backlight: its level as alpha, its hue turned by
// 30 degrees a step, forwards before the current frame and back after it.
void TestSceneCompositing::backlightLevelsAndHues_data()
{
    QTest::addColumn<BacklightSetting::HueShift>("hueShift");
    QTest::addColumn<int>("hueOf3");
    QTest::addColumn<int>("hueOf4");
    QTest::addColumn<int>("hueOf6");
    QTest::newRow("hue shift") << BacklightSetting::UseHueShift << 60 << 30 << 330;
    QTest::newRow("no hue shift") << BacklightSetting::NoHueShift << 0 << 0 << 0;
}

void TestSceneCompositing::backlightLevelsAndHues()
{
    QFETCH(BacklightSetting::HueShift, hueShift);
    QFETCH(int, hueOf3);
    QFETCH(int, hueOf4);
    QFETCH(int, hueOf6);

    Scene scene;
    addDottedLayer(scene, QStringLiteral("XXXXXXXXX"), Qt::red);
    scene.setFrameRange(1, 9, 5, 0);
    scene.setBacklightSettings(backlight({0.5, 0.3}, {0.4}, BacklightSetting::StopAtEnds, hueShift));

    const QImage light = picture(scene, &Scene::paintBacklight);
    const QList<std::tuple<int, int, int>> expected{{3, hueOf3, 77}, {4, hueOf4, 128}, {6, hueOf6, 102}};
    for (const auto &[frame, hue, alpha] : expected) {
        const QColor colour = colourAt(light, dotOfFrame(frame));
        QVERIFY2(std::abs(colour.alpha() - alpha) <= 1, qPrintable(describe(colour)));
        const int hueError = std::abs(colour.hsvHue() - hue);
        QVERIFY2(std::min(hueError, 360 - hueError) <= 3, qPrintable(describe(colour)));
    }
    for (int frame : {1, 2, 5, 7, 8, 9})
        QCOMPARE(colourAt(light, dotOfFrame(frame)).alpha(), 0);

    // The composite shows the current frame in full over its backlight.
    const QImage frame = picture(scene, &Scene::paintFrame);
    QCOMPARE(colourAt(frame, dotOfFrame(5)), QColor(Qt::red));
    QCOMPARE(colourAt(frame, dotOfFrame(4)), colourAt(light, dotOfFrame(4)));
    QCOMPARE(colourAt(picture(scene, &Scene::paintCurrentFrame), dotOfFrame(4)).alpha(), 0);
}

void TestSceneCompositing::backlightOffIsTransparent()
{
    Scene scene;
    addDottedLayer(scene, QStringLiteral("XXXXX"), Qt::red);
    scene.setFrameRange(1, 5, 3, 0);
    BacklightSettings settings = backlight({0.5}, {0.5}, BacklightSetting::StopAtEnds);
    scene.setBacklightSettings(settings);
    QVERIFY(colourAt(picture(scene, &Scene::paintBacklight), dotOfFrame(2)).alpha() > 0);
    QSignalSpy framesChanged(&scene, &Scene::backlightFramesChanged);
    QSignalSpy repaint(&scene, &Scene::rectChanged);

    settings.on = false;
    scene.setBacklightSettings(settings);

    QImage transparent(scene.frameSize(), QImage::Format_ARGB32_Premultiplied);
    transparent.fill(Qt::transparent);
    QCOMPARE(picture(scene, &Scene::paintBacklight), transparent);
    QCOMPARE(markedFrames(scene), QList<int>());
    QCOMPARE(framesChanged.count(), 1);
    QCOMPARE(repaint.count(), 1);
    QCOMPARE(repaint.at(0).at(0).toRect(), scene.frameRect());
}

// The cached pictures are blended without a painter, and off the pegs with
// one; both must give what painting every layer through a QPainter gives,
// for a translucent layer colour and a layer opacity alike.
void TestSceneCompositing::cachedPicturesMatchPaintedLayers()
{
    Scene scene;
    const int translucent = addStrokeLayer(scene, QStringLiteral("XXX"));
    const int faded = addStrokeLayer(scene, QStringLiteral("XXX"));
    scene.setLayerColor(translucent, QColor(30, 90, 250, 150));
    scene.setLayerColor(faded, QColor(200, 40, 20));
    QVERIFY(scene.setLayerOpacity(faded, 0.6));
    QList<StrokeLayer *> layers;
    for (int index : {translucent, faded}) {
        auto *layer = qobject_cast<StrokeLayer *>(scene.layerAt(index).get());
        QVERIFY(layer);
        layers.append(layer);
        for (int frame = 1; frame <= 3; ++frame) {
            // Every coverage value, where the frames overlap one another.
            QImage coverage(QSize(40, 30), QImage::Format_Alpha8);
            for (int y = 0; y < coverage.height(); ++y)
                for (int x = 0; x < coverage.width(); ++x)
                    coverage.scanLine(y)[x] = uchar((x * 9 + y * 5 + frame * 20) % 256);
            const QRect rect(10 + 60 * index + 5 * frame, 10 + 4 * frame, 40, 30);
            QVERIFY(layer->addStroke(frame, std::make_unique<BitmapStroke>(coverage, rect)));
        }
    }
    QVERIFY(scene.setOffPegsTransform(3, faded, QTransform::fromTranslate(7, -3)));
    scene.setFrameRange(1, 3, 2, 0);
    scene.setActiveFrameAndLayer(2, faded, Scene::ClampToDrawings);
    scene.setBacklightSettings(backlight({0.4}, {0.3}, BacklightSetting::StopAtEnds));

    // Farthest first: frame 1 before, frame 3 after; the layers do not
    // overlap, so their order within a frame does not show.
    const QRect all = scene.frameRect();
    QImage light(scene.frameSize(), QImage::Format_ARGB32_Premultiplied);
    light.fill(Qt::transparent);
    {
        QPainter painter(&light);
        for (const auto &[frame, level, hue] : {std::tuple{1, 0.4, 30}, std::tuple{3, 0.3, -30}}) {
            painter.save();
            painter.setTransform(scene.offPegsTransform(frame).inverted());
            for (const StrokeLayer *layer : std::as_const(layers))
                layer->paintBacklight(frame, &painter, all, hue, level);
            painter.restore();
        }
    }
    QImage current(scene.frameSize(), QImage::Format_ARGB32_Premultiplied);
    current.fill(Qt::transparent);
    {
        QPainter painter(&current);
        for (const StrokeLayer *layer : std::as_const(layers))
            layer->paint(2, &painter, all);
    }
    QImage composite = light;
    {
        QPainter painter(&composite);
        painter.drawImage(0, 0, current);
    }

    QCOMPARE(picture(scene, &Scene::paintBacklight), light);
    QCOMPARE(picture(scene, &Scene::paintCurrentFrame), current);
    QCOMPARE(picture(scene, &Scene::paintFrame), composite);
}

void TestSceneCompositing::hidingTheOnlyLayerClearsTheBacklight()
{
    Scene scene;
    addDottedLayer(scene, QStringLiteral("XXXXX"), Qt::red);
    scene.setFrameRange(1, 5, 3, 0);
    scene.setBacklightSettings(backlight({0.5}, {0.5}, BacklightSetting::StopAtEnds));

    scene.setLayerVisible(0, false);

    QImage transparent(scene.frameSize(), QImage::Format_ARGB32_Premultiplied);
    transparent.fill(Qt::transparent);
    QCOMPARE(picture(scene, &Scene::paintBacklight), transparent);
    QCOMPARE(picture(scene, &Scene::paintFrame), transparent);
}

void TestSceneCompositing::onlyTheCurrentSetRefreshes_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("refreshed");
    QTest::newRow("nothing") << QStringLiteral("nothing") << false;
    QTest::newRow("set B, not current") << QStringLiteral("other set") << false;
    QTest::newRow("a level of set A") << QStringLiteral("level") << true;
    QTest::newRow("hue shift of set A") << QStringLiteral("hue") << true;
    QTest::newRow("current set") << QStringLiteral("current") << true;
    QTest::newRow("only key frames") << QStringLiteral("keys") << true;
}

void TestSceneCompositing::onlyTheCurrentSetRefreshes()
{
    QFETCH(QString, change);
    QFETCH(bool, refreshed);

    Scene scene;
    addDottedLayer(scene, QStringLiteral("XXXXX"), Qt::red);
    scene.setFrameRange(1, 5, 3, 0);
    BacklightSettings settings = backlight({0.5}, {0.5}, BacklightSetting::StopAtEnds);
    scene.setBacklightSettings(settings);
    QSignalSpy framesChanged(&scene, &Scene::backlightFramesChanged);
    QSignalSpy repaint(&scene, &Scene::rectChanged);

    if (change == u"other set")
        settings.settingB.opacityLevelsBefore = {0.9, 0.9};
    else if (change == u"level")
        settings.settingA.opacityLevelsBefore = {0.6};
    else if (change == u"hue")
        settings.settingA.hueShift = BacklightSetting::NoHueShift;
    else if (change == u"current")
        settings.current = BacklightSettings::BacklightSettingB;
    else if (change == u"keys")
        settings.onlyKeyFrames = true;
    scene.setBacklightSettings(settings);

    QCOMPARE(framesChanged.count(), refreshed ? 1 : 0);
    QCOMPARE(repaint.count(), refreshed ? 1 : 0);
}

// Two overlapping layers: whichever is active covers the other in the
// cached pictures, wherever it stands in the ordering.
void TestSceneCompositing::activeLayerLiesOnTop_data()
{
    QTest::addColumn<int>("active");
    QTest::addColumn<QColor>("seen");
    QTest::newRow("top layer active") << 0 << QColor(Qt::red);
    QTest::newRow("bottom layer active") << 1 << QColor(Qt::blue);
}

void TestSceneCompositing::activeLayerLiesOnTop()
{
    QFETCH(int, active);
    QFETCH(QColor, seen);

    Scene scene;
    addDottedLayer(scene, QStringLiteral("XXX"), Qt::red);
    addDottedLayer(scene, QStringLiteral("XXX"), Qt::blue);
    QCOMPARE(scene.layerOrdering(), (QList<int>{0, 1}));
    scene.setFrameRange(1, 3, 2, active);
    scene.setBacklightSettings(backlight({1.0}, {}, BacklightSetting::StopAtEnds, BacklightSetting::NoHueShift));
    QCOMPARE(scene.activeLayerIdx(), active);

    QCOMPARE(colourAt(picture(scene, &Scene::paintCurrentFrame), dotOfFrame(2)), seen);
    QCOMPARE(colourAt(picture(scene, &Scene::paintFrame), dotOfFrame(2)), seen);
    QCOMPARE(colourAt(picture(scene, &Scene::paintBacklight), dotOfFrame(1)), seen);
}

void TestSceneCompositing::framePastTheRangeShowsNothing()
{
    Scene scene;
    addDottedLayer(scene, QStringLiteral("XXXX"), Qt::red);
    scene.setFrameRange(1, 4, 4, 0);
    scene.setBacklightSettings(backlight({1.0}, {}, BacklightSetting::StopAtEnds, BacklightSetting::NoHueShift));
    // The empty frame after the last cell, where a new drawing would go.
    QVERIFY(scene.setActiveFrameAndLayer(5, 0, Scene::AllowFrameAfterLast));
    QCOMPARE(scene.activeFrame(), 5);

    const QImage current = picture(scene, &Scene::paintCurrentFrame);
    for (int frame = 1; frame <= 4; ++frame)
        QCOMPARE(colourAt(current, dotOfFrame(frame)).alpha(), 0);
    // The backlight counts back from there: the last drawing shows.
    QCOMPARE(colourAt(picture(scene, &Scene::paintFrame), dotOfFrame(4)), QColor(Qt::red));
}

void TestSceneCompositing::selectionToolDimsTheOtherLayers()
{
    Scene scene;
    const int other = addStrokeLayer(scene, QStringLiteral("X"));
    const int active = addStrokeLayer(scene, QStringLiteral("X"));
    scene.setLayerColor(other, Qt::red);
    scene.setLayerColor(active, Qt::blue);
    addDot(scene, other, 1, QRect(4, 4, 4, 4));
    addDot(scene, active, 1, QRect(20, 4, 4, 4));
    scene.setActiveFrameAndLayer(1, active, Scene::ClampToDrawings);
    QCOMPARE(scene.activeLayerIdx(), active);

    ToolManager::instance()->setCurrentTool(Tool::Type::Lasso);
    scene.updateCachedFramePixmap();

    const QImage frame = picture(scene, &Scene::paintFrame);
    const QColor dimmed = frame.pixelColor(5, 5);
    QVERIFY2(std::abs(dimmed.alpha() - 64) <= 1, qPrintable(describe(dimmed)));
    QCOMPARE(frame.pixelColor(21, 5), QColor(Qt::blue));
    // The current frame alone is not dimmed.
    QCOMPARE(picture(scene, &Scene::paintCurrentFrame).pixelColor(5, 5), QColor(Qt::red));

    ToolManager::instance()->setCurrentTool(Tool::Type::Pen);
    scene.updateCachedFramePixmap();
    QCOMPARE(picture(scene, &Scene::paintFrame).pixelColor(5, 5), QColor(Qt::red));
}

void TestSceneCompositing::scrubbedFrameIsPaintedLive()
{
    Scene scene;
    addDottedLayer(scene, QStringLiteral("XXXXX"), Qt::red);
    scene.setFrameRange(1, 5, 2, 0);
    scene.setBacklightSettings(backlight({1.0}, {1.0}, BacklightSetting::StopAtEnds));

    QVERIFY(scene.setScrubFrame(4));

    const QImage frame = picture(scene, &Scene::paintFrame);
    QCOMPARE(colourAt(frame, dotOfFrame(4)), QColor(Qt::red));
    for (int other : {1, 2, 3, 5})
        QCOMPARE(colourAt(frame, dotOfFrame(other)).alpha(), 0);
    QCOMPARE(colourAt(picture(scene, &Scene::paintCurrentFrame), dotOfFrame(4)), QColor(Qt::red));
    QImage transparent(scene.frameSize(), QImage::Format_ARGB32_Premultiplied);
    transparent.fill(Qt::transparent);
    QCOMPARE(picture(scene, &Scene::paintBacklight), transparent);
}

void TestSceneCompositing::paintingStaysInsideTheFrame()
{
    Scene scene;
    addDottedLayer(scene, QStringLiteral("XX"), Qt::red);
    addDot(scene, 0, 1, QRect(0, 0, 64, 48));
    scene.updateCachedFramePixmap();

    QImage image(100, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(10, 10);
    // Half outside the frame, half inside its bottom-right corner.
    scene.paintFrame(&painter, QRect(40, 30, 60, 60));
    painter.end();

    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const bool inside = QRect(50, 40, 24, 18).contains(x, y);
            QCOMPARE(image.pixelColor(x, y).alpha(), inside ? 255 : 0);
        }
    }
}

// The cached pictures are composed in bands of rows on several threads, over
// the pictures of the frame shown before. Whatever the scene, they must be
// the very pixels that one thread composing fresh pictures gives.
void TestSceneCompositing::threadedPicturesMatchOneThread_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("active");
    QTest::addColumn<SceneSetup>("setup");

    const QStringList four{QStringLiteral("XXXXXXXX"), QStringLiteral("X-X-XX-X"), QStringLiteral("XX--XXXX"),
                           QStringLiteral("X-XXXX-X")};
    const auto lit = [](const QList<double> &before, const QList<double> &after, BacklightSetting::ShowOption show,
                        BacklightSetting::HueShift hue = BacklightSetting::UseHueShift) {
        return SceneSetup([=](Scene &scene) { scene.setBacklightSettings(backlight(before, after, show, hue)); });
    };
    const SceneSetup fourAndFour = lit({0.4, 0.3, 0.2, 0.1}, {0.4, 0.3, 0.2, 0.1}, BacklightSetting::StopAtEnds);

    QTest::newRow("backlight off") << four << 4 << 0 << SceneSetup([](Scene &) {});
    QTest::newRow("backlight 4 + 4") << four << 4 << 1 << fourAndFour;
    QTest::newRow("layer opacities") << four << 5 << 2 << SceneSetup([=](Scene &scene) {
        scene.setLayerOpacity(0, 0.35);
        scene.setLayerOpacity(3, 0.8);
        fourAndFour(scene);
    });
    QTest::newRow("hidden layer") << four << 5 << 0 << SceneSetup([=](Scene &scene) {
        scene.setLayerVisible(2, false);
        fourAndFour(scene);
    });
    QTest::newRow("active layer only") << four << 4 << 3 << SceneSetup([](Scene &scene) {
        BacklightSettings settings = backlight({0.5, 0.3}, {0.5, 0.3}, BacklightSetting::StopAtEnds);
        settings.settingA.layers = BacklightSetting::BacklightActiveLayerOnly;
        scene.setBacklightSettings(settings);
    });
    QTest::newRow("no hue shift, wrapping") << four << 8 << 0
                                            << lit({0.6, 0.2}, {0.6, 0.2}, BacklightSetting::WrapAtEnds,
                                                   BacklightSetting::NoHueShift);
    QTest::newRow("outside the range") << four << 3 << 1 << SceneSetup([=](Scene &scene) {
        scene.setFrameRange(3, 6, 3, 1);
        lit({0.5, 0.4, 0.3}, {0.5}, BacklightSetting::ShowOutsideRange)(scene);
    });
    QTest::newRow("off pegs") << four << 4 << 0 << SceneSetup([=](Scene &scene) {
        QTransform turned;
        turned.translate(30, -10).rotate(12);
        scene.setOffPegsTransform(3, 0, turned);
        scene.setOffPegsTransform(4, 1, QTransform::fromTranslate(-17, 9));
        scene.setOffPegsTransform(6, 2, QTransform::fromScale(0.8, 1.1));
        fourAndFour(scene);
    });
    QTest::newRow("frozen past the last cell") << QStringList{QStringLiteral("XXX"), QStringLiteral("XXXXXX")} << 6 << 1
                                               << SceneSetup([=](Scene &scene) {
                                                      scene.setLayerBeyondLast(0, Layer::FreezeLastDrawing);
                                                      fourAndFour(scene);
                                                  });
    QTest::newRow("cycling past the last cell") << QStringList{QStringLiteral("XX-"), QStringLiteral("XXXXXXX")} << 7
                                                << 1 << SceneSetup([=](Scene &scene) {
                                                       scene.setLayerBeyondLast(0, Layer::CycleDrawings);
                                                       fourAndFour(scene);
                                                   });
    QTest::newRow("reference layer") << QStringList{QStringLiteral("ref:X-X-X-"), QStringLiteral("XXXXXX"),
                                                    QStringLiteral("X-XXX-")}
                                     << 3 << 1 << fourAndFour;
    QTest::newRow("selection tool dims the others") << four << 4 << 2 << SceneSetup([=](Scene &scene) {
        fourAndFour(scene);
        ToolManager::instance()->setCurrentTool(Tool::Type::Lasso);
    });
    QTest::newRow("drawings read from their records") << four << 5 << 0 << SceneSetup([=](Scene &scene) {
        for (int layer = 0; layer < scene.layerCount(); ++layer)
            readBackDrawings(scene, layer);
        fourAndFour(scene);
    });
}

void TestSceneCompositing::threadedPicturesMatchOneThread()
{
    QFETCH(QStringList, layers);
    QFETCH(int, frame);
    QFETCH(int, active);
    QFETCH(SceneSetup, setup);

    setCompositionThreadCount(1);
    Scene alone;
    buildBandedScene(alone, layers);
    setup(alone);
    alone.setActiveFrameAndLayer(frame, active, Scene::AllowFrameAfterLast);
    QCOMPARE(alone.activeFrame(), frame);
    QCOMPARE(alone.activeLayerIdx(), active);
    alone.updateCachedFramePixmap();
    const QList<QImage> expected = cachedPictures(alone);

    setCompositionThreadCount(4);
    Scene spread;
    buildBandedScene(spread, layers);
    setup(spread);
    // Every other frame first, so that the pictures are written over what
    // those showed.
    for (int other = spread.maximumFrameNumber(); other >= 1; --other)
        spread.setActiveFrameAndLayer(other, (active + other) % spread.layerCount(), Scene::AllowFrameAfterLast);
    spread.setActiveFrameAndLayer(frame, active, Scene::AllowFrameAfterLast);
    spread.updateCachedFramePixmap();
    const QList<QImage> pictures = cachedPictures(spread);

    QCOMPARE(spread.activeFrame(), frame);
    QCOMPARE(spread.activeLayerIdx(), active);
    QVERIFY2(expected.at(1) != QImage(BandedFrame, QImage::Format_ARGB32_Premultiplied), "nothing was drawn");
    const QStringList names{QStringLiteral("backlight"), QStringLiteral("current frame"), QStringLiteral("composite")};
    for (int i = 0; i < names.size(); ++i)
        QVERIFY2(pictures.at(i) == expected.at(i), qPrintable(names.at(i)));
}

QTEST_MAIN(TestSceneCompositing)
#include "tst_scenecompositing.moc"
