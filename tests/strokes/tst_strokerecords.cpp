#include "strokes/arcsegment.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"
#include "strokes/segment.h"
#include "strokes/stroke.h"
#include "support/testsupport.h"

#include <QDataStream>
#include <QImage>
#include <QPainterPath>
#include <QTest>

#include <limits>

using namespace Model;
using namespace TestSupport;

namespace {

// The smallest stroke the interface allows: a fixed type code and a body of
// a few bytes, enough to see how members are framed in a record.
class MarkerStroke : public Stroke
{
public:
    MarkerStroke(int type, QByteArray body)
        : m_type(type)
        , m_body(std::move(body))
    {
    }

    int type() const override { return m_type; }
    std::unique_ptr<Stroke> clone() const override
    {
        return std::make_unique<MarkerStroke>(*this);
    }
    QRect render(QImage &, QRect, const QTransform &, QPoint, double) const override
    {
        return {};
    }
    QRect boundingRect() const override { return {}; }
    bool isEmpty() const override { return true; }
    bool eraseInside(const QPainterPath &) override { return false; }
    void clipTo(const QPainterPath &) override {}
    void write(QDataStream &stream) const override
    {
        stream.writeRawData(m_body.constData(), int(m_body.size()));
    }

private:
    int m_type;
    QByteArray m_body;
};

// A segment list as a single stroke stores it: a qint32 count, then one
// type-coded record per entry.
QList<std::shared_ptr<Segment>> readSegmentList(QDataStream &stream)
{
    QList<std::shared_ptr<Segment>> segments;
    qint32 count = 0;
    stream >> count;
    for (qint32 i = 0; i < count && stream.status() == QDataStream::Ok; ++i) {
        if (auto segment = Segment::readRecord(stream))
            segments << segment;
    }
    return segments;
}

QList<std::shared_ptr<Segment>> sampleChain()
{
    return {std::make_shared<PointSegment>(QPointF(1, 2), 0.5, 3),
            std::make_shared<LineSegment>(QPointF(1, 2), QPointF(20, 2), 0.5, 0.75, 3, 4),
            std::make_shared<ArcSegment>(QPointF(20, 12), 10, QPointF(20, 2), QPointF(30, 12),
                                         true, 0.75, 1.0, 4, 2),
            std::make_shared<LineSegment>(QPointF(30, 12), QPointF(30, 40), 1.0, 0.25, 2, 1)};
}

// A segment list as a single stroke writes it.
QByteArray segmentListRecord(const QList<std::shared_ptr<Segment>> &chain)
{
    return record([&](QDataStream &out) {
        out << qint32(chain.size());
        for (const auto &segment : chain)
            Segment::writeRecord(out, *segment);
    });
}

QList<int> typesOf(const QList<std::shared_ptr<Segment>> &segments)
{
    QList<int> types;
    for (const auto &segment : segments)
        types << segment->type();
    return types;
}

} // namespace

class TestStrokeRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void memberRecordStartsWithTypeCode_data();
    void memberRecordStartsWithTypeCode();
    void unknownMemberCodes_data();
    void unknownMemberCodes();
    void truncatedMemberCode_data();
    void truncatedMemberCode();

    void segmentListKeepsOrder();
    void segmentListSkipsUnknownCodes();
    void damagedSegmentList();
};

void TestStrokeRecords::memberRecordStartsWithTypeCode_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("single stroke") << int(Stroke::SingleStrokeType)
                                   << QByteArray::fromHex("00000000" "abcd");
    QTest::newRow("compound stroke") << int(Stroke::CompoundStrokeType)
                                     << QByteArray::fromHex("00000001" "abcd");
    QTest::newRow("bitmap stroke") << int(Stroke::BitmapStrokeType)
                                   << QByteArray::fromHex("00000002" "abcd");
}

void TestStrokeRecords::memberRecordStartsWithTypeCode()
{
    QFETCH(int, type);
    QFETCH(QByteArray, expected);

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    Stroke::writeRecord(prepareRecordStream(out), MarkerStroke(type, QByteArray::fromHex("abcd")));
    QCOMPARE(bytes, expected);
}

void TestStrokeRecords::unknownMemberCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("negative") << -1;
    QTest::newRow("one past the bitmap stroke") << 3;
    QTest::newRow("a segment-sized number") << 77;
    QTest::newRow("largest") << std::numeric_limits<int>::max();
}

void TestStrokeRecords::unknownMemberCodes()
{
    QFETCH(int, code);

    // The reader consumes only the code, so a compound's loop goes on with
    // the bytes that follow.
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        prepareRecordStream(out) << qint32(code) << qint32(-424242);
    }
    QDataStream in(bytes);
    QVERIFY(!Stroke::readRecord(prepareRecordStream(in)));
    QCOMPARE(in.status(), QDataStream::Ok);
    qint32 next = 0;
    in >> next;
    QCOMPARE(next, -424242);
    QVERIFY(in.atEnd());
}

void TestStrokeRecords::truncatedMemberCode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("one byte") << QByteArray::fromHex("00");
    QTest::newRow("three bytes") << QByteArray::fromHex("000000");
}

void TestStrokeRecords::truncatedMemberCode()
{
    QFETCH(QByteArray, bytes);
    QDataStream in(bytes);
    QVERIFY(!Stroke::readRecord(prepareRecordStream(in)));
    QCOMPARE(in.status(), QDataStream::ReadPastEnd);
}

void TestStrokeRecords::segmentListKeepsOrder()
{
    const auto chain = sampleChain();
    const QByteArray bytes = segmentListRecord(chain);
    QDataStream in(bytes);
    const auto copy = readSegmentList(prepareRecordStream(in));
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    QCOMPARE(typesOf(copy), QList<int>({0, 1, 2, 1}));

    // The copy draws the same path as the original.
    QPainterPath original, restored;
    chain.first()->moveToStart(original);
    copy.first()->moveToStart(restored);
    for (qsizetype i = 0; i < chain.size(); ++i) {
        chain[i]->addToPath(original);
        copy[i]->addToPath(restored);
        QCOMPARE(copy[i]->boundingRect(), chain[i]->boundingRect());
    }
    QCOMPARE(restored, original);
}

void TestStrokeRecords::segmentListSkipsUnknownCodes()
{
    const auto chain = sampleChain();
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        prepareRecordStream(out) << qint32(5);
        Segment::writeRecord(out, *chain[0]);
        out << qint32(9);
        Segment::writeRecord(out, *chain[1]);
        out << qint32(-3);
        Segment::writeRecord(out, *chain[2]);
    }
    QDataStream in(bytes);
    const auto copy = readSegmentList(prepareRecordStream(in));
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    QCOMPARE(typesOf(copy), QList<int>({0, 1, 2}));
}

void TestStrokeRecords::damagedSegmentList()
{
    const auto chain = sampleChain();
    const QByteArray bytes = segmentListRecord(chain);
    // Cut anywhere, the list reads without crashing and the stream says so.
    for (qsizetype length = 0; length < bytes.size(); ++length) {
        QDataStream in(bytes.left(length));
        const auto copy = readSegmentList(prepareRecordStream(in));
        QCOMPARE(in.status(), QDataStream::ReadPastEnd);
        QVERIFY(copy.size() <= chain.size());
        for (const auto &segment : copy) {
            QList<float> positions, attributes, kinds;
            segment->tessellate(positions, attributes, kinds);
            segment->boundingRect();
        }
    }

    // A count far beyond the data stops at the end of the stream.
    QByteArray huge;
    {
        QDataStream out(&huge, QIODevice::WriteOnly);
        prepareRecordStream(out) << qint32(std::numeric_limits<qint32>::max());
        Segment::writeRecord(out, *chain[0]);
    }
    QDataStream in(huge);
    QCOMPARE(readSegmentList(prepareRecordStream(in)).size(), 1);
    QCOMPARE(in.status(), QDataStream::ReadPastEnd);
}

QTEST_GUILESS_MAIN(TestStrokeRecords)
#include "tst_strokerecords.moc"
