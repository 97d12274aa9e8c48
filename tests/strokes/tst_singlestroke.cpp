#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "strokes/arcsegment.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"
#include "strokes/singlestroke.h"
#include "support/strictrecord.h"
#include "support/testsupport.h"
#include "tools/erasertool.h"
#include "tools/fixedcursortools.h"
#include "tools/pentool.h"

#include <QDataStream>
#include <QPainter>
#include <QPainterPath>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace Model;
using namespace TestSupport;
using InputPoint = SingleStroke::InputPoint;

namespace {

// Diameters of 2 to 10 pixels: radius 1 at no pressure, 5 at full pressure.
std::unique_ptr<DrawingTool> drawingTool(bool eraser = false, int subType = 1)
{
    std::unique_ptr<DrawingTool> tool;
    if (eraser)
        tool = std::make_unique<EraserTool>(Tool::PenType(subType));
    else
        tool = std::make_unique<PenTool>(Tool::PenType(subType));
    tool->setSizeRangeLimits(2.0, 10.0);
    return tool;
}

QByteArray recordOf(const SingleStroke &stroke)
{
    return record([&](QDataStream &stream) { stroke.write(stream); });
}

std::unique_ptr<SingleStroke> readFrom(const QByteArray &data, QDataStream::Status *status = nullptr)
{
    QDataStream stream(data);
    auto stroke = SingleStroke::read(prepareRecordStream(stream));
    if (status)
        *status = stream.status();
    return stroke;
}

void feed(SingleStroke &stroke, const QList<InputPoint> &samples)
{
    for (const InputPoint &sample : samples)
        stroke.addPoint(sample);
}

// A wavy pen path across a 640x480 drawing with changing pressure and
// positions that a float cannot hold; the fourth value is the time.
QList<InputPoint> wave()
{
    QList<InputPoint> samples;
    for (int i = 0; i <= 90; ++i) {
        const double x = 40.0 + i * 6.0 + 1.0 / 3.0;
        samples.append({x, 240.0 + 120.0 * std::sin(x / 70.0), 0.3 + 0.6 * std::pow(std::sin(i / 15.0), 2.0), i * 5.0});
    }
    return samples;
}

// Full pressure, to the right along y = 100.
QList<InputPoint> straight(int from, int to)
{
    QList<InputPoint> samples;
    for (int x = from; x <= to; x += 10)
        samples.append({double(x), 100.0, 1.0, 0.0});
    return samples;
}

QPointF segmentEnd(const Segment &segment)
{
    if (segment.type() == Segment::PointType)
        return static_cast<const PointSegment &>(segment).position();
    if (segment.type() == Segment::LineType)
        return static_cast<const LineSegment &>(segment).end();
    return static_cast<const ArcSegment &>(segment).end();
}

int countOfType(const SingleStroke &stroke, int type)
{
    int count = 0;
    for (const auto &segment : stroke.segments())
        count += segment->type() == type;
    return count;
}

bool coveredOnlyInside(const QImage &image, QRect rect)
{
    QImage outside = image.copy();
    fillAlphaRect(outside, rect, 0);
    return outside == alpha8(image.size());
}

} // namespace

Q_DECLARE_METATYPE(Model::SingleStroke::InputPoint)

class TestSingleStroke : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void firstSampleIsADab_data();
    void firstSampleIsADab();
    void roundPenGivesArcs();
    void reversalMakesACorner_data();
    void reversalMakesACorner();
    void turnAfterKnownDirection_data();
    void turnAfterKnownDirection();
    void stillPenAndFinish_data();
    void stillPenAndFinish();
    void withoutDrawingToolNothingIsFitted_data();
    void withoutDrawingToolNothingIsFitted();

    void recordRoundTrip_data();
    void recordRoundTrip();
    void truncatedRecords();
    void settledStrokeIsWhatItsRecordGives_data();
    void settledStrokeIsWhatItsRecordGives();
    void damagedRecords_data();
    void damagedRecords();

    void firstMaskUpdate_data();
    void firstMaskUpdate();
    void renderMatchesTheMask_data();
    void renderMatchesTheMask();
    void eraserRendersWithItsFamily_data();
    void eraserRendersWithItsFamily();
    void takingTheMask();

    void eraseAndClip_data();
    void eraseAndClip();
    void pendingLine();

private:
    bool m_gl = false;
};

void TestSingleStroke::initTestCase()
{
    // Smaller than the drawings, so that rendering tiles as well.
    m_gl = startRenderer(QSize(512, 512));
}

void TestSingleStroke::firstSampleIsADab_data()
{
    QTest::addColumn<double>("pressure");
    QTest::addColumn<double>("radius");
    QTest::newRow("no pressure") << 0.0 << 1.0;
    QTest::newRow("half pressure, radius rising slowly") << 0.5 << 1.0 + 4.0 * 9.0 / 99.0;
    QTest::newRow("full pressure") << 1.0 << 5.0;
}

void TestSingleStroke::firstSampleIsADab()
{
    QFETCH(double, pressure);
    QFETCH(double, radius);
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(100, 100), tool.get());
    stroke.addPoint({40, 30, pressure, 0});
    QCOMPARE(stroke.segments().size(), 1);
    QCOMPARE(stroke.fitPointCount(), 1);
    const auto *dab = dynamic_cast<const PointSegment *>(stroke.segments().constFirst().get());
    QVERIFY(dab);
    QCOMPARE(dab->position(), QPointF(40, 30));
    QCOMPARE(dab->radius(), radius);
    QCOMPARE(dab->opacity(), pressure);
}

void TestSingleStroke::roundPenGivesArcs()
{
    // The tool manager's tools have a parent; the stroke's copy of one must
    // not go with it (a double delete would show under the sanitizers).
    auto owner = std::make_unique<QObject>();
    SingleStroke stroke(QSize(400, 400), new PenTool(Tool::PenType::Marker, owner.get()));
    owner.reset();
    for (int i = 0; i <= 60; ++i)
        stroke.addPoint({200 + 100 * std::cos(qDegreesToRadians(5.0 * i)), 200 - 100 * std::sin(qDegreesToRadians(5.0 * i)), 0.7, 0});
    stroke.finish();
    QVERIFY(countOfType(stroke, Segment::ArcType) > 40);
    for (const auto &segment : stroke.segments())
        QVERIFY(std::abs(QLineF(QPointF(200, 200), segmentEnd(*segment)).length() - 100.0) < 3.0);
}

void TestSingleStroke::reversalMakesACorner_data()
{
    QTest::addColumn<QPointF>("afterTurn");
    QTest::addColumn<bool>("corner");
    // The pen runs right to (200, 100), then on to afterTurn.
    QTest::newRow("straight back") << QPointF(190, 100) << true;
    QTest::newRow("sharp turn down") << QPointF(190, 112) << true;
    QTest::newRow("sharp turn up") << QPointF(190, 88) << true;
    QTest::newRow("gentle bend") << QPointF(210, 104) << false;
}

void TestSingleStroke::reversalMakesACorner()
{
    QFETCH(QPointF, afterTurn);
    QFETCH(bool, corner);
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(400, 200), tool.get());
    feed(stroke, straight(100, 200));
    QCOMPARE(countOfType(stroke, Segment::LineType), 10);
    const qsizetype before = stroke.segments().size();
    stroke.addPoint({afterTurn.x(), afterTurn.y(), 1.0, 0});

    // A corner runs straight into the sample before the turn and straight
    // out of it; a bend continues along an arc.
    const auto added = stroke.segments().mid(before);
    QCOMPARE(segmentEnd(*added.constFirst()) == QPointF(200, 100), corner);
    QCOMPARE(added.size(), corner ? 2 : 1);
    QCOMPARE(countOfType(stroke, Segment::ArcType), corner ? 0 : 1);
    if (corner)
        QCOMPARE(segmentEnd(*added.at(1)), QPointF(200, 100) + (afterTurn - QPointF(200, 100)) * 0.6);
}

void TestSingleStroke::turnAfterKnownDirection_data()
{
    QTest::addColumn<double>("turn");
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<bool>("dabKept");
    QTest::newRow("44 degrees") << 44.0 << QPointF(190, 200) << true;
    QTest::newRow("46 degrees") << 46.0 << QPointF(190, 200) << false;
    QTest::newRow("straight back") << 180.0 << QPointF(190, 200) << false;
    QTest::newRow("50 degrees clockwise") << 310.0 << QPointF(190, 200) << false;
    QTest::newRow("30 degrees clockwise") << 330.0 << QPointF(190, 200) << true;
    QTest::newRow("direction under 5 pixels ignored") << 90.0 << QPointF(196, 200) << true;
}

void TestSingleStroke::turnAfterKnownDirection()
{
    QFETCH(double, turn);
    QFETCH(QPointF, from);
    QFETCH(bool, dabKept);
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(400, 400), tool.get());
    stroke.addPointWithTangent({200, 200, 0.8, 0}, from);
    stroke.addPoint({200 + 30 * std::cos(qDegreesToRadians(turn)), 200 - 30 * std::sin(qDegreesToRadians(turn)), 0.8, 0});
    QCOMPARE(stroke.segments().constFirst()->type() == Segment::PointType, dabKept);
    QCOMPARE(stroke.segments().size(), dabKept ? 2 : 1);
}

void TestSingleStroke::stillPenAndFinish_data()
{
    QTest::addColumn<double>("distance");
    QTest::addColumn<int>("refits");
    QTest::addColumn<bool>("finishAdds");
    // Each refit leaves 0.4 of the gap, until 0.6 of it is under a pixel:
    // 50 leaves 1.28 for finish, 37.5 leaves 0.96.
    QTest::newRow("over a pixel left") << 50.0 << 3 << true;
    QTest::newRow("under a pixel left") << 37.5 << 3 << false;
    QTest::newRow("pen barely moved") << 1.5 << 0 << true;
}

void TestSingleStroke::stillPenAndFinish()
{
    QFETCH(double, distance);
    QFETCH(int, refits);
    QFETCH(bool, finishAdds);
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(400, 400), tool.get());
    feed(stroke, {{100, 100, 0.5, 0}, {100 + distance, 100, 0.5, 5}});
    const qsizetype afterSamples = stroke.segments().size();
    for (int i = 0; i < 30; ++i)
        stroke.update();
    QCOMPARE(stroke.segments().size(), afterSamples + refits);
    stroke.finish();
    stroke.finish();
    QCOMPARE(stroke.segments().size(), afterSamples + refits + finishAdds);

    // Finishing closes a curved stroke exactly at the pen, and drawing may go on.
    SingleStroke curved(QSize(640, 480), tool.get());
    feed(curved, wave());
    curved.finish();
    QVERIFY(QLineF(segmentEnd(*curved.segments().constLast()), wave().constLast().position()).length() < 1e-6);
    const qsizetype finished = curved.segments().size();
    curved.addPoint({590, 400, 0.5, 0});
    QVERIFY(curved.segments().size() > finished);
}

void TestSingleStroke::withoutDrawingToolNothingIsFitted_data()
{
    QTest::addColumn<bool>("handTool");
    QTest::newRow("no tool") << false;
    QTest::newRow("hand tool") << true;
}

void TestSingleStroke::withoutDrawingToolNothingIsFitted()
{
    QFETCH(bool, handTool);
    HandTool hand;
    SingleStroke stroke(QSize(640, 480), handTool ? &hand : nullptr);
    stroke.addPointWithTangent({10, 10, 0.5, 0}, QPointF(0, 10));
    feed(stroke, wave());
    stroke.addPoint({std::numeric_limits<double>::quiet_NaN(), 1, 1, 0});
    stroke.update();
    stroke.finish();
    QCOMPARE(stroke.inputPoints().size(), wave().size() + 1);
    QVERIFY(stroke.isEmpty());
    QCOMPARE(stroke.boundingRect(), QRect());
    QCOMPARE(stroke.updateMask(), QRect());
}

void TestSingleStroke::recordRoundTrip_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::addColumn<int>("subType");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("brush") << false << 2 << QByteArray::fromHex("0100000002");
    QTest::newRow("vinyl eraser") << true << 2 << QByteArray::fromHex("0000000002");
}

void TestSingleStroke::recordRoundTrip()
{
    QFETCH(bool, eraser);
    QFETCH(int, subType);
    QFETCH(QByteArray, start);
    const auto tool = drawingTool(eraser, subType);
    SingleStroke stroke(QSize(640, 480), tool.get());
    feed(stroke, wave());
    stroke.finish();
    QVERIFY(countOfType(stroke, Segment::PointType) == 1 && countOfType(stroke, Segment::ArcType) > 0);

    const QByteArray record = recordOf(stroke);
    QVERIFY(record.startsWith(start));
    QDataStream::Status status;
    const auto back = readFrom(record, &status);
    QCOMPARE(status, QDataStream::Ok);
    QCOMPARE(back->isEraserStroke(), eraser);
    QCOMPARE(back->penType(), eraser ? 1 : subType);
    QCOMPARE(back->boundingRect(), stroke.boundingRect());
    QVERIFY(back->image().isNull());
    QCOMPARE(back->updateMask(), QRect());
    for (qsizetype i = 0; i < wave().size(); ++i) {
        const InputPoint point = back->inputPoints().at(i);
        QCOMPARE(point.x, double(float(wave().at(i).x)));
        QCOMPARE(point.pressure, double(float(wave().at(i).pressure)));
        QCOMPARE(point.extra, 0.0);
    }
    // What was read writes the same record again, and is never refitted.
    QCOMPARE(recordOf(*back), record);
    back->addPoint({600, 50, 1, 0});
    back->finish();
    QCOMPARE(back->segments().size(), stroke.segments().size());

    // A clone writes the same record; through the factory, as a member.
    QByteArray member;
    QDataStream out(&member, QIODevice::WriteOnly);
    Stroke::writeRecord(prepareRecordStream(out), *stroke.clone());
    QDataStream in(member);
    const auto read = Stroke::readRecord(prepareRecordStream(in));
    QVERIFY(read && read->type() == Stroke::SingleStrokeType && in.atEnd());
    QCOMPARE(recordOf(static_cast<SingleStroke &>(*read)), record);
}

void TestSingleStroke::settledStrokeIsWhatItsRecordGives_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::addColumn<QList<InputPoint>>("samples");
    QList<InputPoint> corner = straight(100, 200);
    corner << InputPoint{190, 112, 0.7, 0.0} << InputPoint{150, 160, 0.4, 0.0};
    QTest::newRow("pen wave: arcs and lines") << false << wave();
    QTest::newRow("eraser wave") << true << wave();
    QTest::newRow("corner") << false << corner;
    QTest::newRow("one dab") << false << QList<InputPoint>{{50.5, 60.25, 0.5, 1.0}};
    QTest::newRow("no samples") << false << QList<InputPoint>();
    // A pressure beyond what a pen reports draws as the nearest it does; a
    // sample beyond any drawing is none.
    QTest::newRow("samples no pen gives") << false
                                          << QList<InputPoint>{{10, 10, 0.5, 0.0},
                                                               {40, 12, 1.5, 0.0},
                                                               {3e38, 20, 0.5, 0.0},
                                                               {70, 30, -0.25, 0.0}};
}

// A drawing keeps its strokes settled: in the precision of their records,
// without fit points, never fitted again. What it keeps must be exactly what
// writing the live stroke and reading it back gives.
void TestSingleStroke::settledStrokeIsWhatItsRecordGives()
{
    QFETCH(bool, eraser);
    QFETCH(QList<InputPoint>, samples);
    const auto tool = drawingTool(eraser);
    SingleStroke stroke(tool.get());
    feed(stroke, samples);
    stroke.finish();
    const QByteArray written = recordOf(stroke);
    QCOMPARE(StrictRecord::strokeFault(record([&](QDataStream &out) { Stroke::writeRecord(out, stroke); })),
             QString());
    const auto back = readFrom(written);
    const QRect bounds = stroke.boundingRect();
    const qsizetype segmentCount = stroke.segments().size();

    stroke.settle();
    QCOMPARE(recordOf(stroke), written);
    QCOMPARE(stroke.fitPointCount(), 0);
    QCOMPARE(stroke.boundingRect(), bounds);
    QCOMPARE(stroke.isEmpty(), segmentCount == 0);
    QVERIFY(stroke.tool());
    const QList<std::shared_ptr<Segment>> segments = stroke.segments();
    const QList<std::shared_ptr<Segment>> readSegments = back->segments();
    QCOMPARE(segments.size(), segmentCount);
    QCOMPARE(segments.size(), readSegments.size());
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const auto segmentRecord = [](const Segment &segment) {
            return record([&](QDataStream &out) { Segment::writeRecord(out, segment); });
        };
        QCOMPARE(segmentRecord(*segments.at(i)), segmentRecord(*readSegments.at(i)));
        QCOMPARE(segments.at(i)->boundingRect(), readSegments.at(i)->boundingRect());
    }
    QCOMPARE(stroke.inputPoints().size(), back->inputPoints().size());
    for (qsizetype i = 0; i < back->inputPoints().size(); ++i) {
        QCOMPARE(stroke.inputPoints().at(i).position(), back->inputPoints().at(i).position());
        QCOMPARE(stroke.inputPoints().at(i).pressure, back->inputPoints().at(i).pressure);
    }
    QCOMPARE(stroke.path(), back->path());

    if (m_gl) {
        QImage settledPixels(640, 480, QImage::Format_Alpha8);
        settledPixels.fill(0);
        QImage readPixels = settledPixels;
        stroke.render(settledPixels, settledPixels.rect(), QTransform(), QPoint(0, 0), 1.0);
        back->render(readPixels, readPixels.rect(), QTransform(), QPoint(0, 0), 1.0);
        QCOMPARE(settledPixels, readPixels);
    }

    // Settled once and for all: more samples are kept but fit nothing.
    stroke.settle();
    stroke.addPoint({300, 300, 1, 0});
    stroke.finish();
    QCOMPARE(stroke.segments().size(), segmentCount);
    QCOMPARE(stroke.inputPoints().size(), back->inputPoints().size() + 1);
}

void TestSingleStroke::truncatedRecords()
{
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(640, 480), tool.get());
    feed(stroke, wave().mid(0, 25));
    const QByteArray record = recordOf(stroke);
    for (qsizetype cut = 0; cut < record.size(); ++cut) {
        QDataStream::Status status;
        const auto read = readFrom(record.left(cut), &status);
        QVERIFY2(status != QDataStream::Ok, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        QVERIFY(read->segments().size() < stroke.segments().size());
    }
}

void TestSingleStroke::damagedRecords_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("segments");

    // Kind, sub-type and bounds, then what follows.
    const auto record = [](qint8 pen, qint32 subType, const QList<qint32> &words, const QList<double> &values) {
        QByteArray data;
        QDataStream stream(&data, QIODevice::WriteOnly);
        prepareRecordStream(stream) << pen << subType << QRect(10, 10, 20, 20);
        for (qint32 word : words)
            stream << word;
        for (double value : values)
            stream << value;
        return data;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int pastEnd = QDataStream::ReadPastEnd;
    const int corrupt = QDataStream::ReadCorruptData;
    // A point is three values; a dab the code 0 and four values.
    QTest::newRow("point count beyond the data") << record(1, 1, {-16}, {1, 2, 0.5}) << pastEnd << 1 << 0;
    QTest::newRow("segment count beyond the data") << record(1, 1, {0, 0x7fffffff, 0}, {1, 2, 1, 2}) << pastEnd << 0 << 1;
    QTest::newRow("unknown segment types to the end") << record(1, 1, {0, 0x7fffffff, 9, -7, 3, 3}, {}) << pastEnd << 0 << 0;
    QTest::newRow("point that is not a number") << record(1, 1, {2}, {1, 2, 0.5, nan, 2, 0.5}) << corrupt << 1 << 0;
    QTest::newRow("point beyond any drawing") << record(1, 1, {2}, {1, 2, 0.5, 3e38, 2, 0.5}) << corrupt << 1 << 0;
    QTest::newRow("pressure above one") << record(1, 1, {2}, {1, 2, 0.5, 3, 4, 1.5}) << corrupt << 1 << 0;
    QTest::newRow("negative pressure") << record(1, 1, {2}, {1, 2, -0.5, 3, 4, 1}) << corrupt << 0 << 0;
    QTest::newRow("unknown sub-type") << record(0, 7, {0, 0}, {}) << corrupt << 0 << 0;
    QTest::newRow("empty") << QByteArray() << pastEnd << 0 << 0;
}

void TestSingleStroke::damagedRecords()
{
    QFETCH(QByteArray, record);
    QFETCH(int, status);
    QFETCH(int, points);
    QFETCH(int, segments);
    QDataStream::Status actual;
    const auto read = readFrom(record, &actual);
    QCOMPARE(int(actual), status);
    QCOMPARE(read->inputPoints().size(), points);
    QCOMPARE(read->segments().size(), segments);
}

void TestSingleStroke::firstMaskUpdate_data()
{
    QTest::addColumn<QPointF>("position");
    QTest::addColumn<QRect>("changed");
    // A dab of radius 5 on a 320x240 drawing: the dab grown by a pixel, and
    // around the pen the square from 5 before it to 3 after it.
    QTest::newRow("middle") << QPointF(100, 80) << QRect(QPoint(94, 74), QPoint(105, 85));
    QTest::newRow("top left corner") << QPointF(2, 1) << QRect(QPoint(0, 0), QPoint(7, 6));
    QTest::newRow("beyond the right edge") << QPointF(322, 100) << QRect(QPoint(316, 94), QPoint(319, 105));
}

void TestSingleStroke::firstMaskUpdate()
{
    REQUIRE_GL();
    QFETCH(QPointF, position);
    QFETCH(QRect, changed);
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(320, 240), tool.get());
    stroke.addPoint({position.x(), position.y(), 1.0, 0});
    QCOMPARE(stroke.updateMask(), changed);
    QVERIFY(coveredOnlyInside(stroke.image(), changed));
    QVERIFY(stroke.image() != alpha8(QSize(320, 240)));
}

void TestSingleStroke::renderMatchesTheMask_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::addColumn<int>("subType");
    QTest::newRow("pencil") << false << 0;
    QTest::newRow("marker") << false << 1;
    QTest::newRow("kneaded eraser") << true << 0;
}

void TestSingleStroke::renderMatchesTheMask()
{
    REQUIRE_GL();
    QFETCH(bool, eraser);
    QFETCH(int, subType);
    const auto tool = drawingTool(eraser, subType);
    SingleStroke stroke(QSize(640, 480), tool.get());
    QImage before = alpha8(QSize(640, 480));
    for (const InputPoint &sample : wave()) {
        stroke.addPoint(sample);
        const QRect rect = stroke.updateMask();
        // Nothing outside the reported rectangle changes.
        QImage outside = stroke.image().copy();
        fillAlphaRect(outside, rect, 0);
        fillAlphaRect(before, rect, 0);
        QCOMPARE(outside, before);
        before = stroke.image().copy();
    }

    QImage target = alpha8(QSize(640, 480), 77);
    QCOMPARE(stroke.render(target, target.rect(), QTransform(), QPoint(0, 0), 1.0), target.rect());
    // Rendered in one go, overlapping edges are resolved from their samples
    // together rather than piece by piece; elsewhere both agree exactly.
    const Difference diff = difference(target, stroke.image());
    QVERIFY2(diff.largest <= 64 && diff.sum < 0.05 * 640 * 480,
             qPrintable(QStringLiteral("largest %1, sum %2").arg(diff.largest).arg(diff.sum)));

    // Rendered in bands, each band holds the whole render's pixels, edges
    // feathered across from segments and caps beyond it included, at the
    // paper's size and shrunk as a thumbnail draws it.
    for (const double scale : {1.0, 0.37}) {
        const QTransform shrink = QTransform::fromScale(scale, scale);
        QImage whole = alpha8(QSize(640, 480));
        stroke.render(whole, whole.rect(), shrink, QPoint(0, 0), 1.0);
        for (int top = 0; top < 480; top += 7) {
            const QRect band(0, top, 640, std::min(7, 480 - top));
            QImage part = alpha8(QSize(640, 480));
            stroke.render(part, band, shrink, QPoint(0, 0), 1.0);
            QCOMPARE(part.copy(band), whole.copy(band));
        }
    }

    // A clip that misses the stroke draws nothing.
    QCOMPARE(stroke.render(before, QRect(0, 400, 30, 30), QTransform(), QPoint(), 1.0), QRect());
    QCOMPARE(before, stroke.image());
}

// A drawing takes the mask of a finished stroke; the stroke must not keep a
// frame's worth of memory alive next to it.
void TestSingleStroke::takingTheMask()
{
    REQUIRE_GL();
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(320, 240), tool.get());
    for (const InputPoint &sample : straight(20, 120)) {
        stroke.addPoint(sample);
        stroke.updateMask();
    }
    const std::unique_ptr<Stroke> copy = stroke.clone();
    const QImage drawn = stroke.image().copy();
    const uchar *pixels = stroke.image().constBits();

    const QImage taken = stroke.takeImage();
    QCOMPARE(taken.constBits(), pixels);
    QCOMPARE(taken, drawn);
    QVERIFY(stroke.image().isNull());
    QVERIFY(stroke.takeImage().isNull());
    // The copy made before keeps its own view of the mask.
    QCOMPARE(static_cast<const SingleStroke &>(*copy).image(), drawn);

    // The vector data stays: the stroke still renders, and goes on fitting,
    // but has no mask to gather new segments in.
    QImage target = alpha8(QSize(320, 240));
    QCOMPARE(stroke.render(target, target.rect(), QTransform(), QPoint(), 1.0), target.rect());
    QVERIFY(target != alpha8(QSize(320, 240)));
    const qsizetype segments = stroke.segments().size();
    stroke.addPoint({200.0, 150.0, 1.0, 0.0});
    QVERIFY(stroke.segments().size() > segments);
    QCOMPARE(stroke.updateMask(), QRect());
    QVERIFY(stroke.image().isNull());
}

void TestSingleStroke::eraserRendersWithItsFamily_data()
{
    QTest::addColumn<int>("subType");
    QTest::newRow("kneaded eraser, family 3") << 0;
    QTest::newRow("rubber eraser, family 4") << 1;
    QTest::newRow("vinyl eraser, family 5") << 2;
}

void TestSingleStroke::eraserRendersWithItsFamily()
{
    REQUIRE_GL();
    QFETCH(int, subType);
    auto tool = drawingTool(true, subType);
    tool->setSizeRangeLimits(30.0, 40.0); // wide, so that the soft rims show
    SingleStroke stroke(QSize(640, 480), tool.get());
    feed(stroke, wave());
    QImage rendered = alpha8(QSize(640, 480));
    stroke.render(rendered, rendered.rect(), QTransform(), QPoint(), 1.0);

    QList<float> positions, attributes, kinds;
    for (const auto &segment : stroke.segments()) {
        segment->tessellateStartCap(positions, attributes, kinds);
        segment->tessellate(positions, attributes, kinds);
        segment->tessellateEndCap(positions, attributes, kinds);
    }
    // Only the eraser's own family gives the same picture.
    for (int family = 0; family <= 2; ++family) {
        QImage direct = alpha8(QSize(640, 480));
        OffscreenRenderer::instance()->renderEraser(direct, family, QPoint(), 1.0f, direct.rect(), QTransform(),
                                                    positions, attributes, kinds);
        QCOMPARE(direct == rendered, family == subType);
    }
}

void TestSingleStroke::eraseAndClip_data()
{
    QTest::addColumn<QRectF>("area");
    QTest::addColumn<bool>("erased");
    QTest::addColumn<bool>("clipped");
    // The stroke runs from (100, 100) to (300, 100), radius 5; its bounding
    // rectangle runs from (94, 94) to (306, 106).
    QTest::newRow("covers all") << QRectF(80, 80, 240, 40) << true << false;
    QTest::newRow("covers most") << QRectF(80, 80, 200, 40) << false << false;
    QTest::newRow("touches a corner of the bounds") << QRectF(300, 100, 50, 50) << false << false;
    QTest::newRow("misses it") << QRectF(0, 150, 400, 50) << false << true;
}

void TestSingleStroke::eraseAndClip()
{
    QFETCH(QRectF, area);
    QFETCH(bool, erased);
    QFETCH(bool, clipped);
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(400, 200), tool.get());
    feed(stroke, straight(100, 300));
    stroke.finish();
    const QByteArray record = recordOf(stroke);
    QPainterPath path;
    path.addRect(area);

    std::unique_ptr<Stroke> erasing = stroke.clone();
    QCOMPARE(erasing->eraseInside(path), erased);
    QCOMPARE(erasing->isEmpty(), erased);
    QCOMPARE(erasing->boundingRect(), stroke.boundingRect());

    // Kept whole or dropped whole, never cut.
    stroke.clipTo(path);
    QCOMPARE(stroke.isEmpty(), clipped);
    QCOMPARE(stroke.boundingRect().isNull(), clipped);
    if (!clipped)
        QCOMPARE(recordOf(stroke), record);
}

void TestSingleStroke::pendingLine()
{
    const auto tool = drawingTool();
    SingleStroke stroke(QSize(400, 200), tool.get());
    for (int x = 100; x <= 200; x += 20)
        stroke.addPoint({double(x), 100.0, 0.5, 0});
    const QPointF fitted = segmentEnd(*stroke.segments().constLast());

    QImage canvas(400, 200, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    const QRect clip(0, 0, 180, 200);
    const QRect painted = stroke.paintPendingLine(painter, Qt::red, clip, 1.5);
    // A stroke read from a record has no tool, and so no lag line.
    QCOMPARE(readFrom(recordOf(stroke))->paintPendingLine(painter, Qt::red, clip, 1.5), QRect());
    painter.end();

    // From the fitted end to the pen, grown by twice the size, at the opacity
    // of the pen's pressure.
    const QRect line = QRectF(fitted, QPointF(200, 100)).normalized().toAlignedRect().adjusted(-3, -3, 3, 3);
    QCOMPARE(painted, line & clip);
    int darkest = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            QVERIFY(qAlpha(canvas.pixel(x, y)) == 0 || line.contains(x, y));
            darkest = std::max(darkest, qAlpha(canvas.pixel(x, y)));
        }
    QVERIFY(std::abs(darkest - 128) <= 2);
    if (m_gl) {
        stroke.update();
        QVERIFY(stroke.updateMask().contains(line));
    }
}

QTEST_MAIN(TestSingleStroke)
#include "tst_singlestroke.moc"
