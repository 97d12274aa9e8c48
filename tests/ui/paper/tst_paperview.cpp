#include "papertesthelpers.h"

#include "drawings/imagedrawing.h"
#include "layers/referencelayer.h"
#include "render/bandedcomposition.h"
#include "settings/backlightsettings.h"

#include <QBackingStore>
#include <QCursor>
#include <QGestureEvent>
#include <QNativeGestureEvent>
#include <QPaintEvent>
#include <QRegion>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace PaperTest;

namespace {

// The view's rotation in degrees, read through the mirror when it is on.
double viewAngle(const UI::Paper &paper)
{
    QTransform t = paper.widgetToScene();
    if (paper.mirrorView())
        t = QTransform(-1.0, 0.0, 0.0, 1.0, 0.0, 0.0) * t;
    return std::atan2(t.m12(), t.m11()) * 180.0 / std::numbers::pi;
}

// Equal as angles, to a millionth of a degree.
bool sameAngle(double a, double b)
{
    return std::abs(std::remainder(a - b, 360.0)) < 1e-6;
}

bool sameTransform(const QTransform &a, const QTransform &b, double tolerance)
{
    const double values[][2] = {{a.m11(), b.m11()}, {a.m12(), b.m12()}, {a.m21(), b.m21()},
                                {a.m22(), b.m22()}, {a.dx(), b.dx()},   {a.dy(), b.dy()}};
    for (const auto &pair : values) {
        if (std::abs(pair[0] - pair[1]) > tolerance)
            return false;
    }
    return true;
}

void wheel(QWidget *widget, QPointF pos, QPoint angleDelta, QPoint pixelDelta = {},
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWheelEvent event(pos, widget->mapToGlobal(pos), pixelDelta, angleDelta, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

void nativeGesture(QWidget *widget, Qt::NativeGestureType type, QPointF pos, double value = 0.0)
{
    static const QPointingDevice *touchpad = new QPointingDevice(
        QStringLiteral("test touchpad"), 4343, QInputDevice::DeviceType::TouchPad, QPointingDevice::PointerType::Finger,
        QInputDevice::Capability::Position, 2, 0, QString(), QPointingDeviceUniqueId(), QCoreApplication::instance());
    QNativeGestureEvent event(type, touchpad, 2, pos, pos, widget->mapToGlobal(pos), value, QPointF());
    QApplication::sendEvent(widget, &event);
}

// The last total scale of the pinch gestures that reach a widget.
class PinchWatch : public QObject
{
public:
    double scale = 1.0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Gesture) {
            if (auto *pinch = static_cast<QPinchGesture *>(static_cast<QGestureEvent *>(event)->gesture(Qt::PinchGesture)))
                scale = pinch->totalScaleFactor();
        }
        return false;
    }
};

// Records the rectangles the paper is asked to paint.
class WatchedPaper : public UI::Paper
{
public:
    QRegion painted;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        painted += event->region();
        UI::Paper::paintEvent(event);
    }
};

// How far two pictures of the same size differ: the pixels that differ and
// the largest difference of one colour channel.
struct Difference
{
    int pixels = 0;
    int largest = 0;
};

QString toString(const Difference &found)
{
    return QStringLiteral("%1 pixels differ, by up to %2").arg(found.pixels).arg(found.largest);
}

// Where the paper's outline on its pegs meets itself, a kept picture of it
// may round a few pixels one step apart from the outline drawn directly.
constexpr int AtCorners = 8;

Difference difference(const QImage &a, const QImage &b)
{
    Difference found;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            if (p == q)
                continue;
            ++found.pixels;
            found.largest = std::max({found.largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                      std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return found;
}

// Where a test looks at what the paper paints.
enum class Place {
    // A fresh picture, as QWidget::render paints it.
    Picture,
    // The paper's own window, as its backing store holds it after a repaint.
    Window,
    // The paper inside a larger window, away from its corner.
    InsideWindow,
};

// A colour that the paper never paints: whatever still shows it was left
// unpainted.
const QColor Unpainted(255, 0, 255);

// The pixels of picture, a look at a paper, left Unpainted within the
// paper's region.
int unpaintedPixels(const QImage &picture, const QRegion &region)
{
    const QTransform toPixels = QTransform::fromScale(picture.devicePixelRatio(), picture.devicePixelRatio());
    int count = 0;
    for (const QRect &rect : toPixels.map(region)) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x)
                count += picture.pixelColor(x, y) == Unpainted;
        }
    }
    return count;
}

// A paper shown alone or placed inside a window, and what it shows there.
class PlacedPaper
{
public:
    PlacedPaper(Model::KLScene *handle, Place place)
        : m_place(place)
    {
        QWidget *shown = &paper;
        if (place == Place::InsideWindow) {
            paper.setParent(&m_window);
            paper.setGeometry(QRect(QPoint(13, 7), Frame + QSize(2, 2)));
            m_window.resize(Frame + QSize(40, 30));
            shown = &m_window;
        } else {
            paper.resize(Frame + QSize(2, 2));
        }
        shown->show();
        if (!QTest::qWaitForWindowExposed(shown))
            qWarning("the paper was not exposed");
        paper.setCurrentScene(handle);
    }
    ~PlacedPaper() { paper.setCurrentScene(nullptr); }

    // The paper's pixels after a repaint of exposed (all of it when empty)
    // over pixels of the colour Unpainted.
    QImage look(const QRegion &exposed = {})
    {
        const QRegion region = exposed.isEmpty() ? QRegion(paper.rect()) : exposed;
        const double dpr = paper.devicePixelRatioF();
        if (m_place == Place::Picture) {
            QImage picture((QSizeF(paper.size()) * dpr).toSize(), QImage::Format_RGB32);
            picture.setDevicePixelRatio(dpr);
            picture.fill(Unpainted);
            paper.render(&picture, QPoint(), region);
            return picture;
        }
        // The backing store's picture is asked for again after each paint:
        // high-dpi scaling wraps it anew every time.
        QBackingStore *store = paper.window()->backingStore();
        const QRect rect(paper.mapTo(paper.window(), QPoint(0, 0)), paper.size());
        store->beginPaint(rect);
        QPainter(store->paintDevice()).fillRect(rect, Unpainted);
        store->endPaint();
        paper.repaint(region);
        const QPaintDevice *device = store->paintDevice();
        if (!device || device->devType() != QInternal::Image) {
            qWarning("the window's backing store holds no picture");
            return {};
        }
        QImage shown = static_cast<const QImage *>(device)->copy(QTransform::fromScale(dpr, dpr).mapRect(rect));
        shown.setDevicePixelRatio(dpr);
        return shown;
    }

private:
    Place m_place;
    QWidget m_window;

public:
    // After the window: a child is gone before its parent.
    UI::Paper paper;
};

// A scene of four drawings and a picture that changes at every pixel, so
// that a frame sampled differently anywhere shows it; frame 3 of the
// drawings active, and with backlight those before and after it shown.
std::unique_ptr<Model::KLScene> makeSpeckledScene(bool backlight)
{
    auto handle = makeScene(QStringLiteral("XXXX"));
    Model::Scene &scene = *handle->scene();
    QImage picture(scene.frameSize(), QImage::Format_ARGB32);
    quint32 state = 12345;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            picture.setPixel(x, y, qRgba(int(state >> 24), int(state >> 16) & 255, int(state >> 8) & 255,
                                         160 + int(state & 63)));
        }
    }
    auto layer = std::make_shared<Model::ReferenceLayer>(scene.frameSize(), &scene);
    layer->setOpacity(1.0);
    layer->cell(1)->setDrawing(std::make_shared<Model::ImageDrawing>(picture));
    scene.insertLayer(layer, 0);
    scene.updateMaxFrameNumber();
    scene.setActiveFrameAndLayer(3, 1, Model::Scene::AllowFrameAfterLast);
    if (backlight) {
        Model::BacklightSettings settings;
        settings.on = true;
        settings.settingA.opacityLevelsBefore = {0.6, 0.3};
        settings.settingA.opacityLevelsAfter = {0.5};
        scene.setBacklightSettings(settings);
    }
    return handle;
}

} // namespace

// Where the paper shows the frame and how every view control moves it:
// zoom limits and steps, the rotation table, quick zoom, the mirror, drags,
// touch-pad gestures, the off-pegs circle; and what it paints.
class TestPaperView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void zoomIsClamped_data();
    void zoomIsClamped();
    void wheelSteps_data();
    void wheelSteps();
    void rotationTable_data();
    void rotationTable();
    void quickZoomTwiceReturnsExactly();
    void flipTwiceIsTheIdentity();
    void viewDrags_data();
    void viewDrags();
    void nativeGestures();
    void pinchGesture();
    void offPegsDrag();

    void paintsTheCompositeOverThePaper_data();
    void paintsTheCompositeOverThePaper();
    void repaintsOnlyWhatChanged();
    void repaintsAtAStillViewAsAtAFreshOne_data();
    void repaintsAtAStillViewAsAtAFreshOne();
    void repaintsInBandsAsOnOneThread_data();
    void repaintsInBandsAsOnOneThread();
};

void TestPaperView::initTestCase()
{
    TestSupport::startModel();
}

void TestPaperView::init()
{
    CommandTest::resetPreferences();
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::Pen);
    // Zooms that follow the pointer go about the centre while it is away.
    QCursor::setPos(-1000, -1000);
}

void TestPaperView::cleanup()
{
    Model::KLScene::setCurrent(nullptr);
    Model::setCompositionThreadCount(0);
}

void TestPaperView::zoomIsClamped_data()
{
    QTest::addColumn<double>("asked");
    QTest::addColumn<double>("level");
    QTest::addColumn<bool>("pointerOnPaper");

    QTest::newRow("within") << 2.5 << 2.5 << false;
    QTest::newRow("too close") << 20.0 << 16.0 << false;
    QTest::newRow("too far") << 0.01 << 0.0625 << false;
    QTest::newRow("not a number") << std::nan("") << 1.0 << false;
    QTest::newRow("within, the pointer on the paper") << 2.5 << 2.5 << true;
    QTest::newRow("too close, the pointer on the paper") << 20.0 << 16.0 << true;
}

// The level is held within its bounds; the zoom goes about the pointer when
// it is over the paper, else about the paper's centre. The test puts the
// pointer where it wants it: on a real display it is wherever it was left.
void TestPaperView::zoomIsClamped()
{
    QFETCH(double, asked);
    QFETCH(double, level);
    QFETCH(bool, pointerOnPaper);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    const QPointF fixed = pointerOnPaper ? QPointF(40.0, 30.0) : QPointF(100.0, 75.0);
    QPoint pointer;
    if (pointerOnPaper) {
        pointer = shown.paper.mapToGlobal(fixed.toPoint());
    } else {
        // The corner of the paper's screen farthest from the paper.
        const QRect screen = shown.paper.screen()->geometry();
        const QPoint middle = shown.paper.mapToGlobal(shown.paper.rect().center());
        pointer = QPoint(middle.x() < screen.center().x() ? screen.right() - 2 : screen.left() + 2,
                         middle.y() < screen.center().y() ? screen.bottom() - 2 : screen.top() + 2);
        QVERIFY(!QRect(shown.paper.mapToGlobal(QPoint(0, 0)), shown.paper.size()).contains(pointer));
    }
    QCursor::setPos(shown.paper.screen(), pointer);
    QTRY_COMPARE(QCursor::pos(shown.paper.screen()), pointer);

    const QPointF before = shown.paper.widgetToScene().map(fixed);
    QSignalSpy levels(&shown.paper, &UI::Paper::zoomLevelChanged);
    shown.paper.setZoomLevel(asked);

    QCOMPARE(shown.paper.zoomLevel(), level);
    QCOMPARE(levels.isEmpty(), level == 1.0);
    if (!levels.isEmpty())
        QCOMPARE(levels.last().at(0).toDouble(), level);
    // About the pointer or the centre of the paper, which stays where it
    // was.
    const QPointF after = shown.paper.widgetToScene().map(fixed);
    QVERIFY2(std::abs(after.x() - before.x()) < 1e-9 && std::abs(after.y() - before.y()) < 1e-9,
             qPrintable(QStringLiteral("%1, %2 moved to %3, %4").arg(before.x()).arg(before.y()).arg(after.x()).arg(after.y())));
}

void TestPaperView::wheelSteps_data()
{
    QTest::addColumn<QPoint>("angleDelta");
    QTest::addColumn<QPoint>("pixelDelta");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<double>("levelFactor");
    QTest::addColumn<QPointF>("contentShift");

    const int ctrl = int(Qt::ControlModifier);
    QTest::newRow("ctrl notch up") << QPoint(0, 120) << QPoint() << ctrl << 1.0 / 0.9375 << QPointF();
    QTest::newRow("ctrl notch down") << QPoint(0, -120) << QPoint() << ctrl << 1.0 / 1.0625 << QPointF();
    QTest::newRow("notch down scrolls") << QPoint(0, -120) << QPoint() << 0 << 1.0 << QPointF(0.0, -15.0);
    QTest::newRow("sideways half notch") << QPoint(60, 0) << QPoint() << 0 << 1.0 << QPointF(8.0, 0.0);
    QTest::newRow("touch-pad pixels") << QPoint(0, 40) << QPoint(3, 5) << 0 << 1.0 << QPointF(3.0, 5.0);
    QTest::newRow("shift does nothing") << QPoint(0, 120) << QPoint() << int(Qt::ShiftModifier) << 1.0 << QPointF();
}

// A Ctrl notch zooms by a sixteenth about the pointer; a plain wheel moves
// the content by an eighth of its angle, or by the touch-pad's pixels.
void TestPaperView::wheelSteps()
{
    QFETCH(QPoint, angleDelta);
    QFETCH(QPoint, pixelDelta);
    QFETCH(int, modifiers);
    QFETCH(double, levelFactor);
    QFETCH(QPointF, contentShift);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    const QTransform before = shown.paper.widgetToScene();
    const QPointF pointer(40.0, 30.0);
    wheel(&shown.paper, pointer, angleDelta, pixelDelta, Qt::KeyboardModifiers(modifiers));

    QCOMPARE(shown.paper.zoomLevel(), levelFactor);
    const QTransform after = shown.paper.widgetToScene();
    // What the pointer showed is now shown shifted by the content's move.
    const QPointF shown0 = before.map(pointer);
    const QPointF shown1 = after.map(pointer + contentShift);
    QVERIFY2(QLineF(shown0, shown1).length() < 1e-9, qPrintable(QStringLiteral("%1,%2 became %3,%4")
                                                                    .arg(shown0.x())
                                                                    .arg(shown0.y())
                                                                    .arg(shown1.x())
                                                                    .arg(shown1.y())));
}

void TestPaperView::rotationTable_data()
{
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("to");

    QTest::newRow("100 by 90") << false << 100.0 << 90.0 << 180.0;
    QTest::newRow("-44 by 90") << false << -44.0 << 90.0 << 90.0;
    QTest::newRow("135 by 90, half away from zero") << false << 135.0 << 90.0 << 270.0;
    QTest::newRow("10 by -45") << false << 10.0 << -45.0 << -45.0;
    QTest::newRow("mirrored 100 by 90") << true << 100.0 << 90.0 << 180.0;
    QTest::newRow("mirrored 30 by 15") << true << 30.0 << 15.0 << 45.0;
    QTest::newRow("step 0 keeps the angle") << false << 20.0 << 0.0 << 20.0;
}

// To the next multiple of the step from the multiple nearest the angle; in
// a mirrored view the angles are those the user sees.
void TestPaperView::rotationTable()
{
    QFETCH(bool, mirrored);
    QFETCH(double, from);
    QFETCH(double, step);
    QFETCH(double, to);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    shown.paper.setMirrorView(mirrored);
    shown.paper.rotatePaperTo(from);
    QVERIFY(sameAngle(viewAngle(shown.paper), mirrored ? -from : from));
    const QPointF middle = shown.paper.widgetToScene().map(QPointF(100.0, 75.0));
    shown.paper.rotatePaperToNext(step);
    QVERIFY2(sameAngle(viewAngle(shown.paper), mirrored ? -to : to), qPrintable(QString::number(viewAngle(shown.paper))));
    // Turned about the middle of the view.
    QVERIFY(QLineF(middle, shown.paper.widgetToScene().map(QPointF(100.0, 75.0))).length() < 1e-9);
}

void TestPaperView::quickZoomTwiceReturnsExactly()
{
    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    shown.paper.rotatePaperTo(30.0);
    shown.paper.setZoomLevel(1.5);
    wheel(&shown.paper, {50.0, 50.0}, {0, -40});
    const QTransform before = shown.paper.widgetToScene();

    shown.paper.toggleQuickZoom();
    QCOMPARE(shown.paper.zoomLevel(), 4.5);
    shown.paper.setMirrorView(true);
    shown.paper.toggleQuickZoom();
    QVERIFY(!shown.paper.mirrorView());
    QVERIFY(sameTransform(shown.paper.widgetToScene(), before, 0.0));

    // A zoom in between is a new view: the next toggle zooms again.
    shown.paper.toggleQuickZoom();
    shown.paper.setZoomLevel(2.0);
    shown.paper.toggleQuickZoom();
    QCOMPARE(shown.paper.zoomLevel(), 6.0);
}

// Flipping shows every widget point's mirror image about the middle, and
// flipping back gives the view before. The view is read back as pan, angle
// and scale before it is rebuilt, so the round trip holds to rounding: a
// millionth of a scene pixel.
void TestPaperView::flipTwiceIsTheIdentity()
{
    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    QSignalSpy flips(&shown.paper, &UI::Paper::mirrorViewChanged);
    shown.paper.rotatePaperTo(30.0);
    shown.paper.setZoomLevel(2.0);
    wheel(&shown.paper, {50.0, 50.0}, {24, -40});
    const QTransform before = shown.paper.widgetToScene();

    shown.paper.setMirrorView(true);
    const QPointF centre(100.0, 75.0);
    const QPointF offset(30.0, 12.0);
    const QPointF mirroredOffset(-30.0, 12.0);
    QVERIFY(QLineF(shown.paper.widgetToScene().map(centre + offset), before.map(centre + mirroredOffset)).length()
            < 1e-6);
    shown.paper.setMirrorView(true);
    shown.paper.setMirrorView(false);
    QVERIFY(sameTransform(shown.paper.widgetToScene(), before, 1e-6));
    QCOMPARE(flips.count(), 2);
}

void TestPaperView::viewDrags_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<QPointF>("drag");
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("angle");

    const int hand = int(Model::Tool::Type::Hand);
    const int zoom = int(Model::Tool::Type::Zoom);
    QTest::newRow("hand") << hand << QPointF(30.0, -10.0) << 1.0 << 0.0;
    // 40 pixels down and right of a 202 x 152 free area: 5 * 0.33 + 1.
    QTest::newRow("zoom in") << zoom << QPointF(40.0, 40.0)
                             << 5.0 * std::hypot(40.0 / 202.0, 40.0 / 152.0) + 1.0 << 0.0;
    QTest::newRow("zoom out") << zoom << QPointF(-40.0, -40.0)
                              << 1.0 / (5.0 * std::hypot(40.0 / 202.0, 40.0 / 152.0) + 1.0) << 0.0;
    // From straight right of the middle to straight below it.
    QTest::newRow("rotate") << int(Model::Tool::Type::Rotate) << QPointF(-50.0, 50.0) << 1.0 << -90.0;
}

// A drag changes only the live view, which the release commits; the hand
// keeps the grabbed point under the pointer.
void TestPaperView::viewDrags()
{
    QFETCH(int, tool);
    QFETCH(QPointF, drag);
    QFETCH(double, level);
    QFETCH(double, angle);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type(tool));
    const QPointF start(150.0, 75.0);
    const QPointF grabbed = shown.paper.widgetToScene().map(start);
    Pointer pointer(&shown.paper);
    pointer.mouse(QEvent::MouseButtonPress, start);
    pointer.mouse(QEvent::MouseMove, start + drag);
    QVERIFY(shown.paper.devicePressed());
    pointer.mouse(QEvent::MouseButtonRelease, start + drag);

    QCOMPARE(shown.paper.zoomLevel(), level);
    QVERIFY2(sameAngle(viewAngle(shown.paper), angle), qPrintable(QString::number(viewAngle(shown.paper))));
    if (tool == int(Model::Tool::Type::Hand))
        QVERIFY(QLineF(shown.paper.widgetToScene().map(start + drag), grabbed).length() < 1e-9);
    // The tool's double click, or a double tap of the pen, puts that part
    // of the view back.
    if (tool == int(Model::Tool::Type::Rotate)) {
        for (int tap = 0; tap < 2; ++tap) {
            pointer.tablet(QEvent::TabletPress, start);
            pointer.tablet(QEvent::TabletRelease, start);
        }
    } else {
        QMouseEvent twice(QEvent::MouseButtonDblClick, start, shown.paper.mapToGlobal(start), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&shown.paper, &twice);
    }
    QCOMPARE(shown.paper.zoomLevel(), 1.0);
    QVERIFY(sameAngle(viewAngle(shown.paper), 0.0));
}

// A touch-pad pinch zooms about the fingers and turns the view; while it
// lasts the paper is held, and the mouse cannot take it.
void TestPaperView::nativeGestures()
{
    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    const QPointF fingers(60.0, 40.0);
    const QPointF under = shown.paper.widgetToScene().map(fingers);

    nativeGesture(&shown.paper, Qt::BeginNativeGesture, fingers);
    QVERIFY(shown.paper.devicePressed());
    Pointer pointer(&shown.paper);
    pointer.mouse(QEvent::MouseButtonPress, fingers);
    pointer.mouse(QEvent::MouseButtonRelease, fingers);
    QVERIFY(PaperTest::history(*handle).isEmpty());

    nativeGesture(&shown.paper, Qt::ZoomNativeGesture, fingers, 0.5);
    nativeGesture(&shown.paper, Qt::ZoomNativeGesture, fingers, std::nan(""));
    QCOMPARE(shown.paper.zoomLevel(), 2.0);
    QVERIFY(QLineF(shown.paper.widgetToScene().map(fingers), under).length() < 1e-9);
    nativeGesture(&shown.paper, Qt::RotateNativeGesture, fingers, 30.0);
    QVERIFY(sameAngle(viewAngle(shown.paper), -30.0));
    nativeGesture(&shown.paper, Qt::EndNativeGesture, fingers);
    QVERIFY(!shown.paper.devicePressed());
}

// Two fingers spread on a touch screen, as a touch pad's pinch reaches the
// paper: the view zooms by the pinch's scale about the point between them,
// and keeps it when they lift. The scale is whatever Qt's recognizer makes
// of the touches.
void TestPaperView::pinchGesture()
{
    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    static QPointingDevice *screen = QTest::createTouchDevice();
    // Only the gesture: no mouse made up from the fingers.
    QCoreApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, false);
    PinchWatch pinch;
    shown.paper.installEventFilter(&pinch);
    QSignalSpy pressed(&shown.paper, &UI::Paper::devicePressedChanged);
    const QPoint middle(100, 75);
    const QPointF under = shown.paper.widgetToScene().map(QPointF(middle));

    QTest::touchEvent(&shown.paper, screen).press(0, middle - QPoint(20, 0)).press(1, middle + QPoint(20, 0));
    for (int step = 1; step <= 4; ++step) {
        const QPoint spread(20 + 5 * step, 0);
        QTest::touchEvent(&shown.paper, screen).move(0, middle - spread).move(1, middle + spread);
    }
    QVERIFY(shown.paper.devicePressed());
    QTest::touchEvent(&shown.paper, screen).release(0, middle - QPoint(40, 0)).release(1, middle + QPoint(40, 0));
    QCoreApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, true);

    QTRY_VERIFY(!shown.paper.devicePressed());
    QVERIFY(pinch.scale > 1.5);
    QCOMPARE(shown.paper.zoomLevel(), pinch.scale);
    QVERIFY(QLineF(shown.paper.widgetToScene().map(QPointF(middle)), under).length() < 1e-6);
    // A gesture is not a device press.
    QCOMPARE(pressed.count(), 0);
}

// Dragging beside the off-pegs circle turns the drawing, inside it moves
// it; the put-on-pegs button puts it back only when released on it.
void TestPaperView::offPegsDrag()
{
    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::OffPegs);
    QSignalSpy transforms(&shown.paper, &UI::Paper::offPegsTransformChanged);
    Pointer pointer(&shown.paper);
    pointer.stroke({{100.0, 75.0}, {110.0, 80.0}, {120.0, 91.0}});
    QCOMPARE(transforms.count(), 1);
    const auto moved = transforms.last().at(0).value<QTransform>();
    // The drawing moved with the pointer: scene to drawing goes back by it.
    QCOMPARE(moved.map(QPointF(120.0, 91.0)), QPointF(100.0, 75.0));
    QCOMPARE(shown.paper.widgetToDrawing().map(QPointF(120.0, 91.0)), QPointF(100.0, 75.0));

    // The button lies 42 + r below the middle, r = 150 / 7.
    const QPointF button(100.0, 75.0 + 42.0 + 21.0);
    pointer.stroke({button, button + QPointF(60.0, 0.0)});
    QCOMPARE(transforms.count(), 1);
    QVERIFY(!shown.paper.widgetToDrawing().isIdentity());
    pointer.stroke({button, button});
    QCOMPARE(transforms.count(), 2);
    QVERIFY(transforms.last().at(0).value<QTransform>().isIdentity());
    QVERIFY(shown.paper.widgetToDrawing().isIdentity());
}

void TestPaperView::paintsTheCompositeOverThePaper_data()
{
    QTest::addColumn<int>("transparency");
    QTest::addColumn<QColor>("paperColour");

    QTest::newRow("white") << int(KL::TransparencyType::TransparencyWhite) << QColor(Qt::white);
    QTest::newRow("black") << int(KL::TransparencyType::TransparencyBlack) << QColor(Qt::black);
}

// Under the unmirrored level-1 view the frame's pixels are the widget's: the
// paper shows the scene's composite painted over the
// paper colour, pixel for pixel, and the linen lies around it.
void TestPaperView::paintsTheCompositeOverThePaper()
{
    QFETCH(int, transparency);
    QFETCH(QColor, paperColour);

    auto handle = makeScene(QStringLiteral("XX"));
    ShownPaper shown(handle.get());
    shown.paper.setTransparencyType(KL::TransparencyType(transparency));
    QVERIFY(shown.paper.widgetToScene().isIdentity());

    const QImage grabbed = shown.paper.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage expected(Frame, QImage::Format_RGB32);
    expected.fill(paperColour);
    {
        QPainter painter(&expected);
        handle->scene()->paintFrame(&painter, QRect(QPoint(0, 0), Frame));
    }
    QCOMPARE(grabbed.copy(QRect(QPoint(0, 0), Frame)), expected);

    // The linen around it is anchored to the middle of the paper, (100, 75).
    const QImage linen = QImage(QStringLiteral(":/paper/linenBG.png")).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(grabbed.pixel(201, 151), linen.pixel(101, 76));
}

// A change of a few frame pixels repaints only their neighbourhood.
void TestPaperView::repaintsOnlyWhatChanged()
{
    auto handle = makeScene(QStringLiteral("X"));
    WatchedPaper paper;
    paper.resize(Frame + QSize(2, 2));
    paper.show();
    QVERIFY(QTest::qWaitForWindowExposed(&paper));
    paper.setCurrentScene(handle.get());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    paper.painted = QRegion();

    Q_EMIT handle->scene()->rectChanged(QRect(50, 40, 10, 6));
    QTRY_VERIFY(!paper.painted.isEmpty());
    // The rectangle, with a scene pixel for smoothing and a widget pixel for
    // the edges around it.
    QCOMPARE(paper.painted.boundingRect(), QRect(50, 40, 10, 6).adjusted(-2, -2, 2, 2));
    paper.setCurrentScene(nullptr);
}

void TestPaperView::repaintsAtAStillViewAsAtAFreshOne_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<QTransform>("offPegs");
    QTest::addColumn<int>("transparency");
    QTest::addColumn<bool>("backlight");
    QTest::addColumn<bool>("grid");

    const QTransform moved = QTransform().translate(12.0, 8.0).rotate(8.0);
    const int white = int(KL::TransparencyType::TransparencyWhite);
    const int checkers = int(KL::TransparencyType::TransparencySmallCheckersLight);
    QTest::newRow("turned") << 1.0 << 30.0 << false << QTransform() << white << false << false;
    QTest::newRow("turned, mirrored, checkers") << 0.8 << 45.0 << true << QTransform() << checkers << false << false;
    QTest::newRow("off pegs") << 1.0 << 0.0 << false << moved << white << false << false;
    QTest::newRow("off pegs, backlight") << 1.0 << 0.0 << false << moved << white << true << false;
    QTest::newRow("off pegs, turned view, checkers") << 0.7 << 20.0 << false << moved << checkers << false << false;
    QTest::newRow("off pegs, zoomed in") << 2.5 << 0.0 << false << moved << white << false << false;
    QTest::newRow("off pegs, mirrored") << 1.0 << 10.0 << true << QTransform().rotate(-15.0) << white << true << false;
    QTest::newRow("off pegs, grid") << 1.3 << 0.0 << false << moved << white << false << true;
    QTest::newRow("turned, grid") << 1.0 << 30.0 << false << QTransform() << checkers << false << true;
}

// A view that stays put is repainted from what its first paint kept; every
// repaint shows what a paint at a view seen for the first time shows, also
// after the view went elsewhere and came back.
void TestPaperView::repaintsAtAStillViewAsAtAFreshOne()
{
    QFETCH(double, level);
    QFETCH(double, angle);
    QFETCH(bool, mirrored);
    QFETCH(QTransform, offPegs);
    QFETCH(int, transparency);
    QFETCH(bool, backlight);
    QFETCH(bool, grid);

    auto handle = makeSpeckledScene(backlight);
    PlacedPaper placed(handle.get(), Place::Picture);
    UI::Paper &paper = placed.paper;
    const auto lookAt = [&](KL::TransparencyType type, const QTransform &moved) {
        paper.setTransparencyType(type);
        paper.setOffPegsTransform(moved);
    };
    paper.setZoomLevelCenteringOnOrigin(level);
    paper.setMirrorView(mirrored);
    paper.rotatePaperTo(angle);
    paper.setGridStatus(grid ? KL::GridStatus::GridOn : KL::GridStatus::GridOff);
    lookAt(KL::TransparencyType(transparency), offPegs);

    // Nothing has been painted at this view yet.
    const QImage fresh = placed.look();
    for (int repaint = 0; repaint < 3; ++repaint) {
        const Difference still = difference(placed.look(), fresh);
        QVERIFY2(still.pixels <= AtCorners && still.largest <= 1, qPrintable(toString(still)));
    }

    lookAt(KL::TransparencyType::TransparencyDarkGrey, QTransform().translate(-20.0, 5.0));
    placed.look();
    placed.look();
    lookAt(KL::TransparencyType(transparency), offPegs);
    for (int repaint = 0; repaint < 3; ++repaint) {
        const Difference back = difference(placed.look(), fresh);
        QVERIFY2(back.pixels <= AtCorners && back.largest <= 1, qPrintable(toString(back)));
    }
}

void TestPaperView::repaintsInBandsAsOnOneThread_data()
{
    QTest::addColumn<double>("level");
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<QTransform>("offPegs");
    QTest::addColumn<bool>("backlight");
    QTest::addColumn<bool>("grid");
    QTest::addColumn<int>("place");
    QTest::addColumn<QRegion>("exposed");

    const QTransform moved = QTransform().translate(12.0, 8.0).rotate(8.0);
    const int picture = int(Place::Picture);
    const int window = int(Place::Window);
    const int inside = int(Place::InsideWindow);
    const QRegion whole;
    const QRegion twoParts = QRegion(0, 0, 150, 40) + QRegion(60, 90, 140, 61);
    QTest::newRow("turned, picture") << 1.0 << 30.0 << false << QTransform() << false << false << picture << whole;
    QTest::newRow("off pegs, picture") << 1.0 << 0.0 << false << moved << true << false << picture << whole;
    QTest::newRow("off pegs, grid, picture") << 1.3 << 0.0 << false << moved << false << true << picture << whole;
    QTest::newRow("turned, window") << 1.0 << 30.0 << false << QTransform() << false << false << window << whole;
    QTest::newRow("off pegs, zoomed in, window") << 2.5 << 0.0 << false << moved << false << false << window
                                                 << whole;
    QTest::newRow("off pegs, turned view, window, two parts") << 0.9 << 12.0 << false << moved << true << false
                                                              << window << twoParts;
    QTest::newRow("turned, mirrored, inside a window") << 1.1 << 60.0 << true << QTransform() << true << false
                                                       << inside << whole;
    QTest::newRow("off pegs, grid, inside a window") << 1.0 << 0.0 << false << moved << false << true << inside
                                                     << whole;
    QTest::newRow("off pegs, mirrored, inside a window, two parts") << 0.8 << 10.0 << true
                                                                    << QTransform().rotate(-15.0) << true << true
                                                                    << inside << twoParts;
}

// A repaint from the kept pictures spread over several threads in bands of
// rows shows the very pixels that one thread paints: every layer, in every
// band, at the paper's place in its window.
void TestPaperView::repaintsInBandsAsOnOneThread()
{
    QFETCH(double, level);
    QFETCH(double, angle);
    QFETCH(bool, mirrored);
    QFETCH(QTransform, offPegs);
    QFETCH(bool, backlight);
    QFETCH(bool, grid);
    QFETCH(int, place);
    QFETCH(QRegion, exposed);

    auto handle = makeSpeckledScene(backlight);
    PlacedPaper placed(handle.get(), Place(place));
    UI::Paper &paper = placed.paper;
    paper.setZoomLevelCenteringOnOrigin(level);
    paper.setMirrorView(mirrored);
    paper.rotatePaperTo(angle);
    paper.setGridStatus(grid ? KL::GridStatus::GridOn : KL::GridStatus::GridOff);
    paper.setOffPegsTransform(offPegs);
    // The first paint keeps the pictures of what lies under and over the
    // frame.
    placed.look();
    placed.look();

    Model::setCompositionThreadCount(1);
    const QImage alone = placed.look(exposed);
    Model::setCompositionThreadCount(4);
    const QImage spread = placed.look(exposed);

    QVERIFY(!alone.isNull());
    const QRegion shown = exposed.isEmpty() ? QRegion(paper.rect()) : exposed;
    QCOMPARE(unpaintedPixels(alone, shown), 0);
    const Difference found = difference(spread, alone);
    QVERIFY2(found.pixels == 0, qPrintable(toString(found)));
}

QTEST_MAIN(TestPaperView)
#include "tst_paperview.moc"
