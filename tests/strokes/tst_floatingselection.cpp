#include "settings/settings.h"
#include "strokes/bitmapstroke.h"
#include "strokes/compoundstroke.h"
#include "strokes/floatingselection.h"
#include "strokes/singlestroke.h"
#include "support/testsupport.h"
#include "tools/pentool.h"

#include <QDataStream>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTransform>

#include <cmath>
#include <memory>

using namespace Model;
using namespace TestSupport;
using Placement = FloatingSelection::Transform;

Q_DECLARE_METATYPE(Model::FloatingSelection::Transform)

namespace Model {

char *toString(const FloatingSelection::Transform &placement)
{
    const auto matrix = [](const QTransform &t) {
        return QStringLiteral("[%1 %2 %3 %4 %5 %6]")
            .arg(t.m11()).arg(t.m12()).arg(t.m21()).arg(t.m22()).arg(t.dx()).arg(t.dy());
    };
    return qstrdup(qPrintable(QStringLiteral("first %1, second %2, third %3, centre (%4, %5)")
                                  .arg(matrix(placement.first), matrix(placement.second),
                                       matrix(placement.third))
                                  .arg(placement.center.x())
                                  .arg(placement.center.y())));
}

} // namespace Model

namespace {

const QSize frame(400, 300);

// Markers have no paper grain, so their pixels do not depend on where the
// target lies, and a stroke drawn through a transform can be compared with
// one placed by a transform of its own.
std::unique_ptr<SingleStroke> line(const QList<QPointF> &points)
{
    PenTool marker(Tool::PenType::Marker);
    marker.setSizeRangeLimits(4.0, 12.0);
    auto stroke = std::make_unique<SingleStroke>(frame, &marker);
    for (const QPointF &point : points)
        stroke->addPoint({point.x(), point.y(), 0.8, 0.0});
    stroke->finish();
    return stroke;
}

std::unique_ptr<Stroke> singleContent()
{
    return line({{120, 100}, {160, 110}, {200, 140}, {230, 150}});
}

// What a lasso lifts: a group of strokes, here with a placement of its own
// (as after a change of frame size).
std::unique_ptr<Stroke> compoundContent()
{
    auto group = std::make_unique<CompoundStroke>();
    group->addStroke(line({{100, 100}, {180, 100}, {180, 160}}));
    group->addStroke(line({{120, 170}, {150, 120}}));
    group->setTransform(QTransform::fromTranslate(10, -5));
    return group;
}

std::unique_ptr<Stroke> contentOf(bool compound)
{
    return compound ? compoundContent() : singleContent();
}

Placement placement(const QTransform &first, const QTransform &second = {}, const QTransform &third = {})
{
    return {first, second, third, QPointF(175, 125)};
}

QTransform turnedAbout(QPointF centre, double degrees)
{
    return QTransform::fromTranslate(-centre.x(), -centre.y()) * QTransform().rotate(degrees)
           * QTransform::fromTranslate(centre.x(), centre.y());
}

QByteArray recordOf(const Stroke &stroke)
{
    return record([&](QDataStream &stream) { Stroke::writeRecord(stream, stroke); });
}

QImage ink(const Stroke &stroke, const QTransform &transform = {})
{
    QImage target(frame, QImage::Format_Alpha8);
    target.fill(0);
    stroke.render(target, target.rect(), transform, QPoint(), 1.0);
    return target;
}

bool isCollapsed(const Stroke &stroke)
{
    if (stroke.type() != Stroke::CompoundStrokeType)
        return false;
    const auto &group = static_cast<const CompoundStroke &>(stroke);
    return group.memberCount() == 1 && group.member(0)->type() == Stroke::BitmapStrokeType;
}

// An Indexed8 preview whose first row holds the indexes 0, 1, 2, ... 255.
QImage preview()
{
    QImage image(256, 4, QImage::Format_Indexed8);
    QList<QRgb> grey;
    for (int i = 0; i < 256; ++i)
        grey.append(qRgba(0, 0, 0, i));
    image.setColorTable(grey);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, uint(x));
    return image;
}

struct Counter
{
    int calls = 0;
    bool answer = true;

    CompoundStroke::Progress progress()
    {
        return [this](int, int) {
            ++calls;
            return answer;
        };
    }
};

bool nearlyEqual(QRect a, QRect b, int slack)
{
    return std::abs(a.left() - b.left()) <= slack && std::abs(a.top() - b.top()) <= slack
           && std::abs(a.right() - b.right()) <= slack && std::abs(a.bottom() - b.bottom()) <= slack;
}

} // namespace

class TestFloatingSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // What the canvas reads
    void startsWhereTheContentLies_data();
    void startsWhereTheContentLies();
    void withoutContent();
    void setColor_data();
    void setColor();

    // Stamping
    void stampWrapsOrCopiesTheContent_data();
    void stampWrapsOrCopiesTheContent();
    void stampFollowsThePlacement_data();
    void stampFollowsThePlacement();
    void collapsingStampIsReused_data();
    void collapsingStampIsReused();
    void cancelledCollapseIsNotReused();
    void cachedStampFollowsThePlacement_data();
    void cachedStampFollowsThePlacement();

private:
    bool m_gl = false;
};

void TestFloatingSelection::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_floatingselection"));
    QSettings().clear();

    m_gl = startRenderer(QSize(256, 256));
}

// What the canvas reads

void TestFloatingSelection::startsWhereTheContentLies_data()
{
    QTest::addColumn<bool>("compound");
    QTest::addColumn<double>("opacity");
    QTest::newRow("one stroke") << false << 1.0;
    QTest::newRow("a group, faint layer") << true << 0.4;
}

void TestFloatingSelection::startsWhereTheContentLies()
{
    QFETCH(bool, compound);
    QFETCH(double, opacity);

    std::unique_ptr<Stroke> content = contentOf(compound);
    const QRect bounds = content->boundingRect();
    QVERIFY(bounds.isValid());
    const QImage image = preview();
    FloatingSelection selection(std::move(content), image, opacity);

    QCOMPARE(selection.rect(), bounds);
    QCOMPARE(selection.image(), image);
    QCOMPARE(selection.opacity(), opacity);
    QVERIFY(!selection.collapseVectorData());
    const Placement start = selection.transform();
    QVERIFY(start.first.isIdentity());
    QVERIFY(start.second.isIdentity());
    QVERIFY(start.third.isIdentity());
    QCOMPARE(start.center, QPointF(bounds.center()));

    selection.setOpacity(0.25);
    QCOMPARE(selection.opacity(), 0.25);
    const Placement moved = placement(QTransform::fromTranslate(5, 7), QTransform::fromScale(2, 2));
    selection.setTransform(moved);
    QCOMPARE(selection.transform(), moved);
    // Moving the selection does not move its content.
    QCOMPARE(selection.rect(), bounds);
}

void TestFloatingSelection::withoutContent()
{
    FloatingSelection selection(nullptr, preview(), 1.0);

    QVERIFY(selection.rect().isNull());
    QVERIFY(selection.image().isNull());
    selection.setColor(Qt::red);
    QVERIFY(selection.image().isNull());
    selection.setCollapseVectorData(true);
    QVERIFY(!selection.stamp());
}

void TestFloatingSelection::setColor_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QList<int>>("alphas"); // for the indexes 0, 1, 2, 3, 128, 255

    QTest::newRow("opaque red") << QColor(Qt::red) << QList<int>{0, 1, 2, 3, 128, 255};
    QTest::newRow("half-transparent blue: halves round up")
        << QColor::fromRgbF(0, 0, 1, 0.5) << QList<int>{0, 1, 1, 2, 64, 128};
    QTest::newRow("invisible green") << QColor(0, 255, 0, 0) << QList<int>{0, 0, 0, 0, 0, 0};
}

void TestFloatingSelection::setColor()
{
    QFETCH(QColor, color);
    QFETCH(QList<int>, alphas);

    FloatingSelection selection(singleContent(), preview(), 1.0);
    selection.setColor(color);

    const QImage image = selection.image();
    QCOMPARE(image.colorCount(), 256);
    const QList<int> indexes{0, 1, 2, 3, 128, 255};
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        const QColor seen = image.pixelColor(indexes.at(i), 2);
        QCOMPARE(seen.alpha(), alphas.at(i));
        if (seen.alpha() > 0)
            QCOMPARE(seen.rgb(), color.rgb());
    }

    // A second colour replaces the first.
    selection.setColor(Qt::black);
    QCOMPARE(selection.image().pixelColor(255, 0), QColor(Qt::black));
}

// Stamping

void TestFloatingSelection::stampWrapsOrCopiesTheContent_data()
{
    QTest::addColumn<bool>("compound");
    QTest::newRow("one stroke is wrapped in a group") << false;
    QTest::newRow("a group is copied as it is") << true;
}

void TestFloatingSelection::stampWrapsOrCopiesTheContent()
{
    QFETCH(bool, compound);

    const std::unique_ptr<Stroke> content = contentOf(compound);
    FloatingSelection selection(content->clone(), preview(), 1.0);

    const std::unique_ptr<Stroke> stamp = selection.stamp();
    QVERIFY(stamp);
    QCOMPARE(stamp->type(), Stroke::CompoundStrokeType);
    const auto &group = static_cast<const CompoundStroke &>(*stamp);
    if (compound) {
        // Unplaced, the stamp is the lifted group itself.
        QCOMPARE(recordOf(group), recordOf(*content));
    } else {
        QCOMPARE(group.memberCount(), 1);
        QCOMPARE(recordOf(*group.member(0)), recordOf(*content));
        QVERIFY(group.transform().isIdentity());
    }
    QCOMPARE(stamp->boundingRect(), content->boundingRect());

    // Stamping leaves the selection as it was: the next stamp is the same.
    QCOMPARE(recordOf(*selection.stamp()), recordOf(*stamp));
    QCOMPARE(selection.rect(), content->boundingRect());
}

void TestFloatingSelection::stampFollowsThePlacement_data()
{
    QTest::addColumn<bool>("compound");
    QTest::addColumn<Placement>("placed");

    const QPointF centre(175, 125);
    for (const bool compound : {false, true}) {
        const char *kind = compound ? "group" : "stroke";
        QTest::addRow("%s moved", kind) << compound << placement(QTransform::fromTranslate(40, -25));
        QTest::addRow("%s turned", kind) << compound << placement(turnedAbout(centre, 30));
        QTest::addRow("%s scaled, then moved", kind)
            << compound << placement(QTransform::fromScale(0.5, 0.75), QTransform::fromTranslate(-30, 20));
        QTest::addRow("%s skewed, scaled and turned", kind)
            << compound
            << placement(QTransform().shear(0.3, 0), QTransform::fromScale(1.2, 1.2), turnedAbout(centre, -50));
    }
}

// The stamp lands where the content lies when drawn through the inverse of
// the placement.
void TestFloatingSelection::stampFollowsThePlacement()
{
    REQUIRE_GL();
    QFETCH(bool, compound);
    QFETCH(Placement, placed);

    const std::unique_ptr<Stroke> content = contentOf(compound);
    FloatingSelection selection(content->clone(), preview(), 1.0);
    selection.setTransform(placed);

    const std::unique_ptr<Stroke> stamp = selection.stamp();
    const QTransform inverse = (placed.third * placed.second * placed.first).inverted();
    const QImage expected = ink(*content, inverse);
    QVERIFY(expected != ink(*content));
    QCOMPARE(ink(*stamp), expected);
}

void TestFloatingSelection::collapsingStampIsReused_data()
{
    QTest::addColumn<bool>("compound");
    QTest::addColumn<bool>("withProgress");
    QTest::newRow("one stroke, with a progress dialog") << false << true;
    QTest::newRow("a group, with a progress dialog") << true << true;
    QTest::newRow("a group, no dialog") << true << false;
}

void TestFloatingSelection::collapsingStampIsReused()
{
    QFETCH(bool, compound);
    QFETCH(bool, withProgress);

    const std::unique_ptr<Stroke> content = contentOf(compound);
    FloatingSelection selection(content->clone(), preview(), 1.0);
    selection.setTransform(placement(QTransform::fromTranslate(20, 10)));
    const std::unique_ptr<Stroke> vector = selection.stamp();
    QVERIFY(!isCollapsed(*vector));

    selection.setCollapseVectorData(true);
    Counter counter;
    const std::unique_ptr<Stroke> first = selection.stamp(withProgress ? counter.progress() : nullptr);
    QVERIFY(first);
    QVERIFY(isCollapsed(*first));
    QCOMPARE(counter.calls > 0, withProgress);

    // Stamped again without a change of placement: the same bitmap, without
    // rendering it again.
    counter.calls = 0;
    const std::unique_ptr<Stroke> second = selection.stamp(counter.progress());
    QCOMPARE(counter.calls, 0);
    QCOMPARE(recordOf(*second), recordOf(*first));

    if (m_gl) {
        // The bitmap shows what the vector stamp would have painted.
        const QImage collapsed = ink(*first);
        const QImage expected = ink(*vector);
        QVERIFY(expected != QImage(frame, QImage::Format_Alpha8));
        const int worst = difference(collapsed, expected).largest;
        QVERIFY2(worst <= 64, qPrintable(QString::number(worst)));
    }
}

void TestFloatingSelection::cancelledCollapseIsNotReused()
{
    const std::unique_ptr<Stroke> content = compoundContent();
    FloatingSelection selection(content->clone(), preview(), 1.0);
    selection.setCollapseVectorData(true);

    // The user cancels: the stamp still comes, with its strokes as they are.
    Counter cancelling;
    cancelling.answer = false;
    const std::unique_ptr<Stroke> cancelled = selection.stamp(cancelling.progress());
    QVERIFY(cancelling.calls > 0);
    QVERIFY(cancelled);
    QVERIFY(!isCollapsed(*cancelled));
    QCOMPARE(recordOf(*cancelled), recordOf(*content));

    // The next stamp collapses as asked, instead of reusing the vector one.
    Counter accepting;
    const std::unique_ptr<Stroke> collapsed = selection.stamp(accepting.progress());
    QVERIFY(accepting.calls > 0);
    QVERIFY(isCollapsed(*collapsed));
}

void TestFloatingSelection::cachedStampFollowsThePlacement_data()
{
    QTest::addColumn<Placement>("changed");
    QTest::addColumn<bool>("collapsesAgain");

    const Placement start = placement(QTransform::fromTranslate(20, 10), QTransform::fromScale(1.5, 1.5));
    Placement third = start;
    third.third = QTransform::fromTranslate(-35, 12);
    QTest::newRow("third moved: kept") << third << false;
    third.third = turnedAbout(QPointF(175, 125), 90);
    QTest::newRow("third turned: kept") << third << false;
    Placement centre = start;
    centre.center = QPointF(10, 10);
    QTest::newRow("centre only: kept") << centre << false;
    Placement first = start;
    first.first = QTransform::fromTranslate(21, 10);
    QTest::newRow("first moved: collapsed again") << first << true;
    Placement second = start;
    second.second = QTransform::fromScale(1.5, 1.25);
    QTest::newRow("second scaled: collapsed again") << second << true;
}

void TestFloatingSelection::cachedStampFollowsThePlacement()
{
    QFETCH(Placement, changed);
    QFETCH(bool, collapsesAgain);

    FloatingSelection selection(compoundContent(), preview(), 1.0);
    selection.setTransform(placement(QTransform::fromTranslate(20, 10), QTransform::fromScale(1.5, 1.5)));
    selection.setCollapseVectorData(true);
    QVERIFY(isCollapsed(*selection.stamp()));

    selection.setTransform(changed);
    Counter counter;
    const std::unique_ptr<Stroke> stamp = selection.stamp(counter.progress());
    QCOMPARE(counter.calls > 0, collapsesAgain);

    // Either way the stamp lies where a fresh collapse would put it.
    FloatingSelection fresh(compoundContent(), preview(), 1.0);
    fresh.setTransform(changed);
    fresh.setCollapseVectorData(true);
    const std::unique_ptr<Stroke> expected = fresh.stamp();
    QVERIFY2(nearlyEqual(stamp->boundingRect(), expected->boundingRect(), 2),
             qPrintable(describe(stamp->boundingRect()) + QStringLiteral(" vs ") + describe(expected->boundingRect())));
}

QTEST_MAIN(TestFloatingSelection)
#include "tst_floatingselection.moc"
