#include "render/alphacomposition.h"
#include "strokes/bitmapstroke.h"
#include "strokes/compoundstroke.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"
#include "strokes/singlestroke.h"
#include "support/strictrecord.h"
#include "support/testsupport.h"
#include "tools/pentool.h"

#include <QDataStream>
#include <QPainterPath>
#include <QTest>
#include <QTransform>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

using namespace Model;
using namespace TestSupport;

// Under AddressSanitizer an allocation beyond 1 GB aborts the test: a damaged
// record must never make the reader reserve what the record only claims.
extern "C" __attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return "max_allocation_size_mb=1024";
}

namespace {

QByteArray recordOf(const Stroke &stroke)
{
    return record([&](QDataStream &stream) { stroke.write(stream); });
}

struct ReadResult
{
    std::unique_ptr<CompoundStroke> stroke;
    QDataStream::Status status = QDataStream::Ok;
    bool atEnd = false;
};

ReadResult readFrom(const QByteArray &data)
{
    QDataStream stream(data);
    prepareRecordStream(stream);
    ReadResult result;
    result.stroke = CompoundStroke::read(stream);
    result.status = stream.status();
    result.atEnd = stream.atEnd();
    return result;
}

// A marker stroke of full opacity as a drawing record holds it: no tool, one
// segment. Markers have no paper grain, so pixels do not depend on where the
// target lies.
std::unique_ptr<Stroke> strokeOf(const Segment &segment, bool eraser = false)
{
    const QByteArray data = record([&](QDataStream &stream) {
        stream << qint8(eraser ? 0 : 1) << qint32(1) << segment.boundingRect() << quint32(0)
               << qint32(1);
        Segment::writeRecord(stream, segment);
    });
    QDataStream stream(data);
    prepareRecordStream(stream);
    return SingleStroke::read(stream);
}

std::unique_ptr<Stroke> dab(QPointF centre, double radius, bool eraser = false)
{
    return strokeOf(PointSegment(centre, 1.0, radius), eraser);
}

QPainterPath rectPath(QRectF rect)
{
    QPainterPath path;
    path.addRect(rect);
    return path;
}

std::shared_ptr<CompoundStroke> compound(std::vector<std::unique_ptr<Stroke>> members)
{
    auto result = std::make_shared<CompoundStroke>();
    for (auto &member : members)
        result->addStroke(std::move(member));
    return result;
}

template<typename... Members>
std::shared_ptr<CompoundStroke> compoundOf(Members &&...members)
{
    std::vector<std::unique_ptr<Stroke>> list;
    (list.push_back(std::forward<Members>(members)), ...);
    return compound(std::move(list));
}

std::unique_ptr<Stroke> owned(const std::shared_ptr<CompoundStroke> &stroke)
{
    return stroke->clone();
}

QImage rendered(const Stroke &stroke, QSize size, const QTransform &transform = QTransform())
{
    QImage target(size, QImage::Format_Alpha8);
    target.fill(0);
    stroke.render(target, target.rect(), transform, QPoint(), 1.0);
    return target;
}

int pixel(const QImage &image, QPoint point)
{
    return image.constScanLine(point.y())[point.x()];
}

// A tree with every kind of member and every field set: a bitmap, a nested
// compound with both paths and a transform that floats cannot hold exactly,
// and a pen and an eraser dab.
std::shared_ptr<CompoundStroke> sampleTree()
{
    auto nested = compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 90));
    QPainterPath clip;
    clip.addEllipse(QPointF(10, 10), 12.3, 12.3);
    nested->setClipPath(clip);
    nested->erase(rectPath(QRectF(5.1, 5.2, 4.3, 4.4)));
    nested->setTransform(QTransform().rotate(30).translate(0.3, 7.1));
    return compoundOf(bitmapStroke(QRect(3, 4, 10, 10), 200), owned(nested), dab(QPointF(30.2, 30.7), 4.4),
                      dab(QPointF(31, 31), 2, true));
}

float asFloat(double value)
{
    return float(value);
}

// A chain of depth compounds, each the only member of the one before; with
// tails false the record stops after the innermost count, as a hostile one
// that only nests would.
QByteArray nestedRecord(int depth, bool tails)
{
    return record([&](QDataStream &stream) {
        for (int i = 1; i < depth; ++i)
            stream << qint64(1) << qint32(Stroke::CompoundStrokeType);
        stream << qint64(0);
        for (int i = 0; tails && i < depth; ++i)
            stream << QPainterPath() << QPainterPath() << QTransform();
    });
}

using Probes = QList<std::pair<QPoint, int>>;

// Faint: an eraser of full strength leaves at most a trace behind.
enum class Expect { Nothing, Faint, Something, Reference };
using GlProbes = QList<std::pair<QPoint, Expect>>;

} // namespace

Q_DECLARE_METATYPE(std::shared_ptr<Model::CompoundStroke>)
using Request = std::function<bool(Model::CompoundStroke &)>;
Q_DECLARE_METATYPE(Request)
Q_DECLARE_METATYPE(Probes)
Q_DECLARE_METATYPE(GlProbes)

class TestCompoundStroke : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Records
    void emptyCompoundRecord();
    void treeRoundTripsInSinglePrecision();
    void truncatedAtEveryLength();
    void damagedRecords_data();
    void damagedRecords();
    void nestingDepth_data();
    void nestingDepth();
    void deepTreeIsSafe();

    // Editing
    void addStrokeNesting_data();
    void addStrokeNesting();
    void eraseOnEmptyCompound();
    void valuesNoRecordCarriesAreRefused_data();
    void valuesNoRecordCarriesAreRefused();
    void erasePathDroppedWhenNothingLeftUnderIt();
    void clipPath_data();
    void clipPath();
    void eraseInsideRemovesCoveredStrokes();
    void eraserStrokesDoNotEnlargeBounds();
    void takeLastAndStrokeCount();
    void takingBackAnAddedStrokeRestoresTheTree_data();
    void takingBackAnAddedStrokeRestoresTheTree();

    // Rendering and collapsing
    void renderBitmaps_data();
    void renderBitmaps();
    void collapse_data();
    void collapse();
    void collapseProgressAndCancel();
    void collapseEmpty();
    void renderVectorStrokes_data();
    void renderVectorStrokes();
    void collapseVectorStrokes();
    void renderedInPiecesMatchesWhole_data();
    void renderedInPiecesMatchesWhole();
    void membersHoldNoMask();
    void farReachingContentCollapsesCoarser_data();
    void farReachingContentCollapsesCoarser();
    void deepTreesHoldFewCanvases_data();
    void deepTreesHoldFewCanvases();

private:
    bool m_gl = false;
};

void TestCompoundStroke::initTestCase()
{
    m_gl = startRenderer(QSize(256, 256));
}

// Records

void TestCompoundStroke::emptyCompoundRecord()
{
    const QByteArray expected = record([](QDataStream &stream) {
        stream << qint64(0) << qint32(0) << qint32(0);
        for (float value : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f})
            stream << value;
    });
    QCOMPARE(recordOf(CompoundStroke()), expected);

    const ReadResult read = readFrom(expected);
    QCOMPARE(read.status, QDataStream::Ok);
    QVERIFY(read.atEnd);
    QVERIFY(read.stroke->isEmpty());
    QVERIFY(read.stroke->boundingRect().isNull());
    QVERIFY(read.stroke->erasePath().isEmpty());
    QVERIFY(read.stroke->clipPath().isEmpty());
    QVERIFY(read.stroke->transform().isIdentity());
}

void TestCompoundStroke::treeRoundTripsInSinglePrecision()
{
    const auto tree = sampleTree();
    QByteArray data;
    {
        QDataStream stream(&data, QIODevice::WriteOnly);
        prepareRecordStream(stream);
        tree->write(stream);
        QCOMPARE(stream.version(), 19);
    }
    const ReadResult read = readFrom(data);
    QCOMPARE(read.status, QDataStream::Ok);
    QVERIFY(read.atEnd);
    QCOMPARE(read.stroke->memberCount(), 4);
    QCOMPARE(read.stroke->strokeCount(), 5);
    const QList<int> types{Stroke::BitmapStrokeType, Stroke::CompoundStrokeType,
                           Stroke::SingleStrokeType, Stroke::SingleStrokeType};
    for (int i = 0; i < types.size(); ++i)
        QCOMPARE(read.stroke->member(i)->type(), types[i]);
    QCOMPARE(static_cast<const BitmapStroke *>(read.stroke->member(0))->image(),
             static_cast<const BitmapStroke *>(tree->member(0))->image());
    QVERIFY(static_cast<const SingleStroke *>(read.stroke->member(3))->isEraserStroke());

    const auto *original = static_cast<const CompoundStroke *>(tree->member(1));
    const auto *copy = static_cast<const CompoundStroke *>(read.stroke->member(1));
    const QTransform t = original->transform();
    QCOMPARE(copy->transform(),
             QTransform(asFloat(t.m11()), asFloat(t.m12()), asFloat(t.m13()), asFloat(t.m21()),
                        asFloat(t.m22()), asFloat(t.m23()), asFloat(t.m31()), asFloat(t.m32()),
                        asFloat(t.m33())));
    for (const auto &[from, to] : {std::pair(original->erasePath(), copy->erasePath()),
                                   std::pair(original->clipPath(), copy->clipPath())}) {
        QVERIFY(!from.isEmpty());
        QCOMPARE(to.elementCount(), from.elementCount());
        for (int i = 0; i < from.elementCount(); ++i) {
            QCOMPARE(to.elementAt(i).type, from.elementAt(i).type);
            QCOMPARE(to.elementAt(i).x, qreal(asFloat(from.elementAt(i).x)));
            QCOMPARE(to.elementAt(i).y, qreal(asFloat(from.elementAt(i).y)));
        }
    }
    // Once rounded, the tree stays as it is.
    QCOMPARE(recordOf(*read.stroke), data);
    QCOMPARE(read.stroke->boundingRect(), tree->boundingRect());
}

void TestCompoundStroke::truncatedAtEveryLength()
{
    const QByteArray data = recordOf(*sampleTree());
    for (qsizetype length = 0; length < data.size(); ++length) {
        const ReadResult read = readFrom(data.left(length));
        QVERIFY(read.stroke);
        QVERIFY2(read.status != QDataStream::Ok, qPrintable(QString::number(length)));
        QVERIFY(read.stroke->memberCount() <= 4);
    }
}

void TestCompoundStroke::damagedRecords_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QDataStream::Status>("status");
    QTest::addColumn<int>("members");

    const QByteArray member = record([](QDataStream &stream) {
        Stroke::writeRecord(stream, *bitmapStroke(QRect(0, 0, 4, 4), 50));
    });
    const auto emptyTail = [](QDataStream &stream) {
        stream << QPainterPath() << QPainterPath() << QTransform();
    };
    // An empty compound whose erase path is written by hand.
    const auto withPath = [](auto elements) {
        return record([&](QDataStream &stream) {
            stream << qint64(0);
            elements(stream);
            stream << QPainterPath() << QTransform();
        });
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();

    QTest::newRow("negative count") << record([&](QDataStream &s) {
        s << qint64(-1);
        emptyTail(s);
    }) << QDataStream::ReadCorruptData << 0;
    QTest::newRow("count 2^62") << record([](QDataStream &s) { s << (qint64(1) << 62); }) + member
                                << QDataStream::ReadPastEnd << 1;
    QTest::newRow("unknown member type") << record([&](QDataStream &s) {
        s << qint64(2) << qint32(7) << qint32(0);
        emptyTail(s);
    }) << QDataStream::ReadCorruptData << 0;
    // A bitmap's damaged image loses only itself: the record is still framed.
    QTest::newRow("member after a damaged bitmap") << record([&](QDataStream &s) {
        s << qint64(2) << qint32(Stroke::BitmapStrokeType) << QRect(0, 0, 4, 4) << qint32(9);
        s.writeRawData(member.constData(), int(member.size()));
        emptyTail(s);
    }) << QDataStream::Ok << 2;
    QTest::newRow("path of 2^31 - 1 elements") << record([](QDataStream &s) {
        s << qint64(0) << qint32(std::numeric_limits<qint32>::max()) << qint32(0) << 1.f << 2.f;
    }) << QDataStream::ReadPastEnd << 0;
    QTest::newRow("path element type 9") << withPath([](QDataStream &s) {
        s << qint32(2) << qint32(0) << 1.f << 2.f << qint32(9) << 3.f << 4.f << qint32(0) << qint32(0);
    }) << QDataStream::ReadCorruptData << 0;
    QTest::newRow("path not starting with a move") << withPath([](QDataStream &s) {
        s << qint32(2) << qint32(1) << 1.f << 2.f << qint32(1) << 3.f << 4.f << qint32(0) << qint32(0);
    }) << QDataStream::ReadCorruptData << 0;
    QTest::newRow("path with NaN") << withPath([&](QDataStream &s) {
        s << qint32(2) << qint32(0) << 1.f << 2.f << qint32(1) << nan << 4.f << qint32(0) << qint32(0);
    }) << QDataStream::ReadCorruptData << 0;
    QTest::newRow("curve without its data") << withPath([](QDataStream &s) {
        s << qint32(3) << qint32(0) << 1.f << 2.f << qint32(2) << 3.f << 4.f << qint32(1) << 5.f
          << 6.f << qint32(0) << qint32(0);
    }) << QDataStream::ReadCorruptData << 0;
    QTest::newRow("path fill rule 5") << withPath([](QDataStream &s) {
        s << qint32(2) << qint32(0) << 1.f << 2.f << qint32(1) << 3.f << 4.f << qint32(0) << qint32(5);
    }) << QDataStream::ReadCorruptData << 0;
    QTest::newRow("transform with infinity") << record([](QDataStream &s) {
        s << qint64(0) << QPainterPath() << QPainterPath();
        for (float value : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, std::numeric_limits<float>::infinity(),
                            0.f, 1.f})
            s << value;
    }) << QDataStream::ReadCorruptData << 0;
    QTest::newRow("path beyond any drawing") << withPath([](QDataStream &s) {
        s << qint32(2) << qint32(0) << 1.f << 2.f << qint32(1) << 3e38f << 4.f << qint32(0) << qint32(0);
    }) << QDataStream::ReadCorruptData << 0;
    // Finite, but no group has such a transform: the member after the group
    // that holds it is not read, the member before it is kept.
    const auto afterGroupUnder = [&](const QList<float> &transform) {
        return record([&](QDataStream &s) {
            s << qint64(3);
            s.writeRawData(member.constData(), int(member.size()));
            s << qint32(Stroke::CompoundStrokeType) << qint64(1);
            s.writeRawData(member.constData(), int(member.size()));
            s << QPainterPath() << QPainterPath();
            for (float value : transform)
                s << value;
            s.writeRawData(member.constData(), int(member.size()));
            emptyTail(s);
        });
    };
    QTest::newRow("member after a transform that is not affine")
        << afterGroupUnder({1.f, 0.f, 0.5f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f}) << QDataStream::ReadCorruptData << 1;
    // What the program writes is affine to the bit.
    QTest::newRow("member after a transform affine only within rounding")
        << afterGroupUnder({1.f, 0.f, 1e-20f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f}) << QDataStream::ReadCorruptData << 1;
    QTest::newRow("member after a transform of no last entry")
        << afterGroupUnder({1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f}) << QDataStream::ReadCorruptData << 1;
    QTest::newRow("member after a transform beyond any drawing")
        << afterGroupUnder({3e38f, 0.f, 0.f, 0.f, 3e38f, 0.f, 0.f, 0.f, 1.f}) << QDataStream::ReadCorruptData << 1;
    QTest::newRow("member after a transform that shrinks to nothing")
        << afterGroupUnder({1e-30f, 0.f, 0.f, 0.f, 1e-30f, 0.f, 0.f, 0.f, 1.f}) << QDataStream::ReadCorruptData << 1;
    QTest::newRow("member after a transform that flattens everything")
        << afterGroupUnder({2.f, 4.f, 0.f, 1.f, 2.f, 0.f, 0.f, 0.f, 1.f}) << QDataStream::ReadCorruptData << 1;
    QTest::newRow("member after a transform far away")
        << afterGroupUnder({1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 1e30f, 0.f, 1.f}) << QDataStream::ReadCorruptData << 1;
    QTest::newRow("member after a group turned and moved")
        << afterGroupUnder({0.5f, 0.866025f, 0.f, -0.866025f, 0.5f, 0.f, 120.f, -40.f, 1.f}) << QDataStream::Ok << 3;
}

void TestCompoundStroke::damagedRecords()
{
    QFETCH(QByteArray, data);
    QFETCH(QDataStream::Status, status);
    QFETCH(int, members);
    const ReadResult read = readFrom(data);
    QCOMPARE(read.status, status);
    QCOMPARE(read.stroke->memberCount(), members);
    QVERIFY(read.stroke->erasePath().isEmpty());
    QVERIFY(read.stroke->transform().isIdentity());
    // What was kept writes as a record that a careful reader takes whole.
    QCOMPARE(StrictRecord::strokeFault(record([&](QDataStream &stream) { Stroke::writeRecord(stream, *read.stroke); })),
             QString());
}

void TestCompoundStroke::nestingDepth_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("tails");
    QTest::addColumn<QDataStream::Status>("status");
    // Each cut followed by more drawing adds a level; a drawing that the
    // program built must read back however long it was edited.
    QTest::newRow("a thousand levels") << 1000 << true << QDataStream::Ok;
    QTest::newRow("a hundred thousand levels") << 100000 << true << QDataStream::Ok;
    // Cut short after the innermost count: nothing is whole.
    QTest::newRow("cut short") << 200000 << false << QDataStream::ReadPastEnd;
}

void TestCompoundStroke::nestingDepth()
{
    QFETCH(int, depth);
    QFETCH(bool, tails);
    QFETCH(QDataStream::Status, status);
    const QByteArray data = nestedRecord(depth, tails);
    const ReadResult read = readFrom(data);
    QCOMPARE(read.status, status);
    if (status != QDataStream::Ok) {
        QCOMPARE(read.stroke->memberCount(), 0);
        return;
    }
    QCOMPARE(read.stroke->strokeCount(), depth - 1);
    QCOMPARE(record([&](QDataStream &stream) { read.stroke->write(stream); }), data);
    QCOMPARE(StrictRecord::strokeFault(record([](QDataStream &stream) { stream << Stroke::CompoundStrokeType; }) + data),
             QString());
}

// Trees far deeper than the call stack could walk copy, render, erase, write,
// read and go away like flat ones.
void TestCompoundStroke::deepTreeIsSafe()
{
    const int levels = 100000;
    const QSize size(10, 10);
    auto tree = std::make_unique<CompoundStroke>();
    tree->addStroke(bitmapStroke(QRect(2, 2, 6, 6), 200));
    for (int level = 1; level < levels; ++level) {
        auto outer = std::make_unique<CompoundStroke>();
        outer->addStroke(std::move(tree));
        tree = std::move(outer);
    }
    QCOMPARE(tree->strokeCount(), levels);
    QImage whole = alpha8(size);
    fillAlphaRect(whole, QRect(2, 2, 6, 6), 200);
    QCOMPARE(rendered(*tree, size), whole);

    const CompoundStroke copy(*tree);
    QVERIFY(tree->erase(rectPath(QRectF(0, 0, 5, 10))));
    QImage half = alpha8(size);
    fillAlphaRect(half, QRect(5, 2, 3, 6), 200);
    QCOMPARE(rendered(*tree, size), half);
    // Emptied from the deepest level up.
    tree->clipTo(rectPath(QRectF(50, 50, 5, 5)));
    QVERIFY(tree->isEmpty());

    const QByteArray data = record([&](QDataStream &stream) { copy.write(stream); });
    const ReadResult read = readFrom(data);
    QCOMPARE(read.status, QDataStream::Ok);
    QCOMPARE(read.stroke->strokeCount(), levels);
    QCOMPARE(rendered(*read.stroke, size), whole);
}

// Editing

void TestCompoundStroke::addStrokeNesting_data()
{
    QTest::addColumn<std::shared_ptr<CompoundStroke>>("stroke");
    QTest::addColumn<bool>("nests");

    QTest::newRow("plain") << compoundOf(bitmapStroke(QRect(0, 0, 10, 10), 9)) << false;
    auto clipped = compoundOf(bitmapStroke(QRect(0, 0, 10, 10), 9));
    clipped->setClipPath(rectPath(QRectF(0, 0, 5, 5)));
    QTest::newRow("clip path") << clipped << false;
    auto erased = compoundOf(bitmapStroke(QRect(0, 0, 10, 10), 9));
    erased->erase(rectPath(QRectF(0, 0, 5, 5)));
    QTest::newRow("erase path") << erased << true;
    auto moved = compoundOf(bitmapStroke(QRect(0, 0, 10, 10), 9));
    moved->setTransform(QTransform::fromTranslate(3, 0));
    QTest::newRow("transform") << moved << true;
}

void TestCompoundStroke::addStrokeNesting()
{
    QFETCH(std::shared_ptr<CompoundStroke>, stroke);
    QFETCH(bool, nests);
    const QPainterPath erasePath = stroke->erasePath();
    const QTransform transform = stroke->transform();

    QVERIFY(!stroke->addStroke(nullptr));
    QVERIFY(stroke->addStroke(bitmapStroke(QRect(20, 0, 10, 10), 9)));
    QCOMPARE(stroke->memberCount(), 2);
    QCOMPARE(stroke->member(1)->type(), int(Stroke::BitmapStrokeType));
    QCOMPARE(stroke->member(0)->type(),
             int(nests ? Stroke::CompoundStrokeType : Stroke::BitmapStrokeType));
    if (nests) {
        // The old content keeps its path and transform; new content is free of them.
        const auto *old = static_cast<const CompoundStroke *>(stroke->member(0));
        QCOMPARE(old->erasePath(), erasePath);
        QCOMPARE(old->transform(), transform);
        QVERIFY(stroke->erasePath().isEmpty());
        QVERIFY(stroke->transform().isIdentity());
    }
    // Baking leaves no transform behind, whatever there was.
    stroke->setTransform(QTransform::fromScale(2, 2));
    const QRect bounds = stroke->boundingRect();
    stroke->bakeTransform();
    QVERIFY(stroke->transform().isIdentity());
    QCOMPARE(stroke->memberCount(), 1);
    QCOMPARE(stroke->boundingRect(), bounds);
}

void TestCompoundStroke::eraseOnEmptyCompound()
{
    CompoundStroke stroke;
    QVERIFY(!stroke.erase(rectPath(QRectF(0, 0, 5, 5))));
    QVERIFY(stroke.erasePath().isEmpty());
}

void TestCompoundStroke::valuesNoRecordCarriesAreRefused_data()
{
    QTest::addColumn<Request>("request");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto transform = [](const QTransform &t) { return Request([t](CompoundStroke &c) { return c.setTransform(t); }); };
    QTest::newRow("transform with NaN") << transform(QTransform(nan, 0, 0, 1, 0, 0));
    QTest::newRow("transform that is not affine") << transform(QTransform(1, 0, 0.5, 0, 1, 0, 0, 0, 1));
    // Written as floats, these entries would be infinities.
    QTest::newRow("transform beyond a float") << transform(QTransform::fromScale(1e39, 1e39));
    QTest::newRow("transform that flattens everything") << transform(QTransform::fromScale(0, 1));
    QTest::newRow("erase path beyond any drawing")
        << Request([](CompoundStroke &c) { return c.erase(rectPath(QRectF(0, 0, 1e30, 5))); });
    QTest::newRow("clip path beyond any drawing")
        << Request([](CompoundStroke &c) { return c.setClipPath(rectPath(QRectF(-1e20, 0, 10, 10))); });
}

// A group never takes what its record could not carry, so that the writer
// never writes what no reader takes back: the request is refused, and the
// group stays as it was.
void TestCompoundStroke::valuesNoRecordCarriesAreRefused()
{
    QFETCH(Request, request);
    auto group = compoundOf(bitmapStroke(QRect(0, 0, 10, 10), 9), bitmapStroke(QRect(20, 5, 10, 10), 9));
    QVERIFY(group->setTransform(QTransform::fromTranslate(3, 4).rotate(20)));
    const QByteArray before = recordOf(*group);
    QVERIFY(!request(*group));
    QCOMPARE(recordOf(*group), before);
    QCOMPARE(StrictRecord::strokeFault(record([&](QDataStream &stream) { Stroke::writeRecord(stream, *group); })),
             QString());
}

void TestCompoundStroke::erasePathDroppedWhenNothingLeftUnderIt()
{
    auto stroke = compoundOf(bitmapStroke(QRect(0, 0, 10, 10), 9), bitmapStroke(QRect(50, 50, 10, 10), 9));
    QVERIFY(stroke->erase(rectPath(QRectF(2, 2, 3, 3))));
    QVERIFY(!stroke->erasePath().isEmpty());
    stroke->clipTo(rectPath(QRectF(45, 45, 20, 20)));
    QCOMPARE(stroke->memberCount(), 1);
    QVERIFY(stroke->erasePath().isEmpty());
    QCOMPARE(stroke->boundingRect(), QRect(50, 50, 10, 10));
}

void TestCompoundStroke::clipPath_data()
{
    QTest::addColumn<QPainterPath>("clip");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<int>("members");
    QTest::addColumn<QRect>("bounds");

    // The dab covers (-1, -1) to (10, 10), its disc grown by a pixel.
    QTest::newRow("contains everything") << rectPath(QRectF(-5, -5, 100, 100)) << false << 2
                                         << QRect(-1, -1, 41, 12);
    QTest::newRow("cuts one") << rectPath(QRectF(5, 0, 10, 10)) << true << 1 << QRect(5, 0, 6, 10);
    QTest::newRow("misses all") << rectPath(QRectF(0, 50, 5, 5)) << true << 0 << QRect();
}

void TestCompoundStroke::clipPath()
{
    QFETCH(QPainterPath, clip);
    QFETCH(bool, kept);
    QFETCH(int, members);
    QFETCH(QRect, bounds);
    auto stroke = compoundOf(dab(QPointF(5, 5), 5), bitmapStroke(QRect(30, 0, 10, 10), 9));
    stroke->setClipPath(clip);
    QCOMPARE(stroke->clipPath().isEmpty(), !kept);
    QCOMPARE(stroke->memberCount(), members);
    QCOMPARE(stroke->boundingRect(), bounds);
}

void TestCompoundStroke::eraseInsideRemovesCoveredStrokes()
{
    // The path comes in outer coordinates; the dabs lie 100 pixels further left.
    auto stroke = compoundOf(dab(QPointF(10, 10), 3), dab(QPointF(40, 10), 3));
    stroke->setTransform(QTransform::fromTranslate(100, 0));
    QVERIFY(stroke->eraseInside(rectPath(QRectF(100, 0, 20, 20))));
    QCOMPARE(stroke->memberCount(), 1);
    QCOMPARE(stroke->boundingRect(), QRect(136, 6, 8, 8));
    // A path that covers a stroke only in part leaves it whole.
    QVERIFY(stroke->eraseInside(rectPath(QRectF(139, 0, 20, 20))));
    QCOMPARE(stroke->memberCount(), 1);
}

void TestCompoundStroke::eraserStrokesDoNotEnlargeBounds()
{
    auto stroke = compoundOf(dab(QPointF(10, 10), 3), dab(QPointF(50, 50), 8, true));
    QCOMPARE(stroke->boundingRect(), QRect(6, 6, 8, 8));
}

void TestCompoundStroke::takeLastAndStrokeCount()
{
    CompoundStroke empty;
    QVERIFY(!empty.takeLast());

    auto stroke = compoundOf(bitmapStroke(QRect(0, 0, 5, 5), 9),
                             owned(compoundOf(bitmapStroke(QRect(0, 0, 5, 5), 9),
                                              bitmapStroke(QRect(5, 5, 5, 5), 9))),
                             bitmapStroke(QRect(20, 20, 5, 5), 9));
    QCOMPARE(stroke->strokeCount(), 5);
    const std::unique_ptr<Stroke> last = stroke->takeLast();
    QVERIFY(last);
    QCOMPARE(last->boundingRect(), QRect(20, 20, 5, 5));
    QCOMPARE(stroke->strokeCount(), 4);
    QCOMPARE(stroke->boundingRect(), QRect(0, 0, 10, 10));
}

// Adding a stroke over an erase path or under a transform moves the content
// down a level; taking the stroke back (an undo) must leave the tree as it
// was, record for record. A group added as a member stays a group.
void TestCompoundStroke::takingBackAnAddedStrokeRestoresTheTree_data()
{
    QTest::addColumn<std::shared_ptr<CompoundStroke>>("stroke");

    auto erased = compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 200), bitmapStroke(QRect(30, 0, 5, 5), 90));
    erased->erase(rectPath(QRectF(5, 5, 5, 5)));
    QTest::newRow("under an erase path") << erased;
    auto moved = compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 200));
    moved->setTransform(QTransform::fromTranslate(3, 4));
    QTest::newRow("under a transform") << moved;
    auto twice = compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 200));
    twice->erase(rectPath(QRectF(5, 5, 5, 5)));
    twice->addStroke(bitmapStroke(QRect(8, 8, 4, 4), 50));
    twice->erase(rectPath(QRectF(0, 0, 3, 3)));
    QTest::newRow("nested twice already") << twice;
    QTest::newRow("a group") << compoundOf(owned(compoundOf(bitmapStroke(QRect(0, 0, 5, 5), 9))));
    QTest::newRow("plain") << compoundOf(bitmapStroke(QRect(0, 0, 5, 5), 9));
}

void TestCompoundStroke::takingBackAnAddedStrokeRestoresTheTree()
{
    QFETCH(std::shared_ptr<CompoundStroke>, stroke);
    const QByteArray before = recordOf(*stroke);
    const int members = stroke->memberCount();

    for (int round = 0; round < 2; ++round) {
        QVERIFY(stroke->addStroke(bitmapStroke(QRect(40, 40, 6, 6), 255)));
        const QByteArray added = recordOf(*stroke);
        QVERIFY(stroke->takeLast());
        QCOMPARE(recordOf(*stroke), before);
        QCOMPARE(stroke->memberCount(), members);
        // A copy keeps what it needs to restore itself too.
        CompoundStroke copy(*stroke);
        QVERIFY(copy.addStroke(bitmapStroke(QRect(40, 40, 6, 6), 255)));
        QCOMPARE(recordOf(copy), added);
        QVERIFY(copy.takeLast());
        QCOMPARE(recordOf(copy), before);
    }
}

// Rendering and collapsing

void TestCompoundStroke::renderBitmaps_data()
{
    QTest::addColumn<std::shared_ptr<CompoundStroke>>("stroke");
    QTest::addColumn<QTransform>("transform");
    QTest::addColumn<Probes>("probes");

    QTest::newRow("overlap through the draw table")
        << compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 128), bitmapStroke(QRect(10, 0, 20, 20), 128))
        << QTransform() << Probes{{{5, 5}, 128}, {{15, 5}, 191}, {{25, 5}, 128}, {{35, 5}, 0}};

    auto erased = compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 200));
    erased->erase(rectPath(QRectF(5, 5, 5, 5)));
    QTest::newRow("erase path") << erased << QTransform()
                                << Probes{{{7, 7}, 0}, {{2, 2}, 200}, {{12, 12}, 200}};

    auto clipped = compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 200));
    clipped->setClipPath(rectPath(QRectF(0, 0, 10, 20)));
    QTest::newRow("clip path") << clipped << QTransform() << Probes{{{5, 5}, 200}, {{15, 5}, 0}};

    // Content added after an erase is not touched by it.
    auto later = compoundOf(bitmapStroke(QRect(0, 0, 20, 20), 200));
    later->erase(rectPath(QRectF(0, 0, 10, 20)));
    later->addStroke(bitmapStroke(QRect(0, 0, 20, 20), 100));
    QTest::newRow("erase before later content")
        << later << QTransform() << Probes{{{5, 5}, 100}, {{15, 5}, 221}};

    auto moved = compoundOf(bitmapStroke(QRect(0, 0, 5, 5), 200));
    moved->setTransform(QTransform::fromTranslate(10, 0));
    QTest::newRow("own transform, then the caller's")
        << moved << QTransform::fromScale(2, 2)
        << Probes{{{25, 5}, 200}, {{21, 9}, 200}, {{12, 5}, 0}, {{31, 5}, 0}};
}

void TestCompoundStroke::renderBitmaps()
{
    QFETCH(std::shared_ptr<CompoundStroke>, stroke);
    QFETCH(QTransform, transform);
    QFETCH(Probes, probes);
    const QImage image = rendered(*stroke, QSize(40, 40), transform);
    for (const auto &[point, value] : probes) {
        QVERIFY2(pixel(image, point) == value,
                 qPrintable(QStringLiteral("(%1, %2) is %3, not %4")
                                .arg(point.x()).arg(point.y()).arg(pixel(image, point)).arg(value)));
    }
}

void TestCompoundStroke::collapse_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<QRect>("limit");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("scale 1") << 1 << QRect() << 0;
    QTest::newRow("scale 3") << 3 << QRect() << 8;
    QTest::newRow("limited") << 1 << QRect(0, 0, 15, 40) << 0;
}

void TestCompoundStroke::collapse()
{
    QFETCH(int, scale);
    QFETCH(QRect, limit);
    QFETCH(int, tolerance);
    auto stroke = compoundOf(bitmapStroke(QRect(2, 2, 20, 20), 128), bitmapStroke(QRect(10, 6, 20, 20), 128));
    stroke->erase(rectPath(QRectF(4.5, 4.5, 8, 8)));
    stroke->addStroke(bitmapStroke(QRect(6, 6, 4, 4), 60));
    QImage before = rendered(*stroke, QSize(40, 40));
    if (limit.isValid()) {
        QImage cut(before.size(), QImage::Format_Alpha8);
        cut.fill(0);
        composeAlphaMask(cut, before, limit, true);
        before = cut;
    }

    QVERIFY(stroke->collapse(scale, limit));
    QCOMPARE(stroke->memberCount(), 1);
    const auto *collapsed = dynamic_cast<const BitmapStroke *>(stroke->member(0));
    QVERIFY(collapsed);
    const QRect expectedRect = limit.isValid() ? QRect(2, 2, 13, 24) : QRect(2, 2, 28, 24);
    QCOMPARE(collapsed->rect(), expectedRect);
    QCOMPARE(collapsed->image().size(), expectedRect.size() * scale);
    QCOMPARE(stroke->boundingRect(), expectedRect);
    QVERIFY(stroke->erasePath().isEmpty());
    QVERIFY(difference(rendered(*stroke, QSize(40, 40)), before).largest <= tolerance);
}

void TestCompoundStroke::collapseProgressAndCancel()
{
    auto stroke = sampleTree();
    // Only bitmaps, so that no OpenGL is needed: drop the two dabs.
    stroke->takeLast();
    stroke->takeLast();
    const int total = stroke->strokeCount();
    const QByteArray before = recordOf(*stroke);

    QList<int> steps;
    const auto cancelAt = [&](int step) {
        return [&steps, &total, step](int done, int count) {
            if (count != total)
                return false;
            steps << done;
            return done != step;
        };
    };
    QVERIFY(!stroke->collapse(2, QRect(), cancelAt(2)));
    QCOMPARE(steps, (QList<int>{0, 1, 2}));
    QCOMPARE(recordOf(*stroke), before);

    steps.clear();
    QVERIFY(!stroke->collapse(2, QRect(), cancelAt(0)));
    QCOMPARE(recordOf(*stroke), before);

    steps.clear();
    QVERIFY(stroke->collapse(2, QRect(), cancelAt(-1)));
    QCOMPARE(steps.size(), total + 1);
    QCOMPARE(steps.constLast(), total);
    QCOMPARE(stroke->strokeCount(), 1);
}

void TestCompoundStroke::collapseEmpty()
{
    CompoundStroke stroke;
    QVERIFY(stroke.collapse(2, QRect()));
    QVERIFY(stroke.isEmpty());

    // Nothing inside the limit: nothing is left, not even an empty bitmap.
    auto outside = compoundOf(bitmapStroke(QRect(0, 0, 5, 5), 9));
    QVERIFY(outside->collapse(1, QRect(20, 20, 5, 5)));
    QVERIFY(outside->isEmpty());
}

void TestCompoundStroke::renderVectorStrokes_data()
{
    QTest::addColumn<std::shared_ptr<CompoundStroke>>("stroke");
    QTest::addColumn<GlProbes>("probes");
    const QPointF centre(20, 20);
    const QPoint middle(20, 20);
    const QPoint right(24, 20);
    const QPoint far(45, 45);
    const QPoint left(16, 20);

    QTest::newRow("pen") << compoundOf(dab(centre, 6))
                         << GlProbes{{middle, Expect::Reference}, {far, Expect::Nothing}};
    QTest::newRow("eraser after pen") << compoundOf(dab(centre, 6), dab(centre, 8, true))
                                      << GlProbes{{middle, Expect::Faint}};
    QTest::newRow("eraser before pen") << compoundOf(dab(centre, 8, true), dab(centre, 6))
                                       << GlProbes{{middle, Expect::Reference}};
    QTest::newRow("eraser nested before pen")
        << compoundOf(owned(compoundOf(dab(centre, 6), dab(centre, 8, true))), dab(centre, 6))
        << GlProbes{{middle, Expect::Reference}};

    auto moved = compoundOf(dab(QPointF(5, 20), 6));
    moved->setTransform(QTransform::fromTranslate(15, 0));
    QTest::newRow("transform") << moved << GlProbes{{middle, Expect::Reference},
                                                    {QPoint(5, 20), Expect::Nothing}};

    auto erased = compoundOf(dab(centre, 6));
    erased->erase(rectPath(QRectF(0, 0, 20, 40)));
    QTest::newRow("erase path") << erased << GlProbes{{left, Expect::Nothing},
                                                      {right, Expect::Something}};
}

void TestCompoundStroke::renderVectorStrokes()
{
    REQUIRE_GL();
    QFETCH(std::shared_ptr<CompoundStroke>, stroke);
    QFETCH(GlProbes, probes);
    const QImage reference = rendered(*dab(QPointF(20, 20), 6), QSize(50, 50));
    QVERIFY(pixel(reference, {20, 20}) > 200);

    const QImage image = rendered(*stroke, QSize(50, 50));
    for (const auto &[point, expect] : probes) {
        const int value = pixel(image, point);
        switch (expect) {
        case Expect::Nothing:
            QCOMPARE(value, 0);
            break;
        case Expect::Faint:
            QVERIFY2(value <= 4, qPrintable(QString::number(value)));
            break;
        case Expect::Something:
            QVERIFY(value > 0);
            break;
        case Expect::Reference:
            QCOMPARE(value, pixel(reference, {20, 20}));
            break;
        }
    }
}

void TestCompoundStroke::collapseVectorStrokes()
{
    REQUIRE_GL();
    auto stroke = compoundOf(dab(QPointF(20, 20), 6), dab(QPointF(28, 22), 5),
                             dab(QPointF(24, 20), 3, true));
    stroke->erase(rectPath(QRectF(10, 10, 6, 20)));
    const QImage before = rendered(*stroke, QSize(50, 50));
    QVERIFY(stroke->collapse(1, QRect()));
    QCOMPARE(stroke->strokeCount(), 1);
    QCOMPARE(stroke->member(0)->type(), int(Stroke::BitmapStrokeType));
    QVERIFY(difference(rendered(*stroke, QSize(50, 50)), before).largest <= 1);
}

void TestCompoundStroke::renderedInPiecesMatchesWhole_data()
{
    QTest::addColumn<std::shared_ptr<CompoundStroke>>("stroke");
    QTest::addColumn<QTransform>("transform");
    QTest::addColumn<double>("renderScale");
    // The same strokes drawn at the size the transform shows them, whose
    // pixels the whole render must give; none where that is not checked.
    QTest::addColumn<std::shared_ptr<CompoundStroke>>("alike");
    const std::shared_ptr<CompoundStroke> nothing;
    const auto ellipse = [](QPointF centre, double rx, double ry) {
        QPainterPath path;
        path.addEllipse(centre, rx, ry);
        return path;
    };

    QTest::newRow("pens, erasers and bitmaps")
        << compoundOf(dab(QPointF(40, 50), 30), bitmapStroke(QRect(60, 20, 150, 90), 120),
                      dab(QPointF(120, 60), 25, true), dab(QPointF(230, 200), 40),
                      dab(QPointF(150, 150), 70))
        << QTransform() << 1.0 << nothing;

    auto nested = compoundOf(dab(QPointF(100, 100), 40), dab(QPointF(130, 110), 20, true),
                             bitmapStroke(QRect(50, 150, 120, 60), 200));
    nested->setTransform(QTransform().translate(150, 40).rotate(25).scale(0.6, 0.8));
    QTest::newRow("nested under a transform")
        << compoundOf(dab(QPointF(60, 200), 35), owned(nested), dab(QPointF(200, 180), 30, true))
        << QTransform() << 1.0 << nothing;

    auto erased = compoundOf(dab(QPointF(100, 100), 60), dab(QPointF(200, 150), 50));
    erased->erase(ellipse(QPointF(150, 120), 60, 40));
    erased->addStroke(dab(QPointF(150, 120), 30));
    QTest::newRow("erase path") << erased << QTransform() << 1.0 << nothing;

    // A lifted selection: cut to a curved outline.
    auto lifted = compoundOf(dab(QPointF(100, 100), 60), bitmapStroke(QRect(120, 60, 140, 160), 150),
                             dab(QPointF(220, 200), 50, true));
    lifted->setClipPath(ellipse(QPointF(150, 130), 110, 80));
    QTest::newRow("clip path") << compoundOf(owned(lifted), dab(QPointF(40, 240), 30))
                               << QTransform() << 1.0 << nothing;

    // As a collapse renders: shifted and at twice the resolution.
    QTest::newRow("scaled")
        << compoundOf(owned(lifted), dab(QPointF(60, 60), 20), dab(QPointF(70, 70), 15, true))
        << (QTransform::fromTranslate(-20, -10) * QTransform::fromScale(2, 2)) << 2.0 << nothing;

    // Taps and dashes a few pixels across, shrunk as a thumbnail or a far
    // zoom shows them: each one still draws, its ends too.
    const auto specks = [](double scale) {
        std::vector<std::unique_ptr<Stroke>> members;
        for (int y = 40; y < 2900; y += 150) {
            for (int x = 40; x < 3300; x += 150) {
                const QPointF at = QPointF(x, y) * scale;
                if ((x + y) / 150 % 2)
                    members.push_back(dab(at, (2.5 + x % 4) * scale));
                else
                    members.push_back(strokeOf(LineSegment(at, at + QPointF(6, 3) * scale, 1.0, 1.0, 2.0 * scale,
                                                           2.0 * scale)));
            }
        }
        return compound(std::move(members));
    };
    QTest::newRow("taps and dashes shrunk to a tenth")
        << specks(1.0) << QTransform::fromScale(0.1, 0.1) << 1.0 << specks(0.1);
    QTest::newRow("taps and dashes shrunk to a twentieth")
        << specks(1.0) << QTransform::fromScale(0.05, 0.05) << 1.0 << specks(0.05);
}

// A drawing's image is kept up to date by rendering only the part that an
// edit changed; that must give the very pixels a render of everything gives.
// The target is larger than the renderer's framebuffer, so that it tiles too.
void TestCompoundStroke::renderedInPiecesMatchesWhole()
{
    REQUIRE_GL();
    QFETCH(std::shared_ptr<CompoundStroke>, stroke);
    QFETCH(QTransform, transform);
    QFETCH(double, renderScale);
    QFETCH(std::shared_ptr<CompoundStroke>, alike);
    const QSize size(330, 290);

    QImage whole(size, QImage::Format_Alpha8);
    whole.fill(0);
    stroke->render(whole, whole.rect(), transform, QPoint(3, 5), renderScale);
    int covered = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            covered += pixel(whole, {x, y}) != 0;
    QVERIFY(covered > (alike ? 300 : 5000));
    if (alike) {
        QImage shown(size, QImage::Format_Alpha8);
        shown.fill(0);
        alike->render(shown, shown.rect(), QTransform(), QPoint(3, 5), renderScale);
        const Difference diff = difference(whole, shown);
        QVERIFY2(diff.largest <= 2, qPrintable(QStringLiteral("%1 pixels differ, by up to %2 at %3,%4")
                                                   .arg(diff.pixels).arg(diff.largest).arg(diff.where.x())
                                                   .arg(diff.where.y())));
    }

    QImage pieces(size, QImage::Format_Alpha8);
    pieces.fill(0);
    for (int top = 0; top < size.height(); top += 37) {
        for (int left = 0; left < size.width(); left += 53)
            stroke->render(pieces, QRect(left, top, 53, 37), transform, QPoint(3, 5), renderScale);
    }
    QCOMPARE(difference(pieces, whole).largest, 0);
}

void TestCompoundStroke::membersHoldNoMask()
{
    auto pen = std::make_unique<PenTool>(Tool::PenType::Marker);
    auto live = std::make_unique<SingleStroke>(QSize(1920, 1080), pen.get());
    live->addPoint({100.0, 100.0, 1.0, 0.0});
    QVERIFY(!live->image().isNull());

    CompoundStroke group;
    QVERIFY(group.addStroke(std::move(live)));
    const auto *member = dynamic_cast<const SingleStroke *>(group.member(0));
    QVERIFY(member);
    // Members are drawn from their segments; the mask would only hold memory.
    QVERIFY(member->image().isNull());
    QVERIFY(!member->isEmpty());
}


void TestCompoundStroke::deepTreesHoldFewCanvases_data()
{
    QTest::addColumn<bool>("cuts");
    QTest::addColumn<int>("levels");
    // Each cut followed by more drawing nests the content before it as the
    // first member; groups pasted into groups nest as the last member.
    QTest::newRow("cut 300 times") << true << 300;
    QTest::newRow("groups 300 deep") << false << 300;
    QTest::newRow("groups 5 deep") << false << 5;
}

// However deep the tree, a render holds a few canvases at once, and renders
// every level as it lies.
void TestCompoundStroke::deepTreesHoldFewCanvases()
{
    QFETCH(bool, cuts);
    QFETCH(int, levels);
    const QSize frame(640, 360);
    QImage expected = alpha8(frame, 0);
    auto tree = std::make_unique<CompoundStroke>();
    for (int level = 0; level < levels; ++level) {
        const QRect place((level % 40) * 16, (level / 40) * 40 + 4, 10, 10);
        fillAlphaRect(expected, place, 255);
        if (cuts) {
            QVERIFY(tree->addStroke(bitmapStroke(place, 255)));
            const QRect corner(place.topLeft(), QSize(4, 4));
            QVERIFY(tree->erase(rectPath(corner)));
            fillAlphaRect(expected, corner, 0);
        } else {
            auto outer = std::make_unique<CompoundStroke>();
            outer->addStroke(bitmapStroke(place, 255));
            outer->addStroke(std::move(tree));
            tree = std::move(outer);
        }
    }

    QImage target = alpha8(frame, 0);
    const qint64 before = allocatedBytes();
    qint64 peak = before;
    // A render in bands still counts its steps once up to the total.
    const int strokes = tree->strokeCount();
    int last = 0;
    bool steady = true;
    const CompoundStroke::Progress sample = [&](int done, int total) {
        peak = std::max(peak, allocatedBytes());
        steady = steady && done >= last && total == strokes;
        last = done;
        return true;
    };
    QVERIFY(tree->collapse(1, QRect(QPoint(0, 0), frame), sample));
    QVERIFY(steady);
    QCOMPARE(last, strokes);
    const qint64 frameBytes = qint64(frame.width()) * frame.height();
    QVERIFY2(peak - before < 8 * frameBytes,
             qPrintable(QStringLiteral("%1 frames held").arg(double(peak - before) / frameBytes)));
    QCOMPARE(tree->memberCount(), 1);
    tree->render(target, target.rect(), QTransform(), QPoint(), 1.0);
    QCOMPARE(target, expected);
}

void TestCompoundStroke::farReachingContentCollapsesCoarser_data()
{
    QTest::addColumn<int>("span");
    QTest::addColumn<int>("scale");
    // The bitmap must fit a run-length image (256 MiB), or it would not read
    // back: the grain is lowered until it does, and where even one pixel per
    // drawing pixel is too much, nothing changes.
    QTest::newRow("fits at the grain asked for") << 4000 << 2;
    QTest::newRow("fits one pixel per drawing pixel") << 9000 << 1;
    QTest::newRow("fits nowhere") << 17000 << 0;
}

void TestCompoundStroke::farReachingContentCollapsesCoarser()
{
    QFETCH(int, span);
    QFETCH(int, scale);
    CompoundStroke compound;
    compound.addStroke(bitmapStroke(QRect(0, 0, 4, 4), 255));
    compound.addStroke(bitmapStroke(QRect(span - 4, span - 4, 4, 4), 255));
    QCOMPARE(compound.collapse(2, QRect()), scale > 0);
    QCOMPARE(compound.memberCount(), scale > 0 ? 1 : 2);
    if (scale > 0) {
        const auto *bitmap = dynamic_cast<const BitmapStroke *>(compound.member(0));
        QVERIFY(bitmap);
        QCOMPARE(bitmap->rect(), QRect(0, 0, span, span));
        QCOMPARE(bitmap->image().size(), QSize(span, span) * scale);
    }
}

QTEST_MAIN(TestCompoundStroke)
#include "tst_compoundstroke.moc"
