#include "timeline/timeline.h"

#include "timeline/textbubble.h"

#include "settings/settings.h"

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QToolTip>

namespace {

// At scale 1 a timeline of this width maps frames onto 1000 pixels of the
// upper track (pixels 30 to 1029) and 1002 of the lower (28 to 1030).
constexpr int Width = 1059;
constexpr int PlayheadStart = 30;
constexpr int PlayheadEnd = Width - 30;
constexpr int RangeStart = 28;
constexpr int RangeEnd = Width - 29;
constexpr int PlayheadY = 24;
constexpr int RangeY = 46;
// Rows of the tick marks above the upper track: minor and major ticks reach
// the first, only major ones the second.
constexpr int AllTicksRow = 20;
constexpr int MajorTicksRow = 19;

int playheadPixel(const UI::Timeline &timeline, int frame)
{
    return PlayheadStart
        + QStyle::sliderPositionFromValue(timeline.rangeLower(), timeline.rangeUpper(), frame,
                                          PlayheadEnd - PlayheadStart);
}

int rangePixel(const UI::Timeline &timeline, int frame)
{
    return RangeStart
        + QStyle::sliderPositionFromValue(timeline.minimum(), timeline.maximum(), frame, RangeEnd - RangeStart);
}

void mouse(QWidget &widget, QEvent::Type type, QPoint position)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(position), QPointF(widget.mapToGlobal(position)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void drag(QWidget &widget, QPoint from, QList<QPoint> through)
{
    mouse(widget, QEvent::MouseButtonPress, from);
    for (const QPoint &point : std::as_const(through))
        mouse(widget, QEvent::MouseMove, point);
    mouse(widget, QEvent::MouseButtonRelease, through.isEmpty() ? from : through.last());
}

QImage painted(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image;
}

// Columns of a row painted in the tick colour.
int tickCount(const QImage &image, int row)
{
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
        count += image.pixel(x, row) == qRgb(64, 64, 64) ? 1 : 0;
    return count;
}

// What the knob reports while it is pressed, dragged and let go.
struct KnobSpies
{
    explicit KnobSpies(UI::Timeline &timeline)
        : pressed(&timeline, &UI::Timeline::sliderPressed)
        , moved(&timeline, &UI::Timeline::sliderMoved)
        , dragged(&timeline, &UI::Timeline::sliderDragged)
        , released(&timeline, &UI::Timeline::sliderReleased)
        , values(&timeline, &UI::Timeline::valueChanged)
    {
    }

    QSignalSpy pressed;
    QSignalSpy moved;
    QSignalSpy dragged;
    QSignalSpy released;
    QSignalSpy values;
};

struct Setup
{
    int minimum;
    int maximum;
    int lower;
    int upper;
    int value;
};

void setUp(UI::Timeline &timeline, Setup setup)
{
    timeline.setRangeLimits(setup.minimum, setup.maximum);
    timeline.setRange(setup.lower, setup.upper);
    timeline.setValue(setup.value);
}

} // namespace

// The timeline: what its setters keep, what it paints above the upper track,
// and what dragging the knob and the range handles reports.
class TestTimeline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void rangeIsKept_data();
    void rangeIsKept();
    void valueIsKept_data();
    void valueIsKept();
    void tickSteps_data();
    void tickSteps();
    void narrowWidthsPaint_data();
    void narrowWidthsPaint();
    void knobLeavesItsNumberWhole_data();
    void knobLeavesItsNumberWhole();

    void knobDrags();
    void pressAwayFromTheKnobJumps();
    void handlesPushEachOther_data();
    void handlesPushEachOther();
    void bubblesPart();
    void toolTips_data();
    void toolTips();

private:
    std::unique_ptr<UI::Timeline> m_timeline;
};

void TestTimeline::initTestCase()
{
    QSettings().clear();
}

void TestTimeline::init()
{
    m_timeline = std::make_unique<UI::Timeline>();
    m_timeline->resize(Width, m_timeline->height());
    // Shown, so that the resize has reached it before the pointer does.
    m_timeline->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_timeline.get()));
}

void TestTimeline::rangeIsKept_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    // "range", "lower", "upper" or "limits" with its two arguments.
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("expectedLower");
    QTest::addColumn<int>("expectedUpper");
    QTest::addColumn<int>("rangeChanges");

    QTest::newRow("one frame widened upwards") << 1 << 100 << 10 << 20 << "range" << 1 << 1 << 1 << 2 << 1;
    QTest::newRow("one frame widened downwards") << 1 << 100 << 10 << 20 << "range" << 5 << 5 << 4 << 5 << 1;
    QTest::newRow("one frame at the top") << 1 << 100 << 10 << 20 << "range" << 100 << 100 << 99 << 100 << 1;
    QTest::newRow("one frame is all there is") << 1 << 1 << 1 << 1 << "range" << 1 << 1 << 1 << 1 << 0;
    QTest::newRow("ends swapped") << 1 << 100 << 10 << 20 << "range" << 30 << 10 << 10 << 30 << 1;
    QTest::newRow("beyond the limits") << 1 << 100 << 10 << 20 << "range" << -5 << 500 << 1 << 100 << 1;
    QTest::newRow("unchanged") << 1 << 100 << 10 << 20 << "range" << 10 << 20 << 10 << 20 << 0;
    QTest::newRow("lower onto upper") << 1 << 100 << 5 << 9 << "lower" << 9 << 0 << 8 << 9 << 1;
    QTest::newRow("lower past upper") << 1 << 100 << 5 << 9 << "lower" << 50 << 0 << 8 << 9 << 1;
    QTest::newRow("upper onto lower") << 1 << 100 << 5 << 9 << "upper" << 5 << 0 << 5 << 6 << 1;
    QTest::newRow("limits cut the range") << 1 << 100 << 40 << 70 << "limits" << 1 << 50 << 40 << 50 << 0;
    QTest::newRow("limits in the wrong order") << 1 << 100 << 40 << 70 << "limits" << 60 << 20 << 60 << 60 << 0;
}

void TestTimeline::rangeIsKept()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(QString, call);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, expectedLower);
    QFETCH(int, expectedUpper);
    QFETCH(int, rangeChanges);

    UI::Timeline &timeline = *m_timeline;
    setUp(timeline, {minimum, maximum, lower, upper, lower});
    QSignalSpy changes(&timeline, &UI::Timeline::rangeChanged);
    QSignalSpy limits(&timeline, &UI::Timeline::rangeLimitsChanged);
    if (call == u"range")
        timeline.setRange(a, b);
    else if (call == u"lower")
        timeline.setRangeLower(a);
    else if (call == u"upper")
        timeline.setRangeUpper(a);
    else
        timeline.setRangeLimits(a, b);

    QCOMPARE(timeline.rangeLower(), expectedLower);
    QCOMPARE(timeline.rangeUpper(), expectedUpper);
    QCOMPARE(timeline.rangePositionLower(), expectedLower);
    QCOMPARE(timeline.rangePositionUpper(), expectedUpper);
    QCOMPARE(changes.count(), rangeChanges);
    if (rangeChanges > 0)
        QCOMPARE(changes.last(), (QList<QVariant>{expectedLower, expectedUpper}));
    QCOMPARE(limits.count(), call == u"limits" ? 1 : 0);
    QVERIFY(timeline.minimum() <= timeline.maximum());
    QVERIFY(timeline.value() >= timeline.rangeLower() && timeline.value() <= timeline.maximum() + 1);
}

void TestTimeline::valueIsKept_data()
{
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");

    // Limits 1 to 100.
    QTest::newRow("inside the range") << 5 << 9 << 7 << 7;
    QTest::newRow("past the range, before the end") << 5 << 9 << 40 << 40;
    QTest::newRow("the frame after the last") << 5 << 9 << 1000 << 101;
    QTest::newRow("before the range") << 5 << 9 << 0 << 5;
}

void TestTimeline::valueIsKept()
{
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, value);
    QFETCH(int, expected);

    UI::Timeline &timeline = *m_timeline;
    setUp(timeline, {1, 100, lower, upper, lower});
    QSignalSpy changes(&timeline, &UI::Timeline::valueChanged);
    timeline.setValue(value);
    QCOMPARE(timeline.value(), expected);
    QCOMPARE(timeline.sliderPosition(), expected);
    QCOMPARE(changes.count(), expected == lower ? 0 : 1);

    // A later range or limit change pulls the playhead along, silently.
    timeline.setRange(20, 30);
    timeline.setRangeLimits(1, 50);
    QVERIFY(timeline.value() >= 20 && timeline.value() <= 51);
    QCOMPARE(timeline.sliderPosition(), timeline.value());
    QCOMPARE(changes.count(), expected == lower ? 0 : 1);
}

void TestTimeline::tickSteps_data()
{
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("minorStep");
    QTest::addColumn<int>("majorStep");

    // Frames 1 to upper on 1000 pixels.
    QTest::newRow("1000 frames, a pixel each") << 1000 << 10 << 50;
    QTest::newRow("24 frames, 41.7 pixels each") << 24 << 1 << 2;
    QTest::newRow("100 frames, 10 pixels each") << 100 << 1 << 5;
    QTest::newRow("250 frames, 4 pixels each") << 250 << 5 << 25;
}

void TestTimeline::tickSteps()
{
    QFETCH(int, upper);
    QFETCH(int, minorStep);
    QFETCH(int, majorStep);

    UI::Timeline &timeline = *m_timeline;
    // The playhead stands after the range, so that neither the knob nor its
    // column covers a tick.
    setUp(timeline, {1, 2000, 1, upper, 2001});
    const QImage image = painted(timeline);
    // Major ticks stand on minor ones.
    QCOMPARE(tickCount(image, AllTicksRow), upper / minorStep);
    QCOMPARE(tickCount(image, MajorTicksRow), upper / majorStep);
}

void TestTimeline::narrowWidthsPaint_data()
{
    QTest::addColumn<int>("width");

    for (const int width : {0, 1, 10, 50, 58, 59, 60, 61, 120})
        QTest::addRow("%d px", width) << width;
}

void TestTimeline::narrowWidthsPaint()
{
    QFETCH(int, width);

    UI::Timeline &timeline = *m_timeline;
    timeline.setMinimumWidth(0);
    setUp(timeline, {1, 100, 10, 20, 15});
    timeline.resize(width, timeline.height());
    QCOMPARE(timeline.width(), width);
    // Too narrow for a pixel per frame, no spacing of ticks fits: painting
    // leaves them out and returns.
    QImage image(std::max(1, width), timeline.height(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    timeline.render(&image, QPoint(), QRegion(0, 0, std::max(1, width), timeline.height()));
    if (width > 0)
        QVERIFY(qAlpha(image.pixel(0, timeline.height() / 2)) == 255);
    // The pointer still works on it.
    drag(timeline, QPoint(width / 2, PlayheadY), {QPoint(width, PlayheadY)});
    drag(timeline, QPoint(width / 2, RangeY), {QPoint(0, RangeY)});
    QVERIFY(timeline.rangeLower() < timeline.rangeUpper());
}

void TestTimeline::knobLeavesItsNumberWhole_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("frame");

    for (const int percent : {75, 100, 125, 150}) {
        // The first frame of a range inside the limits is numbered in bold,
        // one pixel larger.
        QTest::addRow("first frame at %d %%", percent) << percent << 10 << 10;
        QTest::addRow("numbered frame at %d %%", percent) << percent << 1 << 50;
    }
}

// The knob stands on the frame it shows and the number of that frame stays
// readable above it: no pixel of the knob lies on the number.
void TestTimeline::knobLeavesItsNumberWhole()
{
    QFETCH(int, percent);
    QFETCH(int, lower);
    QFETCH(int, frame);

    Model::Settings *settings = Model::Settings::instance();
    settings->setUIScalePercent(percent);
    UI::Timeline &timeline = *m_timeline;
    timeline.updateUISize();
    const double s = percent / 100.0;

    // The same timeline with the knob on the frame and far from it: what
    // differs near the frame is the knob.
    setUp(timeline, {1, 100, lower, 90, frame});
    const QImage on = painted(timeline);
    timeline.setValue(frame + 30);
    const QImage away = painted(timeline);
    settings->setUIScalePercent(100);

    const int middle = (playheadPixel(timeline, frame) + playheadPixel(timeline, frame + 30)) / 2;
    QRect knob;
    for (int y = 0; y < on.height(); ++y) {
        for (int x = 0; x < middle; ++x) {
            const QRgb a = on.pixel(x, y);
            const QRgb b = away.pixel(x, y);
            const int off = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                      std::abs(qBlue(a) - qBlue(b))});
            if (off > 32)
                knob |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!knob.isEmpty());

    // The number: the dark text above the ticks, which grow up to four
    // pixels from the track's top edge, over the knob's columns.
    const int aboveTicks = int(22 * s) - 4;
    QRect number;
    for (int y = 0; y < aboveTicks; ++y) {
        for (int x = knob.left(); x <= knob.right(); ++x) {
            if (qGray(away.pixel(x, y)) < 50)
                number |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!number.isEmpty());

    for (int y = number.top(); y <= number.bottom(); ++y) {
        for (int x = number.left(); x <= number.right(); ++x) {
            const QRgb a = on.pixel(x, y);
            const QRgb b = away.pixel(x, y);
            const int off = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                      std::abs(qBlue(a) - qBlue(b))});
            QVERIFY2(off <= 32, qPrintable(QStringLiteral("the knob covers (%1, %2) of the number in rows %3 to %4")
                                               .arg(x)
                                               .arg(y)
                                               .arg(number.top())
                                               .arg(number.bottom())));
        }
    }
}

void TestTimeline::knobDrags()
{
    UI::Timeline &timeline = *m_timeline;
    setUp(timeline, {1, 100, 1, 100, 50});
    KnobSpies spies(timeline);

    // Grabbed a little off its centre, the knob keeps that offset.
    const int knob = playheadPixel(timeline, 50);
    mouse(timeline, QEvent::MouseButtonPress, QPoint(knob + 3, PlayheadY + 2));
    QCOMPARE(spies.pressed.count(), 1);
    QCOMPARE(spies.moved.count(), 0);
    mouse(timeline, QEvent::MouseMove, QPoint(knob + 5, PlayheadY + 2));
    QCOMPARE(spies.dragged.count(), 0);
    for (int step = 1; step <= 8; ++step)
        mouse(timeline, QEvent::MouseMove, QPoint(knob + 3 + 40 * step, PlayheadY));
    QCOMPARE(spies.dragged.count(), 1);
    QVERIFY(spies.moved.count() >= 8);
    // The value stays until the release commits the position.
    QCOMPARE(timeline.value(), 50);
    const int position = timeline.sliderPosition();
    const int pixel = knob + 320;
    QCOMPARE(position, QStyle::sliderValueFromPosition(1, 100, pixel - PlayheadStart, PlayheadEnd - PlayheadStart));
    QVERIFY(position > 80);
    QCOMPARE(spies.moved.last().at(0).toInt(), position);
    mouse(timeline, QEvent::MouseButtonRelease, QPoint(knob + 3 + 320, PlayheadY));
    QCOMPARE(timeline.value(), position);
    QCOMPARE(spies.values.count(), 1);
    QCOMPARE(spies.released.count(), 1);
    QCOMPARE(spies.released.at(0).at(0).toInt(), position);

    // One report per drag, however long.
    drag(timeline, QPoint(playheadPixel(timeline, position), PlayheadY),
         {QPoint(200, PlayheadY), QPoint(150, PlayheadY), QPoint(100, PlayheadY)});
    QCOMPARE(spies.dragged.count(), 2);
    // Dragged beyond the end, the knob stops at the last frame of the range.
    drag(timeline, QPoint(playheadPixel(timeline, timeline.value()), PlayheadY), {QPoint(Width + 50, PlayheadY)});
    QCOMPARE(timeline.value(), 100);
    QCOMPARE(spies.dragged.count(), 3);
}

void TestTimeline::pressAwayFromTheKnobJumps()
{
    UI::Timeline &timeline = *m_timeline;
    setUp(timeline, {1, 100, 1, 100, 50});
    KnobSpies spies(timeline);

    const QPoint at(playheadPixel(timeline, 80), PlayheadY - 10);
    mouse(timeline, QEvent::MouseButtonPress, at);
    QCOMPARE(spies.pressed.count(), 1);
    QCOMPARE(spies.moved.count(), 1);
    QCOMPARE(spies.moved.at(0).at(0).toInt(), 80);
    QCOMPARE(timeline.value(), 50);
    mouse(timeline, QEvent::MouseButtonRelease, at);
    QCOMPARE(spies.values.count(), 1);
    QCOMPARE(timeline.value(), 80);
    QCOMPARE(spies.released.count(), 1);
    QCOMPARE(spies.dragged.count(), 0);
}

void TestTimeline::handlesPushEachOther_data()
{
    QTest::addColumn<QString>("grab");
    QTest::addColumn<int>("toX");
    QTest::addColumn<int>("whileLower");
    QTest::addColumn<int>("whileUpper");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");

    // Limits 1 to 100, range 20 to 60.
    QTest::newRow("lower handle onto the upper") << "lower" << Width << 60 << 60 << 59 << 60;
    QTest::newRow("upper handle onto the lower") << "upper" << 0 << 20 << 20 << 20 << 21;
    QTest::newRow("lower handle to the start") << "lower" << 0 << 1 << 60 << 1 << 60;
    QTest::newRow("whole range to the start") << "middle" << 0 << 1 << 41 << 1 << 41;
}

void TestTimeline::handlesPushEachOther()
{
    QFETCH(QString, grab);
    QFETCH(int, toX);
    QFETCH(int, whileLower);
    QFETCH(int, whileUpper);
    QFETCH(int, lower);
    QFETCH(int, upper);

    UI::Timeline &timeline = *m_timeline;
    setUp(timeline, {1, 100, 20, 60, 30});
    QSignalSpy pressed(&timeline, &UI::Timeline::rangeSliderPressed);
    QSignalSpy moved(&timeline, &UI::Timeline::rangeSliderMoved);
    QSignalSpy changes(&timeline, &UI::Timeline::rangeChanged);
    QSignalSpy released(&timeline, &UI::Timeline::rangeSliderReleased);

    const int l = rangePixel(timeline, 20);
    const int u = rangePixel(timeline, 60);
    const int x = grab == u"lower" ? l : grab == u"upper" ? u : (l + u) / 2;
    mouse(timeline, QEvent::MouseButtonPress, QPoint(x, RangeY));
    mouse(timeline, QEvent::MouseMove, QPoint(toX, RangeY));
    QCOMPARE(pressed.count(), 1);
    // While dragged only the positions move; the range waits for the release.
    QCOMPARE(timeline.rangePositionLower(), whileLower);
    QCOMPARE(timeline.rangePositionUpper(), whileUpper);
    QCOMPARE(timeline.rangeLower(), 20);
    QCOMPARE(moved.last(), (QList<QVariant>{whileLower, whileUpper}));
    QCOMPARE(changes.count(), 0);

    mouse(timeline, QEvent::MouseButtonRelease, QPoint(toX, RangeY));
    QCOMPARE(timeline.rangeLower(), lower);
    QCOMPARE(timeline.rangeUpper(), upper);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.at(0), (QList<QVariant>{lower, upper}));
    QCOMPARE(released.count(), 1);
    QVERIFY(timeline.value() >= lower);
}

void TestTimeline::bubblesPart()
{
    UI::Timeline &timeline = *m_timeline;
    setUp(timeline, {1, 100, 50, 51, 50});
    const QList<UI::TextBubble *> bubbles = timeline.findChildren<UI::TextBubble *>();
    QCOMPARE(bubbles.size(), 2);
    const int middle = (rangePixel(timeline, 50) + rangePixel(timeline, 51)) / 2;
    mouse(timeline, QEvent::MouseButtonPress, QPoint(middle, RangeY));
    mouse(timeline, QEvent::MouseMove, QPoint(middle + 1, RangeY));
    UI::TextBubble *lowerBubble = bubbles.at(0)->text() == u"50" ? bubbles.at(0) : bubbles.at(1);
    UI::TextBubble *upperBubble = lowerBubble == bubbles.at(0) ? bubbles.at(1) : bubbles.at(0);
    QCOMPARE(lowerBubble->text(), QStringLiteral("50"));
    QCOMPARE(upperBubble->text(), QStringLiteral("51"));
    QVERIFY(lowerBubble->isVisibleTo(&timeline));
    QVERIFY(upperBubble->isVisibleTo(&timeline));
    // Handles ten pixels apart: the numbers part so that they do not cover
    // each other.
    const int lowerBodyRight = lowerBubble->geometry().left() + lowerBubble->bubbleSize().width() - 1;
    const int upperBodyLeft = upperBubble->geometry().right() - upperBubble->bubbleSize().width() + 1;
    QVERIFY(lowerBodyRight + 3 < upperBodyLeft);

    mouse(timeline, QEvent::MouseButtonRelease, QPoint(middle + 1, RangeY));
    QVERIFY(lowerBubble->isHidden());
    QVERIFY(upperBubble->isHidden());
}

void TestTimeline::toolTips_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("tip");

    // Limits 1 to 100, range 20 to 60, the playhead on 30.
    QTest::newRow("knob") << "knob" << "Playhead at frame 30";
    QTest::newRow("upper track") << "upper track" << "Timeline";
    QTest::newRow("lower handle") << "lower handle" << "Frame Range starts at frame 20";
    QTest::newRow("middle") << "middle" << "Frame Range";
    QTest::newRow("upper handle") << "upper handle" << "Frame Range ends at frame 60";
    QTest::newRow("lower track beyond the range") << "beyond" << QString();
}

void TestTimeline::toolTips()
{
    QFETCH(QString, where);
    QFETCH(QString, tip);

    UI::Timeline &timeline = *m_timeline;
    setUp(timeline, {1, 100, 20, 60, 30});
    const int l = rangePixel(timeline, 20);
    const int u = rangePixel(timeline, 60);
    const QPoint at = where == u"knob"   ? QPoint(playheadPixel(timeline, 30) + 2, PlayheadY)
        : where == u"upper track"        ? QPoint(playheadPixel(timeline, 90), PlayheadY)
        : where == u"lower handle"       ? QPoint(l, RangeY)
        : where == u"middle"             ? QPoint((l + u) / 2, RangeY)
        : where == u"upper handle"       ? QPoint(u, RangeY)
                                         : QPoint(u + 100, RangeY);
    QHelpEvent event(QEvent::ToolTip, at, timeline.mapToGlobal(at));
    QApplication::sendEvent(&timeline, &event);
    QCOMPARE(event.isAccepted(), !tip.isEmpty());
    if (!tip.isEmpty())
        QCOMPARE(QToolTip::text(), tip);
    QToolTip::hideText();
}

QTEST_MAIN(TestTimeline)
#include "tst_timeline.moc"
