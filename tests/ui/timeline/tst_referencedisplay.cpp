#include "timeline/referencedisplay.h"

#include "drawings/imagedrawing.h"
#include "layers/referencelayer.h"
#include "render/alphacomposition.h"
#include "scene/klscene.h"
#include "scene/scene.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// The screens that ctest starts this test with: one of 1920 x 1040, or that
// one and a second of 1280 x 720 (see tests.cmake).
const QSize HomeScreen(1920, 1040);

// A scene of one frame of the given size whose only layer is a picture: red
// on the left half, blue on the right, or black and white columns of one
// pixel.
std::unique_ptr<Model::KLScene> pictureScene(QSize frame, bool columns = false)
{
    auto holder = std::make_unique<Model::KLScene>();
    Model::Scene *scene = holder->scene();
    scene->setFrameSize(frame, KL::FitMode::FitModeIgnore);
    QImage picture(frame, QImage::Format_ARGB32_Premultiplied);
    if (columns) {
        for (int x = 0; x < frame.width(); ++x) {
            for (int y = 0; y < frame.height(); ++y)
                picture.setPixel(x, y, x % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    } else {
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(0, 0, frame.width() / 2, frame.height(), Qt::red);
    }
    auto layer = std::make_shared<Model::ReferenceLayer>(frame, scene);
    layer->setOpacity(1.0);
    layer->cell(1)->setDrawing(std::make_shared<Model::ImageDrawing>(picture));
    scene->insertLayer(layer, 0);
    scene->updateMaxFrameNumber();
    scene->setActiveFrameAndLayer(1, 0, Model::Scene::ClampToDrawings);
    scene->updateCachedFramePixmap(true);
    return holder;
}

QImage shown(QWidget &widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool isSingleHomeScreen()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    return screens.size() == 1 && screens.first()->availableGeometry().size() == HomeScreen;
}

// Passes the main window's keys on, as the main window does.
class KeyWatcher : public QWidget
{
public:
    int keys = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            ++keys;
        return QWidget::eventFilter(watched, event);
    }
};

} // namespace

// The reference display: the frame on screen fitted and centred, where it
// first opens, and how it hides.
class TestReferenceDisplay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void withoutSceneIsWhite();
    void frameIsFittedAndCentred_data();
    void frameIsFittedAndCentred();
    void enlargedFrameIsNotSmoothed();
    void frameSizeChangesAreFollowed();
    void opensCentredAtAHalving_data();
    void opensCentredAtAHalving();
    void opensFullScreenOnAnotherScreen_data();
    void opensFullScreenOnAnotherScreen();
    void closingHidesAndKeepsTheGeometry();
    void keysReachTheMainWindow();
};

void TestReferenceDisplay::initTestCase()
{
    Model::initAlphaCompositionTables();
}

void TestReferenceDisplay::init()
{
    QSettings().clear();
}

void TestReferenceDisplay::withoutSceneIsWhite()
{
    UI::ReferenceDisplay display;
    display.resize(320, 200);
    QCOMPARE(display.windowTitle(), QStringLiteral("Reference Display "));
    const QImage image = shown(display);
    for (const QPoint point : {QPoint(0, 0), QPoint(160, 100), QPoint(319, 199)})
        QCOMPARE(image.pixel(point), qRgb(255, 255, 255));
}

void TestReferenceDisplay::frameIsFittedAndCentred_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QString>("title");

    // A frame of 1920 x 1080.
    QTest::newRow("exactly half") << QSize(960, 540) << QRect(0, 0, 960, 540) << "Reference Display 50%";
    QTest::newRow("taller window") << QSize(960, 640) << QRect(0, 50, 960, 540) << "Reference Display 50%";
    QTest::newRow("wider window") << QSize(1060, 540) << QRect(50, 0, 960, 540) << "Reference Display 50%";
    QTest::newRow("a quarter, letterboxed") << QSize(480, 400) << QRect(0, 65, 480, 270)
                                           << "Reference Display 25%";
}

void TestReferenceDisplay::frameIsFittedAndCentred()
{
    QFETCH(QSize, window);
    QFETCH(QRect, frame);
    QFETCH(QString, title);

    const auto holder = pictureScene(QSize(1920, 1080));
    UI::ReferenceDisplay display;
    display.setCurrentScene(holder.get());
    display.resize(window);
    const QImage image = shown(display);
    QCOMPARE(display.windowTitle(), title);

    // Red left of the middle, blue right of it, black around the frame.
    const int y = frame.center().y();
    QCOMPARE(image.pixel(frame.left() + 2, y), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(frame.center().x() - 2, y), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(frame.center().x() + 3, y), qRgb(0, 0, 255));
    QCOMPARE(image.pixel(frame.right() - 2, y), qRgb(0, 0, 255));
    QCOMPARE(image.pixel(frame.center().x(), frame.top() + 2), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(frame.center().x() + 3, frame.bottom() - 2), qRgb(0, 0, 255));
    if (frame.top() > 0) {
        QCOMPARE(image.pixel(frame.center().x(), frame.top() - 2), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(frame.center().x(), frame.bottom() + 2), qRgb(0, 0, 0));
    }
    if (frame.left() > 0) {
        QCOMPARE(image.pixel(frame.left() - 2, y), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(frame.right() + 2, y), qRgb(0, 0, 0));
    }

    // On a black paper the surround turns dark grey, so that the frame's
    // edge still shows.
    display.setTransparencyType(KL::TransparencyType::TransparencyBlack);
    if (frame.top() > 0)
        QCOMPARE(shown(display).pixel(frame.center().x(), frame.top() - 2), QColor(Qt::darkGray).rgb());
}

void TestReferenceDisplay::enlargedFrameIsNotSmoothed()
{
    // Columns one scene pixel wide, shown at twice their size.
    const auto holder = pictureScene(QSize(480, 270), true);
    UI::ReferenceDisplay display;
    display.setCurrentScene(holder.get());
    display.show();
    QVERIFY(QTest::qWaitForWindowExposed(&display));
    display.resize(960, 540);
    QTRY_COMPARE(display.size(), QSize(960, 540));
    if (!qFuzzyCompare(display.devicePixelRatioF(), 1.0))
        QSKIP("Needs a screen of pixel ratio 1");
    QCOMPARE(display.windowTitle(), QStringLiteral("Reference Display 200%"));
    const QImage image = shown(display);
    for (int x = 100; x < 120; ++x)
        QCOMPARE(image.pixel(x, 270), (x / 2) % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
}

void TestReferenceDisplay::frameSizeChangesAreFollowed()
{
    const auto holder = pictureScene(QSize(1920, 1080));
    UI::ReferenceDisplay display;
    display.setCurrentScene(holder.get());
    display.resize(960, 540);
    shown(display);
    QCOMPARE(display.windowTitle(), QStringLiteral("Reference Display 50%"));
    holder->scene()->setFrameSize(QSize(3840, 2160), KL::FitMode::FitModeIgnore);
    QCOMPARE(display.windowTitle(), QStringLiteral("Reference Display 25%"));

    // A scene that goes leaves plain paper.
    display.setCurrentScene(nullptr);
    QCOMPARE(shown(display).pixel(480, 270), qRgb(255, 255, 255));
    QCOMPARE(display.windowTitle(), QStringLiteral("Reference Display "));
}

void TestReferenceDisplay::opensCentredAtAHalving_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QRect>("geometry");

    // On the one screen of 1920 x 1040.
    QTest::newRow("4K halved twice") << QSize(3840, 2160) << QRect(480, 250, 960, 540);
    QTest::newRow("full HD halved once") << QSize(1920, 1080) << QRect(480, 250, 960, 540);
    QTest::newRow("HD as it is") << QSize(1280, 720) << QRect(320, 160, 1280, 720);
    QTest::newRow("no scene: half the screen") << QSize() << QRect(480, 260, 960, 520);
}

void TestReferenceDisplay::opensCentredAtAHalving()
{
    QFETCH(QSize, frame);
    QFETCH(QRect, geometry);

    if (!isSingleHomeScreen())
        QSKIP("Needs the single screen of 1920 x 1040 that ctest starts this test with");
    QWidget mainWindow;
    const auto holder = frame.isValid() ? pictureScene(frame) : nullptr;
    UI::ReferenceDisplay display(&mainWindow);
    display.setCurrentScene(holder.get());
    display.show();
    QVERIFY(QTest::qWaitForWindowExposed(&display));
    QCOMPARE(display.geometry(), geometry);
    QVERIFY(!(display.windowState() & Qt::WindowFullScreen));
}

void TestReferenceDisplay::opensFullScreenOnAnotherScreen_data()
{
    QTest::addColumn<int>("home");
    QTest::addColumn<int>("expected");

    QTest::newRow("main window on the first screen") << 0 << 1;
    QTest::newRow("main window on the second screen") << 1 << 0;
}

void TestReferenceDisplay::opensFullScreenOnAnotherScreen()
{
    QFETCH(int, home);
    QFETCH(int, expected);

    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        QSKIP("Needs two screens: ctest runs it again as tst_referencedisplay_twoscreens");
    QWidget mainWindow;
    mainWindow.setScreen(screens.at(home));
    const auto holder = pictureScene(QSize(1920, 1080));
    UI::ReferenceDisplay display(&mainWindow);
    display.setCurrentScene(holder.get());
    display.show();
    QVERIFY(QTest::qWaitForWindowExposed(&display));
    QCOMPARE(display.screen(), screens.at(expected));
    QVERIFY(display.windowState() & Qt::WindowFullScreen);
}

void TestReferenceDisplay::closingHidesAndKeepsTheGeometry()
{
    QWidget mainWindow;
    const auto holder = pictureScene(QSize(1280, 720));
    UI::ReferenceDisplay display(&mainWindow);
    display.setCurrentScene(holder.get());
    QSignalSpy hidden(&display, &UI::ReferenceDisplay::hidden);
    display.setVisibility(true);
    QVERIFY(QTest::qWaitForWindowExposed(&display));
    const QRect moved(100, 120, 640, 360);
    display.setGeometry(moved);
    QTRY_COMPARE(display.geometry(), moved);

    QVERIFY(!display.close());
    QVERIFY(display.isHidden());
    QCOMPARE(hidden.count(), 1);
    const QByteArray kept = display.savedGeometry();
    QVERIFY(!kept.isEmpty());

    // Shown again, the display stands where it was, also after the main
    // window stored and restored the geometry.
    UI::ReferenceDisplay another(&mainWindow);
    another.setCurrentScene(holder.get());
    another.setSavedGeometry(kept);
    another.setVisibility(true);
    QVERIFY(QTest::qWaitForWindowExposed(&another));
    QTRY_COMPARE(another.geometry(), moved);
    another.setVisibility(false);
    QCOMPARE(another.savedGeometry(), kept);
}

void TestReferenceDisplay::keysReachTheMainWindow()
{
    KeyWatcher mainWindow;
    UI::ReferenceDisplay display(&mainWindow);
    QSignalSpy pressed(&display, &UI::ReferenceDisplay::keyPressed);
    QSignalSpy released(&display, &UI::ReferenceDisplay::keyReleased);
    QTest::keyPress(&display, Qt::Key_Return);
    QTest::keyRelease(&display, Qt::Key_Return);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(released.count(), 1);
    QCOMPARE(mainWindow.keys, 1);
}

QTEST_MAIN(TestReferenceDisplay)
#include "tst_referencedisplay.moc"
