#include "strokes/arcsegment.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"
#include "strokes/segment.h"
#include "support/testsupport.h"

#include <QDataStream>
#include <QLineF>
#include <QPainterPath>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Model;
using namespace TestSupport;

namespace {

// Field values in declaration order; the arc's clockwise flag is 0 or 1.
using Fields = QList<double>;

std::shared_ptr<Segment> makeSegment(int type, const Fields &f)
{
    switch (type) {
    case Segment::PointType:
        return std::make_shared<PointSegment>(QPointF(f[0], f[1]), f[2], f[3]);
    case Segment::LineType:
        return std::make_shared<LineSegment>(QPointF(f[0], f[1]), QPointF(f[2], f[3]), f[4], f[5],
                                             f[6], f[7]);
    case Segment::ArcType:
        return std::make_shared<ArcSegment>(QPointF(f[0], f[1]), f[2], QPointF(f[3], f[4]),
                                            QPointF(f[5], f[6]), f[7] != 0.0, f[8], f[9], f[10],
                                            f[11]);
    }
    return nullptr;
}

Fields fieldsOf(const Segment &segment)
{
    if (auto p = dynamic_cast<const PointSegment *>(&segment))
        return {p->position().x(), p->position().y(), p->opacity(), p->radius()};
    if (auto l = dynamic_cast<const LineSegment *>(&segment))
        return {l->start().x(), l->start().y(), l->end().x(), l->end().y(),
                l->startOpacity(), l->endOpacity(), l->startRadius(), l->endRadius()};
    if (auto a = dynamic_cast<const ArcSegment *>(&segment))
        return {a->centre().x(), a->centre().y(), a->arcRadius(), a->start().x(), a->start().y(),
                a->end().x(), a->end().y(), a->clockwise() ? 1.0 : 0.0, a->startOpacity(),
                a->endOpacity(), a->startRadius(), a->endRadius()};
    return {};
}

// An arc on the circle around centre from angle a0 to angle a1 (degrees, as
// QLineF counts them).
std::shared_ptr<ArcSegment> arcBetween(QPointF centre, double radius, double a0, double a1,
                                       bool clockwise, double startRadius = 2.0,
                                       double endRadius = 4.0)
{
    const QPointF start = centre + QLineF::fromPolar(radius, a0).p2();
    const QPointF end = centre + QLineF::fromPolar(radius, a1).p2();
    return std::make_shared<ArcSegment>(centre, radius, start, end, clockwise, 0.2, 0.8,
                                        startRadius, endRadius);
}

QByteArray recordOf(const Segment &segment)
{
    return record([&](QDataStream &out) { Segment::writeRecord(out, segment); });
}

struct Vertices
{
    QList<float> positions;
    QList<float> attributes;
    QList<float> kinds;

    qsizetype count() const { return kinds.size() / 3; }
    QPointF point(qsizetype i) const { return {positions[4 * i], positions[4 * i + 1]}; }
    QPointF direction(qsizetype i) const { return {positions[4 * i + 2], positions[4 * i + 3]}; }
    float opacity(qsizetype i) const { return attributes[2 * i]; }
    float radius(qsizetype i) const { return attributes[2 * i + 1]; }
    float side(qsizetype i) const { return kinds[3 * i]; }
    QPointF antiAliasing(qsizetype i) const { return {kinds[3 * i + 1], kinds[3 * i + 2]}; }

    // Where the vertex program puts the vertex: edge and rim vertices move by
    // the radius across the direction, left for +1 and rim codes, right for -1.
    QPointF placed(qsizetype i) const
    {
        const QPointF d = direction(i);
        const double length = std::hypot(d.x(), d.y());
        if (side(i) == 0.0f || length == 0.0)
            return point(i);
        const QPointF left(d.y() / length, -d.x() / length);
        return point(i) + (side(i) <= -0.75f ? -left : left) * radius(i);
    }

    // Area covered by the placed triangles, counted once per triangle.
    double area() const
    {
        double sum = 0.0;
        for (qsizetype t = 0; t + 2 < count(); t += 3) {
            const QPointF a = placed(t), b = placed(t + 1), c = placed(t + 2);
            sum += std::abs((b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y()))
                / 2.0;
        }
        return sum;
    }
};

enum class Part { StartCap, Body, EndCap };

Vertices tessellated(const Segment &segment, std::initializer_list<Part> parts)
{
    Vertices v;
    for (Part part : parts) {
        switch (part) {
        case Part::StartCap:
            segment.tessellateStartCap(v.positions, v.attributes, v.kinds);
            break;
        case Part::Body:
            segment.tessellate(v.positions, v.attributes, v.kinds);
            break;
        case Part::EndCap:
            segment.tessellateEndCap(v.positions, v.attributes, v.kinds);
            break;
        }
    }
    return v;
}

QString text(QPointF p)
{
    return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
}

QString text(const QRectF &r)
{
    return text(r.topLeft()) + QStringLiteral(" to ") + text(r.bottomRight());
}

bool near(QPointF a, QPointF b, double tolerance = 1e-3)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

bool near(const QRectF &a, const QRectF &b, double tolerance)
{
    return near(a.topLeft(), b.topLeft(), tolerance)
        && near(a.bottomRight(), b.bottomRight(), tolerance);
}

void addRecordRows()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::newRow("point") << int(Segment::PointType) << Fields{10.1, -20.7, 0.33, 4.15};
    QTest::newRow("line") << int(Segment::LineType)
                          << Fields{0.1, 0.2, 300.3, 400.4, 0.25, 0.9, 1.1, 7.7};
    QTest::newRow("arc clockwise")
        << int(Segment::ArcType)
        << Fields{100.5, 80.25, 33.3, 133.8, 80.25, 100.5, 46.95, 1, 0.1, 0.6, 2.2, 3.3};
    QTest::newRow("arc counter-clockwise")
        << int(Segment::ArcType)
        << Fields{-5.5, 12.0, 7.1, 1.6, 12.0, -5.5, 4.9, 0, 1.0, 0.0, 0.7, 0.3};
}

} // namespace

class TestSegments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Records
    void recordRoundTrip_data();
    void recordRoundTrip();
    void recordLayout_data();
    void recordLayout();
    void unknownTypeCodes_data();
    void unknownTypeCodes();
    void truncatedRecords_data();
    void truncatedRecords();
    void impossibleValues_data();
    void impossibleValues();
    void extremeValuesStayBounded_data();
    void extremeValuesStayBounded();

    // Tessellation
    void vertexCounts_data();
    void vertexCounts();
    void tessellationAppends();
    void pointFanGoesOnceAround();
    void discsCoverTheirArea_data();
    void discsCoverTheirArea();
    void lineBody();
    void arcBody_data();
    void arcBody();
    void capsStartAlongTheStroke_data();
    void capsStartAlongTheStroke();
    void degenerateSegmentsTessellate();

    // Bounding rectangles
    void boundingRectOfDiscs_data();
    void boundingRectOfDiscs();
    void arcBoundingRect_data();
    void arcBoundingRect();

    // Paths
    void path_data();
    void path();
    void closedChainHitTest_data();
    void closedChainHitTest();

    // Circle from a tangent
    void centerFromTangent_data();
    void centerFromTangent();
};

void TestSegments::recordRoundTrip_data()
{
    addRecordRows();
}

void TestSegments::recordRoundTrip()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);

    const auto original = makeSegment(type, fields);
    const QByteArray bytes = recordOf(*original);

    QDataStream in(bytes);
    const auto copy = Segment::readRecord(prepareRecordStream(in));
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    QVERIFY(copy);
    QCOMPARE(copy->type(), type);

    // Every number travels as a 32-bit float.
    Fields expected;
    for (double value : fields)
        expected << double(float(value));
    QCOMPARE(fieldsOf(*copy), expected);

    // Written again, the copy gives the same bytes.
    QCOMPARE(recordOf(*copy), bytes);
}

void TestSegments::recordLayout_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("clockwiseByte");

    // Type code, then the first coordinate as a big-endian float.
    QTest::newRow("point") << int(Segment::PointType) << Fields{1.5, 0, 1, 2}
                           << QByteArray::fromHex("00000000" "3fc00000") << 4 + 4 * 4 << -1;
    QTest::newRow("line") << int(Segment::LineType) << Fields{-2, 0, 1, 1, 1, 1, 1, 1}
                          << QByteArray::fromHex("00000001" "c0000000") << 4 + 8 * 4 << -1;
    QTest::newRow("arc clockwise")
        << int(Segment::ArcType) << Fields{1, 2, 3, 4, 5, 6, 7, 1, 0.5, 0.5, 1, 1}
        << QByteArray::fromHex("00000002" "3f800000") << 4 + 11 * 4 + 1 << 1;
    QTest::newRow("arc counter-clockwise")
        << int(Segment::ArcType) << Fields{1, 2, 3, 4, 5, 6, 7, 0, 0.5, 0.5, 1, 1}
        << QByteArray::fromHex("00000002" "3f800000") << 4 + 11 * 4 + 1 << 0;
}

void TestSegments::recordLayout()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);
    QFETCH(QByteArray, head);
    QFETCH(int, size);
    QFETCH(int, clockwiseByte);

    const QByteArray bytes = recordOf(*makeSegment(type, fields));
    QCOMPARE(bytes.size(), size);
    QCOMPARE(bytes.left(head.size()), head);
    if (clockwiseByte >= 0) {
        // Code, centre, arc radius, start and end come before the flag.
        QCOMPARE(int(bytes.at(4 + 7 * 4)), clockwiseByte);
    }
}

void TestSegments::unknownTypeCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("negative") << -1;
    QTest::newRow("one past the arc") << 3;
    QTest::newRow("large") << 1000000;
    QTest::newRow("smallest") << std::numeric_limits<int>::min();
}

void TestSegments::unknownTypeCodes()
{
    QFETCH(int, code);
    QVERIFY(!Segment::create(code));

    // The reader takes the code, finds no class and leaves what follows
    // untouched for the next entry.
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        prepareRecordStream(out) << qint32(code) << qint32(12345);
    }
    QDataStream in(bytes);
    QVERIFY(!Segment::readRecord(prepareRecordStream(in)));
    QCOMPARE(in.status(), QDataStream::Ok);
    qint32 next = 0;
    in >> next;
    QCOMPARE(next, 12345);
}

void TestSegments::truncatedRecords_data()
{
    addRecordRows();
}

void TestSegments::truncatedRecords()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);

    const QByteArray full = recordOf(*makeSegment(type, fields));
    for (qsizetype length = 0; length < full.size(); ++length) {
        QDataStream in(full.left(length));
        const auto segment = Segment::readRecord(prepareRecordStream(in));
        QCOMPARE(in.status(), QDataStream::ReadPastEnd);
        if (length < 4) {
            QVERIFY(!segment);
            continue;
        }
        QVERIFY(segment);
        QCOMPARE(segment->type(), type);
        // Whatever was read, the segment can still be used.
        Vertices v = tessellated(*segment, {Part::StartCap, Part::Body, Part::EndCap});
        QCOMPARE(v.positions.size(), 4 * v.count());
        QPainterPath path;
        segment->moveToStart(path);
        segment->addToPath(path);
        segment->boundingRect();
    }
}

void TestSegments::impossibleValues_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("value");
    const QByteArray nan = QByteArray::fromHex("7fc00000");
    const QByteArray inf = QByteArray::fromHex("7f800000");
    const QByteArray minusInf = QByteArray::fromHex("ff800000");
    QTest::newRow("point position NaN") << int(Segment::PointType) << 4 << nan;
    QTest::newRow("point radius infinite") << int(Segment::PointType) << 16 << inf;
    QTest::newRow("line end NaN") << int(Segment::LineType) << 12 << nan;
    QTest::newRow("line end radius -inf") << int(Segment::LineType) << 32 << minusInf;
    QTest::newRow("arc centre NaN") << int(Segment::ArcType) << 4 << nan;
    QTest::newRow("arc radius infinite") << int(Segment::ArcType) << 12 << inf;
    QTest::newRow("arc last radius NaN") << int(Segment::ArcType) << 45 << nan;
    // Finite, but beyond what any stroke holds: 3e38, -1, 1.5.
    const QByteArray far = QByteArray::fromHex("7f61b1e6");
    const QByteArray minusOne = QByteArray::fromHex("bf800000");
    const QByteArray oneAndAHalf = QByteArray::fromHex("3fc00000");
    QTest::newRow("point position far out") << int(Segment::PointType) << 8 << far;
    QTest::newRow("point radius negative") << int(Segment::PointType) << 16 << minusOne;
    QTest::newRow("line start opacity above one") << int(Segment::LineType) << 20 << oneAndAHalf;
    QTest::newRow("line end opacity negative") << int(Segment::LineType) << 24 << minusOne;
    QTest::newRow("arc centre far out") << int(Segment::ArcType) << 4 << far;
    QTest::newRow("arc radius negative") << int(Segment::ArcType) << 12 << minusOne;
    QTest::newRow("arc end far out") << int(Segment::ArcType) << 28 << far;
}

void TestSegments::impossibleValues()
{
    QFETCH(int, type);
    QFETCH(int, offset);
    QFETCH(QByteArray, value);

    const Fields fields = type == Segment::PointType ? Fields{5, 5, 1, 2}
        : type == Segment::LineType                  ? Fields{0, 0, 10, 0, 1, 1, 2, 2}
                                                     : Fields{0, 0, 10, 10, 0, 0, 10, 0, 1, 1, 2, 2};
    QByteArray bytes = recordOf(*makeSegment(type, fields));
    bytes.replace(offset, value.size(), value);

    QDataStream in(bytes);
    const auto segment = Segment::readRecord(prepareRecordStream(in));
    QCOMPARE(in.status(), QDataStream::ReadCorruptData);
    QVERIFY(segment);
    // Nothing of the damaged record is taken over.
    for (double field : fieldsOf(*segment))
        QCOMPARE(field, 0.0);
    QVERIFY(segment->boundingRect().isEmpty());
}

void TestSegments::extremeValuesStayBounded_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    const double big = 3.0e38;
    QTest::newRow("point far out") << int(Segment::PointType) << Fields{big, -big, 1, big};
    QTest::newRow("line across everything")
        << int(Segment::LineType) << Fields{-big, -big, big, big, 1, 1, big, 1};
    QTest::newRow("arc of a huge circle")
        << int(Segment::ArcType) << Fields{0, 0, big, big, 0, 0, big, 0, 1, 1, 1, big};
    QTest::newRow("negative radius")
        << int(Segment::PointType) << Fields{10, 10, 1, -3};
}

void TestSegments::extremeValuesStayBounded()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);

    // Whatever values a segment holds, its integer rectangle, which repaints
    // and renders rely on, does not overflow. (A record holding such values
    // is damaged: impossibleValues.)
    const auto segment = makeSegment(type, fields);
    const QRect rect = segment->boundingRect();
    const int limit = 1 << 25;
    QVERIFY(rect.left() >= -limit && rect.right() <= limit);
    QVERIFY(rect.top() >= -limit && rect.bottom() <= limit);
    QVERIFY(rect.width() >= 0 && rect.height() >= 0);

    Vertices v = tessellated(*segment, {Part::StartCap, Part::Body, Part::EndCap});
    QCOMPARE(v.attributes.size(), 2 * v.count());
}

void TestSegments::vertexCounts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<int>("startCap");
    QTest::addColumn<int>("body");
    QTest::addColumn<int>("endCap");
    QTest::newRow("point") << int(Segment::PointType) << Fields{5, 5, 1, 3} << 0 << 300 << 0;
    QTest::newRow("line") << int(Segment::LineType) << Fields{0, 0, 20, 5, 1, 0.5, 2, 3} << 300
                          << 6 << 300;
    QTest::newRow("arc") << int(Segment::ArcType)
                         << Fields{0, 0, 10, 10, 0, 0, 10, 0, 1, 1, 2, 2} << 300 << 66 << 300;
}

void TestSegments::vertexCounts()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);
    QFETCH(int, startCap);
    QFETCH(int, body);
    QFETCH(int, endCap);

    const auto segment = makeSegment(type, fields);
    const Vertices a = tessellated(*segment, {Part::StartCap});
    const Vertices b = tessellated(*segment, {Part::Body});
    const Vertices c = tessellated(*segment, {Part::EndCap});
    QCOMPARE(a.count(), startCap);
    QCOMPARE(b.count(), body);
    QCOMPARE(c.count(), endCap);
    for (const Vertices *v : {&a, &b, &c}) {
        QCOMPARE(v->positions.size(), 4 * v->count());
        QCOMPARE(v->attributes.size(), 2 * v->count());
        QCOMPARE(v->kinds.size(), 3 * v->count());
        QCOMPARE(v->count() % 3, 0);
    }
}

void TestSegments::tessellationAppends()
{
    // A renderer collects many segments into one set of lists.
    const LineSegment line({0, 0}, {10, 0}, 1, 1, 2, 2);
    const PointSegment dab({3, 3}, 1, 2);
    Vertices v = tessellated(line, {Part::StartCap, Part::Body, Part::EndCap});
    dab.tessellate(v.positions, v.attributes, v.kinds);
    QCOMPARE(v.count(), 300 + 6 + 300 + 300);
    QCOMPARE(v.point(0), QPointF(0, 0));
    QCOMPARE(v.point(300), QPointF(0, 0));
    QCOMPARE(v.point(306), QPointF(10, 0));
    QCOMPARE(v.point(606), QPointF(3, 3));
}

void TestSegments::pointFanGoesOnceAround()
{
    const PointSegment dab({10, 20}, 0.75, 5);
    const Vertices v = tessellated(dab, {Part::Body});

    // First rim vertex along angle 0; the last one comes back to it.
    QCOMPARE(v.direction(1), QPointF(5, 0));
    QVERIFY(near(v.direction(v.count() - 1), QPointF(5, 0)));
    // The first triangle is degenerate: both rim vertices point the same way.
    QVERIFY(near(v.direction(2), QPointF(5, 0)));

    for (qsizetype i = 0; i < v.count(); ++i) {
        QCOMPARE(v.point(i), QPointF(10, 20));
        QCOMPARE(v.opacity(i), 0.75f);
        QCOMPARE(v.radius(i), 5.0f);
        if (i % 3 == 0) {
            QCOMPARE(v.side(i), 0.0f);
            QCOMPARE(v.direction(i), QPointF());
            QCOMPARE(v.antiAliasing(i), QPointF());
        } else {
            QCOMPARE(v.side(i), 0.6f);
            // Rim vertices of one triangle feather along their shared middle.
            const qsizetype first = i - (i % 3) + 1;
            QVERIFY(near(v.antiAliasing(i), (v.direction(first) + v.direction(first + 1)) * 0.5));
        }
    }
    // Consecutive triangles share their rim vertex, closing the disc.
    for (qsizetype t = 3; t < v.count(); t += 3)
        QVERIFY(near(v.direction(t + 1), v.direction(t - 1)));
}

void TestSegments::discsCoverTheirArea_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<double>("startCapRadius");
    QTest::addColumn<double>("bodyRadius");
    QTest::addColumn<double>("endCapRadius");
    QTest::newRow("dab") << int(Segment::PointType) << Fields{5, 5, 1, 7} << 0.0 << 7.0 << 0.0;
    QTest::newRow("line caps") << int(Segment::LineType) << Fields{0, 0, 30, -40, 1, 1, 2, 6}
                               << 2.0 << 0.0 << 6.0;
    QTest::newRow("arc caps") << int(Segment::ArcType)
                              << Fields{0, 0, 10, 10, 0, 0, 10, 1, 1, 1, 3, 1} << 3.0 << 0.0
                              << 1.0;
}

void TestSegments::discsCoverTheirArea()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);
    QFETCH(double, startCapRadius);
    QFETCH(double, bodyRadius);
    QFETCH(double, endCapRadius);

    const auto segment = makeSegment(type, fields);
    const auto check = [&](Part part, double radius) {
        if (radius == 0.0)
            return;
        const Vertices v = tessellated(*segment, {part});
        const double disc = M_PI * radius * radius;
        QVERIFY2(std::abs(v.area() - disc) < 0.01 * disc,
                 qPrintable(QString::number(v.area()) + " vs " + QString::number(disc)));
    };
    check(Part::StartCap, startCapRadius);
    check(Part::Body, bodyRadius);
    check(Part::EndCap, endCapRadius);
}

void TestSegments::lineBody()
{
    const LineSegment line({10, 10}, {40, 50}, 0.2, 0.9, 2, 4);
    const Vertices v = tessellated(line, {Part::Body});
    const QList<float> sides{1, -1, 1, -1, 1, -1};
    const QList<QPointF> points{{10, 10}, {10, 10}, {40, 50}, {10, 10}, {40, 50}, {40, 50}};
    for (qsizetype i = 0; i < v.count(); ++i) {
        QCOMPARE(v.side(i), sides[i]);
        QCOMPARE(v.point(i), points[i]);
        QCOMPARE(v.direction(i), QPointF(30, 40));
        QCOMPARE(v.antiAliasing(i), QPointF());
        const bool atStart = points[i] == QPointF(10, 10);
        QCOMPARE(v.opacity(i), atStart ? 0.2f : 0.9f);
        QCOMPARE(v.radius(i), atStart ? 2.0f : 4.0f);
    }
    // A trapezoid of length 50 whose half-width grows from 2 to 4.
    QVERIFY(std::abs(v.area() - 50.0 * (2 + 4)) < 1e-3);
}

void TestSegments::arcBody_data()
{
    QTest::addColumn<bool>("clockwise");
    QTest::addColumn<double>("a0");
    QTest::addColumn<double>("a1");
    QTest::addColumn<double>("sweep");
    QTest::newRow("counter-clockwise quarter") << false << 0.0 << 90.0 << 90.0;
    QTest::newRow("clockwise quarter") << true << 90.0 << 0.0 << 90.0;
    QTest::newRow("counter-clockwise across the seam") << false << 330.0 << 30.0 << 60.0;
    QTest::newRow("clockwise three quarters") << true << 0.0 << 90.0 << 270.0;
}

void TestSegments::arcBody()
{
    QFETCH(bool, clockwise);
    QFETCH(double, a0);
    QFETCH(double, a1);
    QFETCH(double, sweep);

    const QPointF centre(50, 50);
    const double R = 20;
    const double r = 3;
    const auto arc = arcBetween(centre, R, a0, a1, clockwise, r, r);
    const Vertices v = tessellated(*arc, {Part::Body});
    QCOMPARE(v.count(), 66);

    // Every centre-line point lies on the circle, and its edges lie one
    // stroke radius inside and outside it.
    for (qsizetype i = 0; i < v.count(); ++i) {
        QCOMPARE(v.side(i), i % 2 == 0 ? 1.0f : -1.0f);
        QVERIFY(std::abs(QLineF(centre, v.point(i)).length() - R) < 1e-3);
        const double edge = QLineF(centre, v.placed(i)).length();
        QVERIFY(std::abs(std::abs(edge - R) - r) < 1e-3);
    }
    // The degenerate first quad sits at the start, the last quad ends at the end.
    QVERIFY(near(v.point(0), arc->start()));
    QVERIFY(near(v.point(2), arc->start()));
    QVERIFY(near(v.point(65), arc->end()));

    // The band covers the sector between the two edge circles (chords make
    // it a little smaller).
    const double band = qDegreesToRadians(sweep) * 2 * R * r;
    QVERIFY2(v.area() < band && v.area() > 0.95 * band,
             qPrintable(QString::number(v.area()) + " vs " + QString::number(band)));

    // Opacity runs evenly from start to end.
    const auto varied = arcBetween(centre, R, a0, a1, clockwise, 1, 5);
    const Vertices w = tessellated(*varied, {Part::Body});
    QCOMPARE(w.opacity(0), 0.2f);
    QCOMPARE(w.radius(0), 1.0f);
    QCOMPARE(w.opacity(65), 0.8f);
    QCOMPARE(w.radius(65), 5.0f);
    for (qsizetype quad = 1; quad < 11; ++quad)
        QVERIFY(w.radius(quad * 6 + 2) > w.radius(quad * 6));
}

void TestSegments::capsStartAlongTheStroke_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QPointF>("startDirection");
    QTest::addColumn<QPointF>("endDirection");
    QTest::newRow("line") << int(Segment::LineType) << Fields{1, 2, 4, 6, 1, 1, 1, 1}
                          << QPointF(3, 4) << QPointF(3, 4);
    // Around (0, 0) from (10, 0) to (0, -10): QLineF angles 0 to 90.
    QTest::newRow("arc counter-clockwise")
        << int(Segment::ArcType) << Fields{0, 0, 10, 10, 0, 0, -10, 0, 1, 1, 1, 1}
        << QPointF(0, -10) << QPointF(-10, 0);
    QTest::newRow("arc clockwise")
        << int(Segment::ArcType) << Fields{0, 0, 10, 10, 0, 0, 10, 1, 1, 1, 1, 1}
        << QPointF(0, 10) << QPointF(-10, 0);
}

void TestSegments::capsStartAlongTheStroke()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);
    QFETCH(QPointF, startDirection);
    QFETCH(QPointF, endDirection);

    const auto segment = makeSegment(type, fields);
    const Vertices start = tessellated(*segment, {Part::StartCap});
    const Vertices end = tessellated(*segment, {Part::EndCap});
    const QPointF startPoint = type == Segment::LineType ? QPointF(fields[0], fields[1])
                                                         : QPointF(fields[3], fields[4]);
    const QPointF endPoint = type == Segment::LineType ? QPointF(fields[2], fields[3])
                                                       : QPointF(fields[5], fields[6]);
    QCOMPARE(start.point(0), startPoint);
    QCOMPARE(end.point(0), endPoint);
    QVERIFY(near(start.direction(1), startDirection));
    QVERIFY(near(end.direction(1), endDirection));
}

void TestSegments::degenerateSegmentsTessellate()
{
    // A zero-length line and a dab of radius 0 still give whole triangles.
    const LineSegment still({5, 5}, {5, 5}, 1, 1, 2, 2);
    const Vertices v = tessellated(still, {Part::StartCap, Part::Body, Part::EndCap});
    QCOMPARE(v.count(), 606);
    for (float f : v.positions)
        QVERIFY(std::isfinite(f));

    const PointSegment nothing({1, 1}, 1, 0);
    const Vertices w = tessellated(nothing, {Part::Body});
    QCOMPARE(w.count(), 300);
    QCOMPARE(w.area(), 0.0);

    const ArcSegment empty;
    const Vertices x = tessellated(empty, {Part::StartCap, Part::Body, Part::EndCap});
    QCOMPARE(x.count(), 666);
    for (float f : x.positions)
        QVERIFY(std::isfinite(f));
}

void TestSegments::boundingRectOfDiscs_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("dab on whole pixels") << int(Segment::PointType) << Fields{10, 10, 1, 3}
                                         << QRect(QPoint(7, 7), QPoint(12, 12));
    QTest::newRow("dab between pixels") << int(Segment::PointType) << Fields{10.5, 10.25, 1, 2}
                                        << QRect(QPoint(8, 8), QPoint(12, 12));
    QTest::newRow("line with growing radius")
        << int(Segment::LineType) << Fields{0, 0, 20, 0, 1, 1, 1, 5}
        << QRect(QPoint(-1, -5), QPoint(24, 4));
    QTest::newRow("line drawn backwards")
        << int(Segment::LineType) << Fields{20, 10, 0, 0, 1, 1, 2, 2}
        << QRect(QPoint(-2, -2), QPoint(21, 11));
}

void TestSegments::boundingRectOfDiscs()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);
    QFETCH(QRect, expected);
    QCOMPARE(makeSegment(type, fields)->boundingRect(), expected);
}

void TestSegments::arcBoundingRect_data()
{
    QTest::addColumn<double>("a0");
    QTest::addColumn<double>("a1");
    QTest::addColumn<bool>("clockwise");
    // Sides that reach the circle's extreme: right, top, left, bottom.
    QTest::addColumn<QList<bool>>("pushed");

    QTest::newRow("340 to 20 counter-clockwise")
        << 340.0 << 20.0 << false << QList<bool>{true, false, false, false};
    QTest::newRow("20 to 340 clockwise")
        << 20.0 << 340.0 << true << QList<bool>{true, false, false, false};
    QTest::newRow("10 to 350 counter-clockwise, the long way")
        << 10.0 << 350.0 << false << QList<bool>{false, true, true, true};
    QTest::newRow("350 to 10 clockwise, the long way")
        << 350.0 << 10.0 << true << QList<bool>{false, true, true, true};
    QTest::newRow("within the first quadrant")
        << 10.0 << 80.0 << false << QList<bool>{false, false, false, false};
    QTest::newRow("over the top") << 45.0 << 135.0 << false
                                  << QList<bool>{false, true, false, false};
    QTest::newRow("over the top clockwise") << 135.0 << 45.0 << true
                                            << QList<bool>{false, true, false, false};
    QTest::newRow("around the left") << 135.0 << 225.0 << false
                                     << QList<bool>{false, false, true, false};
    QTest::newRow("under the bottom") << 225.0 << 315.0 << false
                                      << QList<bool>{false, false, false, true};
    QTest::newRow("left to right over the bottom")
        << 180.0 << 0.0 << false << QList<bool>{true, false, true, true};
    QTest::newRow("left to right over the top")
        << 180.0 << 0.0 << true << QList<bool>{true, true, true, false};
}

void TestSegments::arcBoundingRect()
{
    QFETCH(double, a0);
    QFETCH(double, a1);
    QFETCH(bool, clockwise);
    QFETCH(QList<bool>, pushed);

    // Radius 50 around (100, 100); stroke radii 2 and 4, so a side that the
    // arc passes reaches 100 +- 54.
    const auto arc = arcBetween({100, 100}, 50, a0, a1, clockwise);
    const QRect rect = arc->boundingRect();
    const QRect discs = QRectF(arc->start() - QPointF(2, 2), QSizeF(4, 4))
                            .united(QRectF(arc->end() - QPointF(4, 4), QSizeF(8, 8)))
                            .toAlignedRect();
    const auto sidesOf = [](const QRect &r) {
        return QList<int>{r.x() + r.width(), r.y(), r.x(), r.y() + r.height()};
    };
    const QList<int> sides = sidesOf(rect);
    const QList<int> discSides = sidesOf(discs);
    const QList<int> extremes{154, 46, 46, 154};
    // A side the arc passes reaches the circle; any other is the end discs'.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(sides[i], pushed[i] ? extremes[i] : discSides[i]);

    // Everything the segment can paint lies inside.
    const Vertices v = tessellated(*arc, {Part::StartCap, Part::Body, Part::EndCap});
    const QRectF bounds = QRectF(rect).adjusted(-1e-3, -1e-3, 1e-3, 1e-3);
    for (qsizetype i = 0; i < v.count(); ++i)
        QVERIFY2(bounds.contains(v.placed(i)), qPrintable(QString::number(i)));
}

void TestSegments::path_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QPointF>("last");
    QTest::addColumn<QRectF>("bounds");
    QTest::newRow("dab is only a start") << int(Segment::PointType) << Fields{3, 4, 1, 9}
                                         << QPointF(3, 4) << QRectF(3, 4, 0, 0);
    QTest::newRow("line") << int(Segment::LineType) << Fields{10, 20, 40, -5, 1, 1, 3, 3}
                          << QPointF(40, -5) << QRectF(10, -5, 30, 25);
    // Around (100, 100) with radius 50, from the right to the left side.
    QTest::newRow("half circle over the top")
        << int(Segment::ArcType) << Fields{100, 100, 50, 150, 100, 50, 100, 0, 1, 1, 1, 1}
        << QPointF(50, 100) << QRectF(50, 50, 100, 50);
    QTest::newRow("half circle under the bottom")
        << int(Segment::ArcType) << Fields{100, 100, 50, 150, 100, 50, 100, 1, 1, 1, 1, 1}
        << QPointF(50, 100) << QRectF(50, 100, 100, 50);
    QTest::newRow("quarter clockwise from the top")
        << int(Segment::ArcType) << Fields{0, 0, 10, 0, -10, 10, 0, 1, 1, 1, 1, 1}
        << QPointF(10, 0) << QRectF(0, -10, 10, 10);
}

void TestSegments::path()
{
    QFETCH(int, type);
    QFETCH(Fields, fields);
    QFETCH(QPointF, last);
    QFETCH(QRectF, bounds);

    const auto segment = makeSegment(type, fields);
    QPainterPath path;
    segment->moveToStart(path);
    segment->addToPath(path);
    QVERIFY(near(path.currentPosition(), last, 1e-6));
    QVERIFY2(near(path.boundingRect(), bounds, 0.05),
             qPrintable(text(path.boundingRect())));
}

void TestSegments::closedChainHitTest_data()
{
    QTest::addColumn<bool>("clockwise");
    QTest::addColumn<QPointF>("inside");
    QTest::addColumn<QPointF>("outside");
    QTest::newRow("counter-clockwise bulges up") << false << QPointF(100, 60) << QPointF(100, 140);
    QTest::newRow("clockwise bulges down") << true << QPointF(100, 140) << QPointF(100, 60);
}

void TestSegments::closedChainHitTest()
{
    QFETCH(bool, clockwise);
    QFETCH(QPointF, inside);
    QFETCH(QPointF, outside);

    // A half circle closed by a line back to its start, built the way a
    // stroke builds the path that erasing and clipping test against.
    const QList<std::shared_ptr<Segment>> chain{
        std::make_shared<ArcSegment>(QPointF(100, 100), 50, QPointF(150, 100), QPointF(50, 100),
                                     clockwise, 1, 1, 2, 2),
        std::make_shared<LineSegment>(QPointF(50, 100), QPointF(150, 100), 1, 1, 2, 2)};
    QPainterPath path;
    chain.first()->moveToStart(path);
    for (const auto &segment : chain)
        segment->addToPath(path);
    QVERIFY(path.contains(inside));
    QVERIFY(!path.contains(outside));
    QVERIFY(!path.contains(QPointF(100, 40)) && !path.contains(QPointF(100, 160)));
}

void TestSegments::centerFromTangent_data()
{
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<QPointF>("end");
    QTest::addColumn<QLineF>("tangent");
    QTest::addColumn<QPointF>("centre");
    QTest::addColumn<double>("radius");

    QTest::newRow("straight continuation") << QPointF(0, 0) << QPointF(10, 0)
                                           << QLineF(0, 0, 5, 0) << QPointF() << 0.0;
    QTest::newRow("straight back along the tangent")
        << QPointF(3, 3) << QPointF(-7, -7) << QLineF(3, 3, 4, 4) << QPointF() << 0.0;
    QTest::newRow("end equals start") << QPointF(5, 5) << QPointF(5, 5) << QLineF(5, 5, 6, 5)
                                      << QPointF() << 0.0;
    QTest::newRow("null tangent") << QPointF(5, 5) << QPointF(9, 1) << QLineF(5, 5, 5, 5)
                                  << QPointF() << 0.0;
    QTest::newRow("quarter circle") << QPointF(110, 50) << QPointF(100, 60)
                                    << QLineF(110, 50, 110, 60) << QPointF(100, 50) << 10.0;
    QTest::newRow("tangent pointing the other way")
        << QPointF(110, 50) << QPointF(100, 60) << QLineF(110, 50, 110, 40) << QPointF(100, 50)
        << 10.0;
    QTest::newRow("half circle") << QPointF(0, 0) << QPointF(0, 20) << QLineF(0, 0, -5, 0)
                                 << QPointF(0, 10) << 10.0;
    QTest::newRow("gentle bend") << QPointF(0, 0) << QPointF(80, 40) << QLineF(0, 0, 1, 0)
                                 << QPointF(0, 100) << 100.0;
}

void TestSegments::centerFromTangent()
{
    QFETCH(QPointF, start);
    QFETCH(QPointF, end);
    QFETCH(QLineF, tangent);
    QFETCH(QPointF, centre);
    QFETCH(double, radius);

    const auto [x, y, r] = ArcSegment::centerFromTangent(start, end, tangent);
    QVERIFY2(near(QPointF(x, y), centre, 1e-9),
             qPrintable(text(QPointF(x, y))));
    QVERIFY(std::abs(r - radius) < 1e-9);
    if (r > 0.0) {
        QVERIFY(std::abs(QLineF(QPointF(x, y), end).length() - r) < 1e-9);
    }
}

QTEST_GUILESS_MAIN(TestSegments)
#include "tst_segments.moc"
