#include "dialogs/backlightsliders.h"

#include "support/widgetevents.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

namespace {

Model::BacklightSetting setting(const QList<double> &before, const QList<double> &after)
{
    Model::BacklightSetting levels;
    levels.opacityLevelsBefore = before;
    levels.opacityLevelsAfter = after;
    levels.showOption = Model::BacklightSetting::WrapAtEnds;
    return levels;
}

// The centre of a bar, horizontally.
double centreOf(const UI::BacklightSliders &sliders, int bar)
{
    return bar * sliders.columnWidth() + sliders.barWidth() / 2;
}

} // namespace

// The nine bars of one backlight set: their heights from the levels, their
// drags and the settings they report, and the presses that take no bar.
class TestBacklightSliders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void barsShowTheLevels();
    void drags_data();
    void drags();
};

// At the smallest size, with a level for the frame just before only, as a
// user sees them: bar 3 half full, the middle bar full, the rest empty.
void TestBacklightSliders::barsShowTheLevels()
{
    UI::BacklightSliders sliders;
    sliders.resize(200, 90);
    sliders.show();
    QSignalSpy changed(&sliders, &UI::BacklightSliders::backlightSettingChanged);
    sliders.setBacklightSetting(setting({0.5}, {}));
    QCOMPARE(changed.count(), 0);
    QVERIFY(qAbs(sliders.columnWidth() - 202.0 / 9) < 1e-9);
    QVERIFY(qAbs(sliders.barWidth() - (202.0 / 9 - 2)) < 1e-9);
    QCOMPARE(sliders.barHeights(), QList<double>({0, 0, 0, 45, 90, 0, 0, 0, 0}));

    QPalette colours = sliders.palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::black);
    colours.setColor(QPalette::Window, Qt::white);
    sliders.setPalette(colours);
    QImage painted(sliders.size(), QImage::Format_ARGB32);
    painted.fill(Qt::white);
    sliders.render(&painted, QPoint(), QRegion(), QWidget::DrawChildren);
    const auto shade = [&](int bar, int y) { return qGray(painted.pixel(int(centreOf(sliders, bar)), y)); };
    QCOMPARE(shade(3, 80), 0);
    QCOMPARE(shade(3, 10), 255);
    QVERIFY(shade(4, 10) > 0 && shade(4, 10) < 255);
    QCOMPARE(shade(5, 80), 255);
}

void TestBacklightSliders::drags_data()
{
    QTest::addColumn<int>("bar");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QList<int>>("ys");
    QTest::addColumn<QList<double>>("before");
    QTest::addColumn<QList<double>>("after");
    QTest::addColumn<int>("signals");

    // Press, moves and release, each at a height; a press and a release
    // alone give two reports, each move one more.
    QTest::newRow("three frames before, to a third") << 1 << 0 << QList<int>{45, 60} << QList<double>{0.5, 0.0, 1.0 / 3}
                                                     << QList<double>{} << 4;
    QTest::newRow("the frame just after, to the top and beyond") << 5 << 0 << QList<int>{30, -40}
                                                                 << QList<double>{0.5} << QList<double>{1.0} << 4;
    QTest::newRow("below five percent snaps to off") << 3 << 0 << QList<int>{40, 86} << QList<double>{0.0}
                                                     << QList<double>{} << 4;
    QTest::newRow("four frames after, press and release") << 8 << 0 << QList<int>{45} << QList<double>{0.5}
                                                          << QList<double>{0.0, 0.0, 0.0, 0.5} << 3;
    QTest::newRow("the middle bar") << 4 << 0 << QList<int>{45, 60} << QList<double>{0.5} << QList<double>{} << 0;
    QTest::newRow("the gap after a bar") << 2 << 21 << QList<int>{45, 60} << QList<double>{0.5} << QList<double>{}
                                         << 0;
}

// Dragging a bar writes its level into the setting, the other choices of the
// set carried along; the middle bar and the gaps take nothing.
void TestBacklightSliders::drags()
{
    QFETCH(int, bar);
    QFETCH(int, offset);
    QFETCH(QList<int>, ys);
    QFETCH(QList<double>, before);
    QFETCH(QList<double>, after);
    QFETCH(int, signals);
    UI::BacklightSliders sliders;
    sliders.resize(200, 90);
    sliders.show();
    sliders.setBacklightSetting(setting({0.5}, {}));
    QSignalSpy changed(&sliders, &UI::BacklightSliders::backlightSettingChanged);
    const double x = offset ? bar * sliders.columnWidth() + offset : centreOf(sliders, bar);

    QList<QPointF> points;
    for (int y : ys)
        points.append(QPointF(x, y));
    TestSupport::drag(&sliders, points);

    QCOMPARE(changed.count(), signals);
    const Model::BacklightSetting edited = sliders.backlightSetting();
    QCOMPARE(edited.opacityLevelsBefore, before);
    QCOMPARE(edited.opacityLevelsAfter, after);
    QCOMPARE(edited.showOption, Model::BacklightSetting::WrapAtEnds);
    if (signals > 0) {
        const auto reported = changed.last().first().value<Model::BacklightSetting>();
        QCOMPARE(reported.opacityLevelsBefore, before);
        QCOMPARE(reported.opacityLevelsAfter, after);
    }
}

QTEST_MAIN(TestBacklightSliders)
#include "tst_backlightsliders.moc"
