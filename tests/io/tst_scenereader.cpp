// Reading ".kl" documents that the writer did not write as they stand: what
// the reader tolerates and how, the documents it refuses and why, damaged
// drawings, pictures, notes and sound, and a read the user cancels.

#include "scenefiletesthelpers.h"

#include "strokes/compoundstroke.h"
#include "strokes/rleimage.h"
#include "support/fakeprogress.h"
#include "support/hostileinput.h"
#include "support/strictrecord.h"

#include <QCryptographicHash>
#include <QMap>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <tuple>

using namespace Model;
using namespace SceneFileTest;
using TestSupport::FakeProgress;

using Mutation = std::function<QByteArray(const QByteArray &)>;
Q_DECLARE_METATYPE(Mutation)

// What damage to a file may change besides the damaged cell and the cells
// that show its drawing: nothing else, the cells after it in its layer
// (which move up when it is left out), the whole layer (left out), or the
// order in which the layers stand; or nothing at all, what was missing
// being made good; or what the cell shows, while all was made good.
enum class Spoils { Cell, LaterCells, Layer, Order, Nothing, CellBesideARepair };
Q_DECLARE_METATYPE(Spoils)

namespace {

const QString Frame = QStringLiteral("frameWidth=\"64\" frameHeight=\"48\"");
// Every attribute of the scene, all its frames in the range.
const QString Whole = Frame
    + QStringLiteral(" frameRange=\"1;-1\" activeFrameNumber=\"1\" activeLayerIndex=\"0\" highestUsedLayerNumber=\"0\" "
                     "fps=\"12\"");

QString identifier(int n)
{
    return QStringLiteral("{00000000-0000-0000-0000-%1}").arg(n, 12, 10, QLatin1Char('0'));
}

QString layer(const QString &attributes, const QString &children)
{
    return QStringLiteral("<layer %1>%2</layer>").arg(attributes, children);
}

// With every setting the writer gives, those the children give excepted.
QString strokeLayer(const QString &name, const QString &children)
{
    const QString opacity =
        children.contains(QStringLiteral("<opacity>")) ? QString() : QStringLiteral("<opacity>1</opacity>");
    const QString colour =
        children.contains(QStringLiteral("<color>")) ? QString() : QStringLiteral("<color>red</color>");
    return layer(QStringLiteral("identifier=\"%1\" name=\"%2\" linked=\"no\" visible=\"yes\" type=\"stroke\"")
                     .arg(identifier(int(name.at(0).unicode())), name),
                 opacity + colour + children);
}

// The layers with the ordering the writer gives them, here the order in
// which they are listed.
QString inOrder(const QString &layers)
{
    QStringList positions;
    for (int i = 0; i < int(layers.count(QStringLiteral("<layer "))); ++i)
        positions.append(QString::number(i));
    return QStringLiteral("<ordering>%1</ordering>").arg(positions.join(u';')) + layers;
}

const QString Hold = QStringLiteral("<drawing type=\"clone\"/>");

QString original(QChar letter)
{
    return inkedOriginal(identifier(int(letter.unicode()) + 1000), letter);
}

QString cellText(const LayerItem &item)
{
    QString text(QStringLiteral("OCD").at(item.kind()));
    const Drawing *drawing = item.drawing().get();
    if (const auto *picture = dynamic_cast<const ImageDrawing *>(drawing))
        return text + (picture->isEmpty() ? QStringLiteral("[]") : QStringLiteral("[pic]"));
    return text + CellTest::inkOf(drawing);
}

// The scene in one line: the range and active cell, then each layer in list
// order with what it shows and the settings a file keeps.
QString summary(const Scene &scene)
{
    QStringList parts{QStringLiteral("range %1-%2 at %3/%4")
                          .arg(scene.frameRangeFirst())
                          .arg(scene.frameRangeLast())
                          .arg(scene.activeFrame())
                          .arg(scene.activeLayerIdx())};
    for (int i = 0; i < scene.layerCount(); ++i) {
        const std::shared_ptr<Layer> layer = scene.layerAt(i);
        QString text = QStringLiteral("%1 %2").arg(layer->type()).arg(layer->name());
        if (const auto *visual = qobject_cast<const VisualLayer *>(layer.get())) {
            QStringList cells;
            for (const auto &item : visual->cells())
                cells.append(cellText(*item));
            text += QStringLiteral(": %1 opacity %2%3%4 beyond %5")
                        .arg(cells.join(u' '))
                        .arg(visual->opacity())
                        .arg(visual->isVisible() ? QString() : QStringLiteral(" hidden"))
                        .arg(visual->isLinked() ? QStringLiteral(" linked") : QString())
                        .arg(int(visual->layerBeyondLast()));
            if (const auto *strokes = qobject_cast<const StrokeLayer *>(visual))
                text += u' ' + SceneFormat::colorText(strokes->color());
        } else if (const auto *notes = qobject_cast<const AnnotationLayer *>(layer.get())) {
            QStringList frames;
            for (int frame = 1; frame <= notes->imageCount(); ++frame)
                frames.append(notes->image(frame).isNull() ? QStringLiteral("-") : QStringLiteral("n"));
            text += QStringLiteral(": ") + frames.join(QString());
        }
        parts.append(text);
    }
    return parts.join(QStringLiteral(" | "));
}

// Everything a user sees of each cell, note and sound, by layer name and
// frame, so that what damage spared can be compared whole.
QMap<QString, QByteArray> contents(const Scene &scene)
{
    QMap<QString, QByteArray> result;
    for (int i = 0; i < scene.layerCount(); ++i) {
        const std::shared_ptr<Layer> layer = scene.layerAt(i);
        if (const auto *visual = qobject_cast<const VisualLayer *>(layer.get())) {
            const auto *strokes = qobject_cast<const StrokeLayer *>(visual);
            result.insert(QStringLiteral("%1/0").arg(layer->name()),
                          QStringLiteral("%1 %2 %3").arg(visual->opacity()).arg(visual->isVisible())
                              .arg(strokes ? SceneFormat::colorText(strokes->color()) : QString())
                              .toUtf8());
            for (int frame = 1; frame <= visual->frameCount(); ++frame) {
                QByteArray bytes;
                QDataStream out(&bytes, QIODevice::WriteOnly);
                const std::shared_ptr<LayerItem> item = visual->cell(frame);
                out << item->kind() << item->offPegsTransform() << visual->thumbnail(frame, QSize(32, 24));
                result.insert(QStringLiteral("%1/%2").arg(layer->name()).arg(frame), bytes);
            }
        } else if (const auto *notes = qobject_cast<const AnnotationLayer *>(layer.get())) {
            for (int frame = 1; frame <= scene.maximumFrameNumber(); ++frame) {
                QByteArray bytes;
                QDataStream out(&bytes, QIODevice::WriteOnly);
                out << notes->image(frame);
                result.insert(QStringLiteral("%1/%2").arg(layer->name()).arg(frame), bytes);
            }
        } else if (const auto *audio = qobject_cast<const AudioLayer *>(layer.get())) {
            result.insert(QStringLiteral("%1/0").arg(layer->name()),
                          QCryptographicHash::hash(audio->pcm(), QCryptographicHash::Sha1));
        }
    }
    return result;
}

// Payload changes, on the decoded bytes.
QString encoded(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

Mutation payload(const QString &name, int n, const std::function<QString(const QByteArray &)> &change)
{
    return [name, n, change](const QByteArray &document) { return withPayload(document, name, n, change); };
}

Mutation cutShort(const QString &name, int n)
{
    return payload(name, n, [](const QByteArray &bytes) { return encoded(bytes.left(bytes.size() / 2)); });
}

// Puts a big-endian number over the bytes at offset.
template<typename T>
Mutation overwrite(const QString &name, int n, qsizetype offset, T value)
{
    return payload(name, n, [offset, value](QByteArray bytes) {
        if (bytes.size() >= offset + qsizetype(sizeof(T)))
            qToBigEndian(value, bytes.data() + offset);
        return encoded(bytes);
    });
}

Mutation strayCharacters(const QString &name, int n)
{
    return payload(name, n, [](const QByteArray &bytes) {
        QString text = encoded(bytes);
        text.insert(text.size() / 2, QStringLiteral("*#!"));
        return text;
    });
}

// Stray characters in place of the four of a group of the text, or a
// character of the alphabet inserted, about halfway.
Mutation textEdited(const QString &name, int n, const QString &before, const QString &after)
{
    return payload(name, n, [=](const QByteArray &bytes) {
        QString text = encoded(bytes);
        const qsizetype at = text.size() / 8 * 4;
        return text.replace(at, before.size(), after);
    });
}

// The drawing with a group added that holds a collapsed stroke over a frame
// of claimed, its ink in two far corners, and an erase path that wipes all
// but a blank speck of it: it reaches all of that frame, but only rendering
// tells that it leaves no ink. Its record claims that frame.
Mutation claimingLarger(int n, QSize claimed)
{
    return payload(QStringLiteral("strokes"), n, [claimed](const QByteArray &bytes) {
        QDataStream in(bytes);
        SceneFormat::preparePayloadStream(in, SceneFormat::Payload::Strokes);
        StrokeDrawing drawing{QSize()};
        in >> drawing;
        QImage ink = TestSupport::alpha8(claimed / 32, 0);
        ink.scanLine(0)[0] = 255;
        ink.scanLine(ink.height() - 1)[ink.width() - 1] = 255;
        QPainterPath wiped;
        wiped.addRect(QRectF(QPointF(0, 0), claimed));
        wiped.addRect(QRectF(QPointF(claimed.width() / 2, claimed.height() / 2), QSizeF(2, 2)));
        auto group = std::make_unique<CompoundStroke>();
        group->addStroke(std::make_unique<BitmapStroke>(ink, QRect(QPoint(0, 0), claimed)));
        group->erase(wiped);
        drawing.addStroke(std::move(group));
        QByteArray record;
        QDataStream out(&record, QIODevice::WriteOnly);
        SceneFormat::preparePayloadStream(out, SceneFormat::Payload::Strokes);
        out << drawing;
        qToBigEndian(qint32(claimed.width()), record.data());
        qToBigEndian(qint32(claimed.height()), record.data() + 4);
        return encoded(record);
    });
}

Mutation replacedBy(const QString &name, int n, const QString &text)
{
    return payload(name, n, [text](const QByteArray &) { return text; });
}

// Markup changes: text in place of the first occurrence of before.
Mutation replacedText(const QString &before, const QString &after)
{
    return [before, after](const QByteArray &document) {
        QString text = QString::fromUtf8(document);
        const qsizetype at = text.indexOf(before);
        if (at < 0)
            return QByteArray();
        return text.replace(at, before.size(), after).toUtf8();
    };
}

// The start tag of the cell of the given frame of the layer called name
// (one without characters that XML escapes), as change makes it.
Mutation cellTag(const QString &name, int frame, const std::function<QString(QString)> &change)
{
    return [=](const QByteArray &document) {
        QString text = QString::fromUtf8(document);
        qsizetype at = text.indexOf(QStringLiteral("name=\"%1\"").arg(name));
        for (int n = 0; n < frame && at >= 0; ++n)
            at = text.indexOf(QStringLiteral("<drawing "), at + 1);
        if (at < 0)
            return QByteArray();
        const qsizetype end = text.indexOf(u'>', at);
        return text.replace(at, end - at, change(text.mid(at, end - at))).toUtf8();
    };
}

// Makes the cell of the given frame of the layer called name a distant clone
// of the first cell of the layer called other (names as cellTag() takes
// them); what the cell held is skipped.
Mutation linkedToFirstOf(const QString &name, int frame, const QString &other)
{
    return [=](const QByteArray &document) {
        const QString text = QString::fromUtf8(document);
        const QRegularExpression identifier(QStringLiteral("identifier=\"([^\"]+)\""));
        const QRegularExpressionMatch layerTag =
            QRegularExpression(identifier.pattern() + QStringLiteral(" name=\"%1\"").arg(other)).match(text);
        const QString key = QStringLiteral("><original layer=\"%1\" drawing=\"%2\"/").arg(layerTag.captured(1),
            identifier.match(text, text.indexOf(QStringLiteral("<drawing "), layerTag.capturedEnd())).captured(1));
        return cellTag(name, frame, [key](QString tag) {
            return tag.replace(QStringLiteral("\"original\""), QStringLiteral("\"distantClone\"")) + key;
        })(document);
    };
}

// A drawing record whose second member is a group of the ink of 'a' under
// a transform that no group has (entries m11 to m33), followed by the ink
// of 'b'.
QString afterDamagedTransform(const QList<float> &transform)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    SceneFormat::preparePayloadStream(out, SceneFormat::Payload::Strokes);
    out << FrameSize << qint64(3);
    Stroke::writeRecord(out, *CellTest::inkStroke(u'c'));
    out << qint32(Stroke::CompoundStrokeType) << qint64(1);
    Stroke::writeRecord(out, *CellTest::inkStroke(u'a'));
    out << QPainterPath() << QPainterPath();
    for (float entry : transform)
        out << entry;
    Stroke::writeRecord(out, *CellTest::inkStroke(u'b'));
    out << QPainterPath() << QPainterPath() << QTransform();
    return encoded(bytes);
}

// A drawing record of the test frame whose one stroke is a collapsed one
// over rect; picture writes what follows the rectangle (the image tag and
// the image). The record ends without a cached picture, which the reader
// then renders from the strokes.
QString collapsedRecord(QRect rect, const std::function<void(QDataStream &)> &picture)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    SceneFormat::preparePayloadStream(out, SceneFormat::Payload::Strokes);
    out << FrameSize << qint64(1) << qint32(Stroke::BitmapStrokeType) << rect;
    picture(out);
    // The root's erase path, clip path and transform.
    out << QPainterPath() << QPainterPath() << QTransform();
    return encoded(bytes);
}

// A run-length picture as its record holds it: the size, then the codes.
std::function<void(QDataStream &)> picture(qint32 tag, int width, int height, const QByteArray &codes)
{
    return [=](QDataStream &out) {
        out << tag;
        if (tag == 2)
            out << qint32(width) << qint32(height) << codes;
    };
}

// A distant clone of the original that original(originalLetter) makes in
// the layer strokeLayer() names after originalLayer.
QString distantClone(const QString &cell, QChar originalLayer, QChar originalLetter)
{
    return QStringLiteral("<drawing type=\"distantClone\" identifier=\"%1\"><original layer=\"%2\" drawing=\"%3\"/>"
                          "</drawing>")
        .arg(cell, identifier(int(originalLayer.unicode())), identifier(int(originalLetter.unicode()) + 1000));
}

// The element by which an original lists a distant clone.
QString listed(QChar layer, const QString &cell)
{
    return QStringLiteral("<clone layer=\"%1\" drawing=\"%2\"/>").arg(identifier(int(layer.unicode())), cell);
}

int layerNamed(const Scene &scene, const QString &name)
{
    for (int i = 0; i < scene.layerCount(); ++i) {
        if (scene.layerName(i) == name)
            return i;
    }
    return -1;
}

// Where the payloads of buildEveryKind() stand in its document: "strokes"
// 0, 1, 2 are frames 1, 3, 4 of the first layer; "image" 0 is frame 1 of
// the reference layer, "image" 2 to 7 the notes of frames 1 to 6.
const QString Ink = QStringLiteral("Ink & <\"lines\">");

} // namespace

class TestSceneReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void tolerance_data();
    void tolerance();
    void refusedDocuments_data();
    void refusedDocuments();
    void documentWithoutSceneChangesNothing();
    void damagedFiles_data();
    void damagedFiles();
    void everyValueNamedOrKept_data();
    void everyValueNamedOrKept();
    void distantCloneLinks_data();
    void distantCloneLinks();
    void notesTogetherHaveABound();
    void damagedDrawingKeepsTheStrokesBeforeTheDamage();
    void originalWithoutPayloadKeepsItsClones();
    void damageReportNamesLayersAndFrames();
    void documentFormsReadAlike_data();
    void documentFormsReadAlike();
    void textsLikeMarkersAreNoPayloads_data();
    void textsLikeMarkersAreNoPayloads();
    void base64DecodesAsQtDoes_data();
    void base64DecodesAsQtDoes();
    void readerProgress_data();
    void readerProgress();
    void cancelWhileReading_data();
    void cancelWhileReading();
    void farAudioOffsetsAreBounded_data();
    void farAudioOffsetsAreBounded();
};

void TestSceneReader::initTestCase()
{
    TestSupport::startRenderer(QSize(64, 64));
}

void TestSceneReader::tolerance_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("expected");

    const QString ab = original(u'a') + Hold + original(u'b');
    QTest::newRow("as written") << document(Frame + QStringLiteral(" frameRange=\"1;3\" activeFrameNumber=\"3\" "
                                                                   "activeLayerIndex=\"0\""),
                                            QStringLiteral("<ordering>0</ordering>")
                                                + layer(QStringLiteral("name=\"A\" linked=\"yes\" visible=\"yes\" "
                                                                       "beyond=\"freezeLast\" type=\"stroke\""),
                                                        QStringLiteral("<opacity>0.25</opacity>"
                                                                       "<color>#102030</color>")
                                                            + ab))
                                << QStringLiteral("range 1-3 at 3/0 | 1 A: Oa Ca Ob opacity 0.25 linked beyond 2 "
                                                  "#102030");
    const QString unknown = QStringLiteral("<unknown a=\"1\"><inner>text</inner></unknown>");
    QTest::newRow("unknown elements everywhere")
        << QStringLiteral("<?xml version=\"1.0\"?><kl version=\"0.4\">%1<scene %2>%1<layers>%1"
                          "<layer name=\"A\" visible=\"yes\" type=\"stroke\">%1<drawing type=\"original\">%1"
                          "<strokes>%3</strokes></drawing></layer></layers></scene>%1</kl>")
               .arg(unknown, Frame, strokesPayload(*CellTest::inkedDrawing(u'a')))
               .toUtf8()
        << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #ff0000");
    // Hidden, not linked, undefined beyond, red, the opacity of a new layer.
    QTest::newRow("missing attributes") << document(Frame, layer(QStringLiteral("type=\"stroke\""), original(u'a'))
                                                               + layer(QStringLiteral("type=\"reference\""),
                                                                       QStringLiteral("<drawing type=\"original\"/>")))
                                        << QStringLiteral("range 1-1 at 1/0 | 1 : Oa opacity 1 hidden beyond 0 "
                                                          "#ff0000 | 3 : O[] opacity 0.5 hidden beyond 0");
    QTest::newRow("any flag but no is yes") << document(Frame, layer(QStringLiteral("visible=\"maybe\" linked=\"1\" "
                                                                                    "type=\"stroke\""),
                                                                     original(u'a')))
                                            << QStringLiteral("range 1-1 at 1/0 | 1 : Oa opacity 1 linked beyond 0 "
                                                              "#ff0000");
    QTest::newRow("beyond keywords") << document(Frame, layer(QStringLiteral("visible=\"yes\" beyond=\"showNothing\" "
                                                                             "type=\"stroke\""),
                                                              original(u'a'))
                                                            + layer(QStringLiteral("visible=\"yes\" beyond=\"cycleDrawings\" "
                                                                                   "type=\"stroke\""),
                                                                    original(u'b'))
                                                            + layer(QStringLiteral("visible=\"yes\" beyond=\"sideways\" "
                                                                                   "type=\"stroke\""),
                                                                    original(u'c')))
                                     << QStringLiteral("range 1-1 at 1/0 | 1 : Oa opacity 1 beyond 1 #ff0000 | "
                                                       "1 : Ob opacity 1 beyond 3 #ff0000 | 1 : Oc opacity 1 beyond 1 "
                                                       "#ff0000");
    for (const auto &[text, kept] : {std::pair{QStringLiteral("1.7"), QStringLiteral("1")},
                                     std::pair{QStringLiteral("-0.2"), QStringLiteral("1")},
                                     std::pair{QStringLiteral("x"), QStringLiteral("1")}}) {
        QTest::addRow("opacity %s", qPrintable(text))
            << document(Frame, strokeLayer(QStringLiteral("A"),
                                           QStringLiteral("<opacity>%1</opacity>").arg(text) + original(u'a')))
            << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity %1 beyond 0 #ff0000").arg(kept);
    }
    QTest::newRow("colour forms") << document(Frame, strokeLayer(QStringLiteral("A"), QStringLiteral("<color>navy</color>")
                                                                                          + original(u'a'))
                                                         + strokeLayer(QStringLiteral("B"),
                                                                       QStringLiteral("<color>#abc</color>") + original(u'b'))
                                                         + strokeLayer(QStringLiteral("C"),
                                                                       QStringLiteral("<color>ink</color>") + original(u'c')))
                                  << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #000080 | 1 B: Ob "
                                                    "opacity 1 beyond 0 #aabbcc | 1 C: Oc opacity 1 beyond 0 #ff0000");

    const QString eight = original(u'a') + Hold + Hold + Hold + Hold + Hold + Hold + Hold;
    QTest::newRow("range 3;;7") << document(Frame + QStringLiteral(" frameRange=\"3;;7\" activeFrameNumber=\"5\""),
                                            strokeLayer(QStringLiteral("A"), eight))
                                << QStringLiteral("range 3-7 at 5/0 | 1 A: Oa Ca Ca Ca Ca Ca Ca Ca opacity 1 beyond 0 "
                                                  "#ff0000");
    QTest::newRow("range of one number") << document(Frame + QStringLiteral(" frameRange=\"7\""),
                                                     strokeLayer(QStringLiteral("A"), eight))
                                         << QStringLiteral("range 1-8 at 1/0 | 1 A: Oa Ca Ca Ca Ca Ca Ca Ca opacity 1 "
                                                           "beyond 0 #ff0000");
    QTest::newRow("unreadable numbers") << document(Frame + QStringLiteral(" frameRange=\"2;x\" activeFrameNumber=\"abc\" "
                                                                           "activeLayerIndex=\"z\" fps=\"fast\" "
                                                                           "highestUsedLayerNumber=\"x\" "
                                                                           "totalNumberOfDrawings=\"many\""),
                                                    strokeLayer(QStringLiteral("A"), eight))
                                        << QStringLiteral("range 2-8 at 2/0 | 1 A: Oa Ca Ca Ca Ca Ca Ca Ca opacity 1 "
                                                          "beyond 0 #ff0000");
    // A scene saved without an active layer.
    QTest::newRow("no active layer") << document(Frame + QStringLiteral(" frameRange=\"1;2\" activeFrameNumber=\"-1\" "
                                                                        "activeLayerIndex=\"-1\""),
                                                 strokeLayer(QStringLiteral("A"), original(u'a') + Hold))
                                     << QStringLiteral("range 1-2 at 1/0 | 1 A: Oa Ca opacity 1 beyond 0 #ff0000");
    QTest::newRow("active layer beyond the list") << document(Frame + QStringLiteral(" activeLayerIndex=\"9\""),
                                                              strokeLayer(QStringLiteral("A"), original(u'a')))
                                                  << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #ff0000");

    QTest::newRow("a hold first is left empty") << document(Frame, strokeLayer(QStringLiteral("A"), Hold + original(u'a')
                                                                                                 + Hold + Hold))
                                                << QStringLiteral("range 1-4 at 1/0 | 1 A: O_ Oa Ca Ca opacity 1 beyond 0 "
                                                                  "#ff0000");
    QTest::newRow("cells without a kind are read as their content shows")
        << document(Frame, strokeLayer(QStringLiteral("A"), original(u'a') + QStringLiteral("<drawing/>")
                                                                + QStringLiteral("<drawing type=\"sketch\"/>")
                                                                + original(u'b')))
        << QStringLiteral("range 1-4 at 1/0 | 1 A: Oa Ca Ca Ob opacity 1 beyond 0 #ff0000");
    QTest::newRow("distant clone without its original is left empty")
        << document(Frame, strokeLayer(QStringLiteral("A"),
                                       original(u'a')
                                           + QStringLiteral("<drawing type=\"distantClone\"><original layer=\"%1\"/>"
                                                            "</drawing>")
                                                 .arg(identifier(1))
                                           + original(u'b')))
        << QStringLiteral("range 1-3 at 1/0 | 1 A: Oa O_ Ob opacity 1 beyond 0 #ff0000");
    // Keys with or without braces.
    QTest::newRow("distant clone of a later layer")
        << document(Frame, strokeLayer(QStringLiteral("A"), QStringLiteral("<drawing type=\"distantClone\" identifier=\"%1\">"
                                                                           "<original layer=\"%2\" drawing=\"%3\"/></drawing>")
                                                                .arg(identifier(7), identifier(u'B').mid(1, 36),
                                                                     identifier(u'b' + 1000)))
                               + strokeLayer(QStringLiteral("B"), original(u'b')))
        << QStringLiteral("range 1-1 at 1/0 | 1 A: Db opacity 1 beyond 0 #ff0000 | 1 B: Ob opacity 1 beyond 0 #ff0000");
    // Two layers given one identifier, each showing a drawing of the other:
    // the one listed first keeps it, and both links hold.
    QString bFirst = strokeLayer(QStringLiteral("B"), inkedOriginal(identifier(u'b' + 1000), u'b', listed(u'A', identifier(8)))
                                                          + distantClone(identifier(7), u'A', u'a'));
    QTest::newRow("one identifier for two layers, each showing the other's drawing")
        << document(Frame, bFirst.replace(identifier(u'B'), identifier(u'A'))
                               + strokeLayer(QStringLiteral("A"), inkedOriginal(identifier(u'a' + 1000), u'a',
                                                                                listed(u'B', identifier(7)))
                                                                      + distantClone(identifier(8), u'B', u'b')))
        << QStringLiteral("range 1-2 at 1/0 | 1 B: Ob Da opacity 1 beyond 0 #ff0000 | 1 A: Oa Db opacity 1 beyond 0 #ff0000");
    // A damaged list of distant clones must not turn another original into
    // one and take its drawing.
    QTest::newRow("an original listed as a distant clone stays an original")
        << document(Frame, strokeLayer(QStringLiteral("A"), original(u'a'))
                               + strokeLayer(QStringLiteral("B"),
                                             inkedOriginal(identifier(u'b' + 1000), u'b',
                                                           QStringLiteral("<clone layer=\"%1\" drawing=\"%2\"/>")
                                                               .arg(identifier(u'A'), identifier(u'a' + 1000)))))
        << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #ff0000 | 1 B: Ob opacity 1 beyond 0 #ff0000");
    QTest::newRow("layers of no kind are read as their content shows, paint layers left out")
        << document(Frame, QStringLiteral("<ordering>3;2;1;0</ordering>")
                               + layer(QStringLiteral("type=\"paint\""), original(u'x'))
                               + strokeLayer(QStringLiteral("A"), original(u'a'))
                               + layer(QStringLiteral("name=\"N\""), original(u'y'))
                               + layer(QStringLiteral("type=\"vector\""), original(u'z')))
        << QStringLiteral("range 1-1 at 1/2 | 1 A: Oa opacity 1 beyond 0 #ff0000 | 1 N: Oy opacity 1 hidden beyond 0 "
                          "#ff0000 | 1 : Oz opacity 1 hidden beyond 0 #ff0000");
    // Whatever the ordering, every layer stands in it once: each is drawn
    // and has its column on the sheet.
    QTest::newRow("ordering that names a layer beyond the list is ignored")
        << document(Frame, QStringLiteral("<ordering>1;2</ordering>") + strokeLayer(QStringLiteral("A"), original(u'a'))
                               + strokeLayer(QStringLiteral("B"), original(u'b')))
        << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #ff0000 | 1 B: Ob opacity 1 beyond 0 #ff0000");
    QTest::newRow("ordering that leaves a layer out is ignored")
        << document(Frame, QStringLiteral("<ordering>1</ordering>") + strokeLayer(QStringLiteral("A"), original(u'a'))
                               + strokeLayer(QStringLiteral("B"), original(u'b')))
        << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #ff0000 | 1 B: Ob opacity 1 beyond 0 #ff0000");
    QTest::newRow("ordering that names a layer twice is ignored")
        << document(Frame, QStringLiteral("<ordering>1;1</ordering>") + strokeLayer(QStringLiteral("A"), original(u'a'))
                               + strokeLayer(QStringLiteral("B"), original(u'b')))
        << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #ff0000 | 1 B: Ob opacity 1 beyond 0 #ff0000");
    QTest::newRow("scribble layer") << document(Frame, strokeLayer(QStringLiteral("A"), original(u'a'))
                                                           + layer(QStringLiteral("name=\"S\" type=\"scribble\""),
                                                                   QStringLiteral("<image>AAAAAAAAAAAAAAABCg==</image>"
                                                                                  "<image>%1</image>")
                                                                       .arg(encoded([] {
                                                                           QByteArray bytes;
                                                                           QDataStream out(&bytes, QIODevice::WriteOnly);
                                                                           out << RleImage(note(3));
                                                                           return bytes;
                                                                       }()))))
                                    << QStringLiteral("range 1-1 at 1/0 | 1 A: Oa opacity 1 beyond 0 #ff0000 | 5 S: -n");
    // Drawings pasted from a scene of another frame kept its size in files
    // of earlier versions: the frame the file gives stays.
    const auto madeFor = [](QSize frame, QChar letter) {
        StrokeDrawing drawing(frame);
        drawing.addStroke(CellTest::inkStroke(letter));
        return QStringLiteral("<drawing type=\"original\"><strokes>%1</strokes></drawing>").arg(strokesPayload(drawing));
    };
    QTest::newRow("a full-HD scene whose drawings are all 80x60")
        << document(QStringLiteral("frameWidth=\"1920\" frameHeight=\"1080\""),
                    strokeLayer(QStringLiteral("A"), madeFor(QSize(80, 60), u'a') + madeFor(QSize(80, 60), u'b')))
        << QStringLiteral("range 1-2 at 1/0 | 1 A: Oa Ob opacity 1 beyond 0 #ff0000");
    // Drawings pasted into a layer of the other kind keep their content.
    QTest::newRow("payload of the other kind") << document(Frame, layer(QStringLiteral("name=\"R\" visible=\"yes\" "
                                                                                       "type=\"reference\""),
                                                                        original(u'a'))
                                                                      + strokeLayer(QStringLiteral("A"),
                                                                                    QStringLiteral("<drawing type=\"original\">"
                                                                                                   "<image>%1</image></drawing>")
                                                                                        .arg(encoded([] {
                                                                                            QByteArray bytes;
                                                                                            QDataStream out(&bytes, QIODevice::WriteOnly);
                                                                                            out << picture();
                                                                                            return bytes;
                                                                                        }()))))
                                               << QStringLiteral("range 1-1 at 1/0 | 3 R: Oa opacity 0.5 beyond 0 | "
                                                                 "1 A: O[pic] opacity 1 beyond 0 #ff0000");
}

void TestSceneReader::tolerance()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, expected);
    Scene scene;
    const ReadOutcome read = readInto(scene, document);
    QCOMPARE(read.result, int(SceneFormat::Done));
    // Nothing failed: there is no error to tell.
    QCOMPARE(read.error, QString());
    QCOMPARE(summary(scene), expected);
    QCOMPARE(SceneTest::orderingFault(scene), QString());
    // Every frame given is one a scene can have: it is the scene's.
    static const QRegularExpression given(QStringLiteral("frameWidth=\"(\\d+)\" frameHeight=\"(\\d+)\""));
    const QRegularExpressionMatch frame = given.match(QString::fromUtf8(document));
    QCOMPARE(scene.frameSize(), QSize(frame.captured(1).toInt(), frame.captured(2).toInt()));
}

void TestSceneReader::refusedDocuments_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("error");

    Scene scene;
    buildEveryKind(scene);
    const QByteArray whole = written(scene);

    QTest::newRow("empty file") << QByteArray() << QStringLiteral("Premature end of document");
    QTest::newRow("not XML") << QByteArray("Dear diary,") << QStringLiteral("\nLine 1, column 1");
    QTest::newRow("other root") << QByteArray("<?xml version=\"1.0\"?><scene version=\"0.4\"/>")
                                << QStringLiteral("The file is not a KL version 0.4 file");
    QTest::newRow("version 0.3") << QByteArray("<?xml version=\"1.0\"?><kl version=\"0.3\"><scene/></kl>")
                                 << QStringLiteral("The file is not a KL version 0.4 file");
    QTest::newRow("cut short before its scene") << whole.left(whole.indexOf("<scene ") + 4)
                                                << QStringLiteral("Premature end of document");
    QTest::newRow("element inside a text")
        << document(Frame, strokeLayer(QStringLiteral("A"), QStringLiteral("<opacity>1<b/></opacity>")))
        << QStringLiteral("Expected character data");
}

void TestSceneReader::refusedDocuments()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, error);
    Scene scene;
    const ReadOutcome read = readInto(scene, document);
    QCOMPARE(read.result, int(SceneFormat::Failed));
    QVERIFY2(read.error.contains(error), qPrintable(read.error));
    QVERIFY2(read.error.contains(QStringLiteral("\nLine ")), qPrintable(read.error));
}

void TestSceneReader::documentWithoutSceneChangesNothing()
{
    Scene scene;
    const QSize size = scene.frameSize();
    const ReadOutcome read = readInto(scene, "<?xml version=\"1.0\"?><kl version=\"0.4\"><other/></kl>");
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(scene.layerCount(), 0);
    QCOMPARE(scene.frameSize(), size);
}

void TestSceneReader::damagedFiles_data()
{
    QTest::addColumn<Mutation>("damage");
    QTest::addColumn<QString>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<Spoils>("spoils");

    const QString drawing = QStringLiteral("its drawing is damaged");
    QTest::newRow("strokes cut short") << cutShort(QStringLiteral("strokes"), 1) << Ink << 3 << drawing << Spoils::Cell;
    // The size, then the root's member count.
    QTest::newRow("strokes with an absurd count")
        << overwrite<qint64>(QStringLiteral("strokes"), 1, 8, qint64(1) << 60) << Ink << 3 << drawing << Spoils::Cell;
    QTest::newRow("strokes of an absurd size") << overwrite<qint32>(QStringLiteral("strokes"), 2, 0, 100000) << Ink
                                               << 4 << QStringLiteral("claims a size of 100000x48 pixels") << Spoils::Cell;
    // No drawing the program makes is larger than the largest frame.
    QTest::newRow("strokes wider than any frame")
        << overwrite<qint32>(QStringLiteral("strokes"), 2, 0, 8193) << Ink << 4
        << QStringLiteral("claims a size of 8193x48 pixels, larger than any frame") << Spoils::Cell;
    QTest::newRow("strokes with stray characters")
        << strayCharacters(QStringLiteral("strokes"), 0) << Ink << 1
        << QStringLiteral("characters that do not belong there; they were skipped, and the data around them is whole")
        << Spoils::Nothing;
    QTest::newRow("strokes of no Base64") << replacedBy(QStringLiteral("strokes"), 4, QStringLiteral("!!!!"))
                                          << QStringLiteral("Rough") << 2 << QStringLiteral("empty or cut short") << Spoils::Cell;
    QTest::newRow("picture cut short") << cutShort(QStringLiteral("image"), 0) << QStringLiteral("Ref") << 1
                                       << QStringLiteral("its picture cannot be read") << Spoils::Cell;
    // The PNG's width and height, behind the null-image flag, the PNG
    // signature and the header's length and name.
    QTest::newRow("picture of an absurd size")
        << overwrite<quint64>(QStringLiteral("image"), 0, 20, Q_UINT64_C(0x0010000000100000)) << QStringLiteral("Ref")
        << 1 << QStringLiteral("its picture cannot be read") << Spoils::Cell;
    QTest::newRow("note cut short") << cutShort(QStringLiteral("image"), 3) << QStringLiteral("Notes") << 2
                                    << QStringLiteral("its note cannot be read") << Spoils::Cell;
    QTest::newRow("note of an absurd size")
        << overwrite<quint64>(QStringLiteral("image"), 3, 0, Q_UINT64_C(0x0001000000010000)) << QStringLiteral("Notes")
        << 2 << QStringLiteral("its note cannot be read") << Spoils::Cell;
    // The count of the code bytes.
    QTest::newRow("note with an absurd count") << overwrite<quint32>(QStringLiteral("image"), 6, 8, 0x7ffffff0)
                                               << QStringLiteral("Notes") << 5 << QStringLiteral("its note cannot be read") << Spoils::Cell;
    QTest::newRow("note with stray characters") << strayCharacters(QStringLiteral("image"), 6) << QStringLiteral("Notes")
                                                << 5 << QStringLiteral("characters that do not belong") << Spoils::Nothing;
    // Collapsed strokes whose pictures cannot be read: each goes without its
    // picture, and the user hears of it.
    const QString collapsed = QStringLiteral("some of its collapsed strokes cannot be read");
    QTest::newRow("collapsed picture that runs past its rows")
        << replacedBy(QStringLiteral("strokes"), 0,
                      collapsedRecord(QRect(4, 4, 4, 4), picture(2, 4, 4, QByteArray::fromHex("03090101010101010101010a"))))
        << Ink << 1 << collapsed << Spoils::Cell;
    QTest::newRow("collapsed picture of an unknown tag")
        << replacedBy(QStringLiteral("strokes"), 0, collapsedRecord(QRect(4, 4, 4, 4), picture(7, 0, 0, {}))) << Ink
        << 1 << collapsed << Spoils::Cell;
    QTest::newRow("collapsed picture finer than its rectangle")
        << replacedBy(QStringLiteral("strokes"), 0,
                      collapsedRecord(QRect(4, 4, 4, 4), picture(2, 40, 40, QByteArray::fromHex("0a"))))
        << Ink << 1 << collapsed << Spoils::Cell;
    // Not damage: drawings that claim the largest frame, each with 16
    // collapsed pictures as large, read at the scene's frame of 64x48. The
    // pictures claim 2 GiB and cost the bytes they come in.
    const QString claiming = encoded(HostileInput::drawingRecord({HostileInput::CapFrame, false, 16}));
    QTest::newRow("two drawings of 16 pictures of 8192x8192")
        << Mutation([claiming](const QByteArray &document) {
               const QString strokes = QStringLiteral("strokes");
               return replacedBy(strokes, 1, claiming)(replacedBy(strokes, 0, claiming)(document));
           })
        << Ink << 1 << QString() << Spoils::LaterCells;
    QTest::newRow("sound cut short in its header")
        << payload(QStringLiteral("originalAudioData"), 0, [](const QByteArray &bytes) { return encoded(bytes.left(20)); })
        << QStringLiteral("Sound") << 0 << QStringLiteral("its sound cannot be played") << Spoils::Cell;
    QTest::newRow("sound of no sound") << replacedBy(QStringLiteral("originalAudioData"), 0, encoded("not a sound"))
                                       << QStringLiteral("Sound") << 0 << QStringLiteral("its sound cannot be played") << Spoils::Cell;
    QTest::newRow("sound with stray characters") << strayCharacters(QStringLiteral("originalAudioData"), 0)
                                                 << QStringLiteral("Sound") << 0
                                                 << QStringLiteral("characters that do not belong") << Spoils::Nothing;
    QTest::newRow("strokes of a negative size")
        << overwrite<qint32>(QStringLiteral("strokes"), 2, 0, -5) << Ink << 4
        << QStringLiteral("its drawing claims a size of -5x48 pixels, and no side can be negative") << Spoils::Cell;
    // Strokes after a group whose transform no group has (not affine, so
    // far-reaching that a fit of the frame would take it beyond a float,
    // flattening everything) are not read: the bytes that follow it cannot
    // be trusted. The stroke before it stays.
    const QString damagedTransform = QStringLiteral("its drawing is damaged; the strokes before the damage were kept");
    QTest::newRow("stroke after a transform that is not affine")
        << replacedBy(QStringLiteral("strokes"), 0, afterDamagedTransform({1, 0, 0.5f, 0, 1, 0, 0, 0, 1})) << Ink << 1
        << damagedTransform << Spoils::Cell;
    QTest::newRow("stroke after a transform beyond any drawing")
        << replacedBy(QStringLiteral("strokes"), 0, afterDamagedTransform({3e38f, 0, 0, 0, 3e38f, 0, 0, 0, 1})) << Ink
        << 1 << damagedTransform << Spoils::Cell;
    QTest::newRow("stroke after a transform that flattens everything")
        << replacedBy(QStringLiteral("strokes"), 0, afterDamagedTransform({0, 0, 0, 0, 0, 0, 5, 5, 1})) << Ink << 1
        << damagedTransform << Spoils::Cell;

    // What the reader leaves out or puts right, the user hears of.
    const auto kindOf = [](const QString &kind) {
        return [kind](QString tag) { return tag.replace(QStringLiteral("type=\"original\""), kind); };
    };
    const QString spareLayer = QStringLiteral("name=\"Spare\" linked=\"no\" visible=\"yes\" type=\"stroke\"");
    QTest::newRow("layer of unknown kind in an intact ordering")
        << replacedText(spareLayer, QString(spareLayer).replace(QStringLiteral("stroke"), QStringLiteral("paint")))
        << QStringLiteral("Spare") << 0
        << QStringLiteral("it is of unknown kind \"paint\", so it was left out with all it holds") << Spoils::Layer;
    QTest::newRow("layer without a kind")
        << replacedText(spareLayer, QString(spareLayer).remove(QStringLiteral(" type=\"stroke\"")))
        << QStringLiteral("Spare") << 0 << QStringLiteral("its kind is missing, so it is a drawing layer")
        << Spoils::Nothing;
    // Its distant clones and the one it holds stay linked.
    QTest::newRow("layer of a garbled kind")
        << replacedText(QStringLiteral("\"cycleDrawings\" type=\"stroke\""), QStringLiteral("\"cycleDrawings\" type=\"strke\""))
        << QStringLiteral("Rough") << 0
        << QStringLiteral("its kind \"strke\" cannot be read, so it is a drawing layer, as its content shows")
        << Spoils::Nothing;
    QTest::newRow("ordering naming a layer twice")
        << replacedText(QStringLiteral("<ordering>3;1;0;2;5;4<"), QStringLiteral("<ordering>3;1;0;2;5;5<"))
        << QString() << 0
        << QStringLiteral("the order of the layers is damaged, so they stand in the order in which the file lists them")
        << Spoils::Order;
    QTest::newRow("ordering missing") << replacedText(QStringLiteral("<ordering>3;1;0;2;5;4</ordering>"), QString())
                                      << QString() << 0 << QStringLiteral("the order of the layers is missing")
                                      << Spoils::Order;
    const Mutation noHeight = replacedText(QStringLiteral(" frameHeight=\"48\""), QString());
    QTest::newRow("frame height missing")
        << noHeight << QString() << 0
        << QStringLiteral("the frame height is missing, so the frame is 64x48 pixels, the size of the scene's drawings")
        << Spoils::Nothing;
    // Two of the seven drawings claim 64x60; fitted to 64x48 they look the same.
    QTest::newRow("frame height missing, drawings of mixed sizes")
        << Mutation([noHeight](const QByteArray &document) {
               const QString strokes = QStringLiteral("strokes");
               return overwrite<qint32>(strokes, 5, 4, 60)(overwrite<qint32>(strokes, 4, 4, 60)(noHeight(document)));
           })
        << QString() << 0 << QStringLiteral("so the frame is 64x48 pixels, the size most of the scene's drawings have")
        << Spoils::Nothing;
    // Three of the seven claim 64x40, one 64x44: of two sizes as common, the
    // larger shows all.
    QTest::newRow("frame height missing, no size most drawings have") << Mutation([noHeight](QByteArray document) {
        for (int n : {3, 4, 5, 6})
            document = overwrite<qint32>(QStringLiteral("strokes"), n, 4, n < 6 ? 40 : 44)(document);
        return noHeight(document);
    }) << QString() << 0 << QStringLiteral("the frame is 64x48 pixels, the size 3 of the scene's 7 drawings have")
       << Spoils::Nothing;
    // One drawing of 64x60 has ink at rows 52-57, below the frame of most.
    StrokeDrawing tall(QSize(64, 60));
    tall.addStroke(TestSupport::bitmapStroke(QRect(8, 52, 8, 6), 255));
    QTest::newRow("frame height missing, ink below the frame most drawings have")
        << Mutation([noHeight, ink = strokesPayload(tall)](const QByteArray &document) {
               return replacedBy(QStringLiteral("strokes"), 0, ink)(noHeight(document));
           })
        << Ink << 1
        << QStringLiteral("its drawing was made for a frame of 64x60 pixels, and its ink beyond the 64x48 frame does "
                          "not show")
        << Spoils::CellBesideARepair;
    // Drawings claiming 4000x4000 whose strokes reach all of it, ink where
    // it was: beyond the 64x48 frame lie 15,996,928 pixels, within the
    // budget for measuring once, the corner counted once, but not twice.
    const QSize big(4000, 4000);
    QTest::newRow("frame height missing, one drawing claiming a large frame with no ink beyond")
        << Mutation([=](const QByteArray &document) { return claimingLarger(0, big)(noHeight(document)); })
        << QString() << 0
        << QStringLiteral("so the frame is 64x48 pixels, the size most of the scene's drawings have") << Spoils::Nothing;
    QTest::newRow("frame height missing, two drawings claiming a large frame with no ink beyond")
        << Mutation([=](const QByteArray &document) {
               return claimingLarger(1, big)(claimingLarger(0, big)(noHeight(document)));
           })
        << Ink << 3
        << QStringLiteral("its drawing was made for a frame of 4000x4000 pixels; whether it has ink beyond the "
                          "64x48 frame was not measured")
        << Spoils::Nothing;
    // Ink of "e" at columns 30-33, in a drawing claiming 24x24.
    QTest::newRow("strokes beyond the size their drawing claims")
        << Mutation([](const QByteArray &document) {
               const QString strokes = QStringLiteral("strokes");
               return overwrite<qint32>(strokes, 4, 4, 24)(overwrite<qint32>(strokes, 4, 0, 24)(document));
           })
        << QStringLiteral("Rough") << 2
        << QStringLiteral("its drawing claims a size of 24x24 pixels, and its ink beyond it shows in the 64x48 frame")
        << Spoils::Nothing;

    // Values that cannot be read are named with the values used instead,
    // which keep the scene as a missing value would: a new layer's opacity
    // shows it.
    QTest::newRow("opacity half") << replacedText(QStringLiteral("<opacity>1<"), QStringLiteral("<opacity>half<"))
                                  << Ink << 0 << QStringLiteral("its opacity \"half\" cannot be read, so it is 1")
                                  << Spoils::Nothing;
    QTest::newRow("opacity 0,5") << replacedText(QStringLiteral("<opacity>0.5<"), QStringLiteral("<opacity>0,5<"))
                                 << QStringLiteral("Ref") << 0
                                 << QStringLiteral("its opacity \"0,5\" cannot be read, so it is 0.5") << Spoils::Nothing;
    QTest::newRow("frame rate 2S") << replacedText(QStringLiteral("fps=\"23.976\""), QStringLiteral("fps=\"2S\""))
                                   << QString() << 0
                                   << QStringLiteral("the frame rate \"2S\" cannot be read, so it is %1 frames per second")
                                          .arg(SceneFormat::sixDigits(Scene().frameRate()))
                                   << Spoils::Nothing;
    QTest::newRow("frame range 1;x") << replacedText(QStringLiteral("frameRange=\"2;5\""),
                                                     QStringLiteral("frameRange=\"1;x\""))
                                     << QString() << 0
                                     << QStringLiteral("the frame range \"1;x\" cannot be read, so it is 1-6")
                                     << Spoils::Nothing;
    QTest::newRow("colour #zz#800000") << Mutation([](const QByteArray &document) {
        QString text = QString::fromUtf8(document);
        const qsizetype at = text.indexOf(QStringLiteral("<color>"), text.indexOf(QStringLiteral("name=\"Spare\""))) + 7;
        return text.replace(at, text.indexOf(u'<', at) - at, QStringLiteral("#zz#800000")).toUtf8();
    }) << QStringLiteral("Spare") << 0 << QStringLiteral("its colour \"#zz#800000\" cannot be read, so it is #ff0000")
       << Spoils::CellBesideARepair;
    // No drawing has the width given: every one claims 70x48.
    QTest::newRow("frame width given, height missing") << Mutation([noHeight](QByteArray document) {
        for (int n = 0; n < 7; ++n)
            document = overwrite<qint32>(QStringLiteral("strokes"), n, 0, 70)(document);
        return noHeight(document);
    }) << QString() << 0
       << QStringLiteral("the frame height is missing, so the frame is 64x48 pixels: the width given, and the "
                         "height of the drawings")
       << Spoils::Nothing;
    // Whatever frame the drawings claim, the file's own is kept: one of
    // 8192x8192 would cost gigabytes.
    QTest::newRow("every drawing claiming 8192x8192") << Mutation([](QByteArray document) {
        for (int n = 0; n < 7; ++n) {
            for (int offset : {0, 4})
                document = overwrite<qint32>(QStringLiteral("strokes"), n, offset, HostileInput::CapSide)(document);
        }
        return document;
    }) << QString() << 0
       << QStringLiteral("the frame of 64x48 pixels is that of none of the scene's drawings, which were made for "
                         "8192x8192 pixels; the frame is kept as the file gives it")
       << Spoils::Nothing;
    QTest::newRow("a shift off the pegs beyond any frame")
        << replacedText(QStringLiteral("xOffset=\"12.5\""), QStringLiteral("xOffset=\"1e30\"")) << Ink << 4
        << QStringLiteral("its shift off the pegs across \"1e30\" is not possible, so it is 0")
        << Spoils::CellBesideARepair;
    QTest::newRow("frame width garbled") << replacedText(QStringLiteral("frameWidth=\"64\""),
                                                         QStringLiteral("frameWidth=\"8O\""))
                                         << QString() << 0
                                         << QStringLiteral("the frame width \"8O\" cannot be read, so the frame is "
                                                           "64x48 pixels, the size of the scene's drawings")
                                         << Spoils::Nothing;

    // Nothing the file holds is lost unnamed. Its layers in two lists,
    // each ordered: together they stand as they stood.
    QTest::newRow("two lists of layers") << Mutation([](const QByteArray &document) {
        QString text = QString::fromUtf8(document).replace(QStringLiteral("<ordering>3;1;0;2;5;4<"),
                                                           QStringLiteral("<ordering>3;1;0;2<"));
        return text.insert(text.indexOf(QStringLiteral("<layer "), text.indexOf(QStringLiteral("name=\"Notes\""))),
                           QStringLiteral("</layers><layers><ordering>1;0</ordering>"))
            .toUtf8();
    }) << QString() << 0
       << QStringLiteral("the file lists its layers in 2 separate lists; the layers of all of them were read")
       << Spoils::Nothing;
    // Every byte after an extra character is shifted.
    QTest::newRow("sound with an extra character")
        << textEdited(QStringLiteral("originalAudioData"), 0, QString(), QStringLiteral("A")) << QStringLiteral("Sound")
        << 0 << QStringLiteral("its data has characters missing or too many") << Spoils::Cell;
    // Whole groups added or lost leave no stray, yet shift the samples after
    // them; the sound states how long it is.
    const QString outOfStep = QStringLiteral("its sound is damaged: The sound's samples fall out of step");
    QTest::newRow("sound with four characters added")
        << textEdited(QStringLiteral("originalAudioData"), 0, QString(), QStringLiteral("AAAA")) << QStringLiteral("Sound")
        << 0 << outOfStep << Spoils::Cell;
    QTest::newRow("sound written while streaming, with four characters added")
        << Mutation([](const QByteArray &document) {
               const QByteArray streamed = AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 0.5, 440), 0);
               return textEdited(QStringLiteral("originalAudioData"), 0, QString(), QStringLiteral("AAAA"))(
                   replacedBy(QStringLiteral("originalAudioData"), 0, encoded(streamed))(document));
           })
        << QStringLiteral("Sound") << 0 << outOfStep << Spoils::Cell;
    // A tag some writers append after the sound's own length is no damage.
    QTest::newRow("sound with a chunk of its own after its stated length")
        << payload(QStringLiteral("originalAudioData"), 0,
                   [](const QByteArray &bytes) { return encoded(bytes + QByteArray("id3 \4\0\0\0tags", 12)); })
        << QStringLiteral("Sound") << 0 << QString() << Spoils::Nothing;
    QTest::newRow("sound with four characters removed")
        << textEdited(QStringLiteral("originalAudioData"), 0, QStringLiteral("xxxx"), QString()) << QStringLiteral("Sound")
        << 0 << outOfStep << Spoils::Cell;
    // Sounds as writers leave them, which the import takes without a word,
    // reopen without a word; sounds cut short are told of on reopening as
    // the import tells of them, and of nothing more.
    const QByteArray wav = sound();
    QByteArray longFormat = wav;
    longFormat.insert(36, QByteArray(2, '\0'));
    qToLittleEndian<quint32>(18, longFormat.data() + 16);
    QByteArray sizedAsTheFile = wav;
    qToLittleEndian<quint32>(quint32(wav.size()), sizedAsTheFile.data() + 4);
    // A tone that turns into a square wave driven to full scale: rough at
    // its own alignment and smooth at another, as bytes out of step are not.
    QList<qint16> clipped = AudioTestFiles::tone(8000, 1, 0.25, 440);
    for (int i = 0; i < 2000; ++i)
        clipped.append(i / 4 % 2 ? 32767 : -32768);
    // Each with whether the import takes it without a word.
    const QList<std::tuple<const char *, QByteArray, bool>> forms{
        {"then clipped", AudioTestFiles::wavFile(8000, 1, 16, clipped), true},
        {"of a tone, a clipped burst and a tone, as WAV",
         AudioTestFiles::wavFile(44100, 2, 16, AudioTestFiles::toneClippedBurstTone(44100, 2)), true},
        {"of a tone, a clipped burst and a tone, as AIFF",
         AudioTestFiles::aiffFile(2, AudioTestFiles::toneClippedBurstTone(44100, 2)), true},
        {"then a zero byte", wav + QByteArray(1, '\0'), true},
        {"then 512 zero bytes", wav + QByteArray(512, '\0'), true},
        {"then 4,096 zero bytes", wav + QByteArray(4096, '\0'), true},
        {"then a newline", wav + "\n", true},
        {"then CRLF", wav + "\r\n", true},
        {"then Ctrl-Z", wav + "\x1a", true},
        {"then an ID3v1 tag", wav + "TAG" + QByteArray(125, 'x'), true},
        {"of an 18-byte format, sized 36 + its data", longFormat, true},
        {"sized as the file", sizedAsTheFile, true},
        {"counting a pad byte it lacks",
         AudioTestFiles::wavFile(8000, 1, 8, AudioTestFiles::tone(8000, 1, 0.1001, 440)).chopped(1), true},
        {"cut in half", wav.left(wav.size() / 2), false},
        {"cut inside a sample", wav.left(wav.size() / 2 + 1), false},
        {"three bytes short", wav.chopped(3), false}};
    for (const auto &[name, form, quiet] : forms) {
        AudioLayer imported;
        imported.setOriginalAudioData(form);
        const QString told = imported.warningString();
        QTest::addRow("sound %s", name) << replacedBy(QStringLiteral("originalAudioData"), 0, encoded(form))
                                        << QStringLiteral("Sound") << 0
                                        << (quiet ? QString() : QStringLiteral("Layer \"Sound\": its sound is damaged: ") + told)
                                        << Spoils::Cell;
    }
    // Stray characters in place of data: the groups of four stay whole, the
    // data does not.
    const QString replaced = QStringLiteral("its data holds characters that do not belong there, and some of its "
                                            "own are missing");
    QTest::newRow("sound with four characters replaced by strays")
        << textEdited(QStringLiteral("originalAudioData"), 0, QStringLiteral("xxxx"), QStringLiteral("####"))
        << QStringLiteral("Sound") << 0 << replaced << Spoils::Cell;
    QTest::newRow("strokes with four characters replaced by strays")
        << textEdited(QStringLiteral("strokes"), 0, QStringLiteral("xxxx"), QStringLiteral("####")) << Ink << 1
        << replaced << Spoils::Cell;
    QTest::newRow("strokes with a character replaced by = beside a stray")
        << textEdited(QStringLiteral("strokes"), 0, QStringLiteral("x"), QStringLiteral("=*")) << Ink << 1 << replaced
        << Spoils::Cell;
    // A cell given the next drawing's payload besides its own.
    QTest::newRow("two drawings in one cell") << Mutation([](const QByteArray &document) {
        const QString strokes = QStringLiteral("strokes");
        return QString::fromUtf8(document)
            .insert(element(document, strokes, 0).capturedEnd(), element(document, strokes, 1).captured())
            .toUtf8();
    }) << Ink << 1 << QStringLiteral("it holds more than one drawing; only the first was read") << Spoils::Cell;
    // A second scene, of another frame.
    QTest::newRow("two scenes") << Mutation([](const QByteArray &document) {
        return QByteArray(document).replace("</scene>", "</scene><scene frameWidth=\"32\" frameHeight=\"48\"/>");
    }) << QString() << 0 << QStringLiteral("the scene is given more than once; only the first was read")
       << Spoils::Cell;
    // An empty sound element gives the layer no sound: the one after it is
    // the layer's.
    QTest::newRow("empty sound before the layer's own")
        << replacedText(QStringLiteral("<originalAudioData>"),
                        QStringLiteral("<originalAudioData/><originalAudioData>"))
        << QStringLiteral("Sound") << 0 << QString() << Spoils::Nothing;
    // A sound layer given another sound after its own.
    QTest::newRow("two sounds in one layer") << Mutation([](const QByteArray &document) {
        const QString other = QStringLiteral("<originalAudioData>%1</originalAudioData>")
                                  .arg(encoded(AudioTestFiles::wavFile(8000, 1, 16, AudioTestFiles::tone(8000, 1, 0.2, 880))));
        return QString::fromUtf8(document)
            .insert(element(document, QStringLiteral("originalAudioData"), 0).capturedEnd(), other)
            .toUtf8();
    }) << QStringLiteral("Sound") << 0 << QStringLiteral("it holds more than one sound; only the first was read")
       << Spoils::Cell;
    // Every cell keeps its frame, read as its content shows.
    const QString anOriginal = QStringLiteral("so it is an original drawing, as its content shows");
    QTest::newRow("cell of unknown kind")
        << cellTag(QStringLiteral("Ref"), 3, kindOf(QStringLiteral("type=\"sketch\""))) << QStringLiteral("Ref") << 3
        << QStringLiteral("its kind \"sketch\" cannot be read, ") + anOriginal << Spoils::Nothing;
    QTest::newRow("drawing of unknown kind, held after it")
        << cellTag(QStringLiteral("Rough"), 2, kindOf(QStringLiteral("type=\"sketch\""))) << QStringLiteral("Rough") << 2
        << QStringLiteral("its kind \"sketch\" cannot be read, ") + anOriginal << Spoils::Nothing;
    QTest::newRow("cell without a kind") << cellTag(QStringLiteral("Ref"), 3, kindOf(QString())) << QStringLiteral("Ref")
                                         << 3 << QStringLiteral("its kind is missing, ") + anOriginal << Spoils::Nothing;
    QTest::newRow("hold first") << cellTag(QStringLiteral("Ref"), 1, kindOf(QStringLiteral("type=\"clone\"")))
                                << QStringLiteral("Ref") << 1
                                << QStringLiteral("it holds the cell before it, and there is none, ") + anOriginal
                                << Spoils::Nothing;
    QTest::newRow("Ink 5 a distant clone of Rough 4, itself one of Ink 1") << Mutation([](const QByteArray &document) {
        const QRegularExpression clone(QStringLiteral("identifier=\"([^\"]+)\">\\s*<original [^>]*drawing=\"([^\"]+)"));
        QString text = QString::fromUtf8(document);
        const QRegularExpressionMatch ink5 = clone.match(text), rough4 = clone.match(text, ink5.capturedEnd());
        return text.replace(ink5.capturedStart(2), ink5.capturedLength(2), rough4.captured(1)).toUtf8();
    }) << Ink << 5 << QStringLiteral("from its original in layer \"%1\", frame 1").arg(Ink) << Spoils::Nothing;
    // Links the program never makes: each cell is left blank.
    const QString otherKind = QStringLiteral("it was linked to frame 1 of layer \"%1\", a layer of another kind, so "
                                             "it was left blank");
    QTest::newRow("Rough 2 a distant clone of the picture of Ref 1")
        << linkedToFirstOf(QStringLiteral("Rough"), 2, QStringLiteral("Ref")) << QStringLiteral("Rough") << 2
        << otherKind.arg(QStringLiteral("Ref")) << Spoils::Cell;
    QTest::newRow("Ref 3 a distant clone of the drawing of Rough 1")
        << linkedToFirstOf(QStringLiteral("Ref"), 3, QStringLiteral("Rough")) << QStringLiteral("Ref") << 3
        << otherKind.arg(QStringLiteral("Rough")) << Spoils::Cell;
    QTest::newRow("last cell of unknown kind")
        << cellTag(QStringLiteral("Ref"), 4, kindOf(QStringLiteral("type=\"sketch\""))) << QStringLiteral("Ref") << 4
        << QStringLiteral("its kind \"sketch\" cannot be read, ") + anOriginal << Spoils::Nothing;
    // A file cut short keeps all it holds before the cut.
    const QString allRead = QStringLiteral("the file ends early, but all its layers and cells were read");
    QTest::newRow("cut before its closing tags")
        << Mutation([](const QByteArray &document) { return document.left(document.lastIndexOf("</layers>")); })
        << QString() << 0 << allRead << Spoils::Nothing;
    QTest::newRow("its end overwritten with zero bytes") << Mutation([](QByteArray document) {
        const qsizetype end = document.lastIndexOf("</layers>");
        return document.replace(end, document.size() - end, QByteArray(document.size() - end, '\0'));
    }) << QString() << 0 << allRead << Spoils::Nothing;
    QTest::newRow("cut inside its last layer") << Mutation([](const QByteArray &document) {
        return document.left(document.indexOf("<strokes>", document.indexOf("name=\"Spare\"")) + 20);
    }) << QStringLiteral("Spare") << 1 << QStringLiteral("the file ends early; the rest of this cell could not be read")
       << Spoils::Cell;
}

void TestSceneReader::damagedFiles()
{
    QFETCH(Mutation, damage);
    QFETCH(QString, layer);
    QFETCH(int, frame);
    QFETCH(QString, problem);
    QFETCH(Spoils, spoils);

    Scene original;
    buildEveryKind(original);
    const QByteArray damaged = damage(written(original));
    QVERIFY(!damaged.isEmpty());

    Scene scene;
    const ReadOutcome read = readInto(scene, damaged);
    QCOMPARE(read.result, int(SceneFormat::Done));
    // A problem that ends in a full stop ends there, as the report ends it;
    // one given as the whole report is all it says.
    const bool reported = problem.startsWith(u"Layer \"")
        ? read.report == problem
        : std::any_of(read.damage.cbegin(), read.damage.cend(), [&](const SceneReader::Damage &entry) {
              return entry.layer == layer && entry.frame == frame && (entry.problem + u'.').contains(problem);
          });
    QVERIFY2(problem.isEmpty() ? read.damage.isEmpty() : reported, qPrintable(read.report));
    // As the window shows it, by layer and frame.
    QVERIFY2(problem.isEmpty() || (read.report.contains(layer) && read.report.contains(problem, Qt::CaseInsensitive)),
             qPrintable(read.report));
    // Headed by what is true of every note: left out, made good, or both.
    const QString leftOut = QStringLiteral("Parts of f.kl could not be read and were left out:");
    const QString madeGood = QStringLiteral("Parts of f.kl were missing or damaged; nothing was left out:");
    const bool nothingLost =
        spoils == Spoils::Order || spoils == Spoils::Nothing || spoils == Spoils::CellBesideARepair;
    const QString heading = nothingLost ? madeGood : leftOut;
    if (!problem.isEmpty())
        QCOMPARE(SceneReader::damageHeading(read.damage, QStringLiteral("f.kl")), heading);

    // Everything else is as it was, and the damaged cell keeps its place:
    // only the cells that show its drawing (its holds, its distant clones)
    // may look otherwise, and what the row says it spoils.
    QCOMPARE(scene.layerCount(), original.layerCount() - (spoils == Spoils::Layer ? 1 : 0));
    // The layers stand as they stood, one left out simply missing.
    QStringList stack;
    for (int index : original.layerOrdering()) {
        if (spoils != Spoils::Layer || original.layerName(index) != layer)
            stack.append(original.layerName(index));
    }
    for (int position = 0; spoils != Spoils::Order && position < scene.layerCount(); ++position)
        QCOMPARE(scene.layerName(scene.layerOrdering().at(position)), stack.at(position));
    QSet<QString> spoilt{QStringLiteral("%1/%2").arg(layer).arg(frame)};
    for (int i = 0; i < original.layerCount(); ++i) {
        if (original.layerName(i) != layer || !original.isVisualLayer(i) || frame < 1)
            continue;
        const std::shared_ptr<Drawing> damagedDrawing = original.itemAt(i, frame)->drawing();
        for (int other = 0; other < original.layerCount(); ++other) {
            for (int f = 1; original.isVisualLayer(other) && f <= original.layerFrameCount(other); ++f) {
                if (original.itemAt(other, f)->drawing() == damagedDrawing)
                    spoilt.insert(QStringLiteral("%1/%2").arg(original.layerName(other)).arg(f));
            }
        }
    }
    const auto isSpoilt = [&](const QString &key) {
        const QString keyLayer = key.section(u'/', 0, -2);
        const int keyFrame = key.section(u'/', -1).toInt();
        return spoilt.contains(key)
            || (keyLayer == layer
                && (spoils == Spoils::Layer || (spoils == Spoils::LaterCells && keyFrame >= frame)));
    };
    // The report names no cell but those the damage reached.
    for (const SceneReader::Damage &entry : read.damage) {
        if (entry.frame > 0)
            QVERIFY2(isSpoilt(QStringLiteral("%1/%2").arg(entry.layer).arg(entry.frame)), qPrintable(read.report));
    }
    const QMap<QString, QByteArray> expected = contents(original);
    const QMap<QString, QByteArray> actual = contents(scene);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!isSpoilt(it.key()))
            QVERIFY2(actual.contains(it.key()) && actual.value(it.key()) == it.value(), qPrintable(it.key()));
    }
    for (const QString &key : actual.keys())
        QVERIFY2(expected.contains(key), qPrintable(key));

    // Saved, what was read holds nothing that a careful reader elsewhere
    // would refuse.
    const QByteArray saved = written(scene);
    for (int n = 0; element(saved, QStringLiteral("strokes"), n).hasMatch(); ++n) {
        const QByteArray record = QByteArray::fromBase64(element(saved, QStringLiteral("strokes"), n).captured(1).toLatin1());
        QCOMPARE(StrictRecord::drawingFault(record), QString());
    }
}

// Every attribute and element of a program-written scene, garbled, made
// impossible (a number -1, an identifier given before, a list turned round),
// doubled (the copy giving other values) or removed: the scene read is the
// intact one, or the one the damaged file gives, or the report (empty for
// the intact file) tells of the damage; and saved, it opens as saved,
// without a word. Payloads keep their text: their damage has rows above.
void TestSceneReader::everyValueNamedOrKept_data()
{
    QTest::addColumn<QByteArray>("intact");
    QTest::addColumn<QByteArray>("damaged");

    Scene scene;
    buildEveryKind(scene);
    const QByteArray intact = written(scene);
    const QString whole = QString::fromUtf8(intact);
    const auto add = [&](const QString &place, const char *damage, qsizetype at, qsizetype length,
                         const QString &text) {
        const QString damaged = QString(whole).replace(at, length, text);
        if (damaged != whole)
            QTest::addRow("%s %s", qPrintable(place), damage) << intact << damaged.toUtf8();
    };
    const auto turnedRound = [](const QString &list) {
        QStringList parts = list.split(u';');
        std::reverse(parts.begin(), parts.end());
        return parts.join(u';');
    };
    QHash<QString, QString> firstValues;
    const auto values = [&](const QString &place, const QString &name, qsizetype at, const QString &value) {
        static const QRegularExpression list(QStringLiteral("^\\d+(;\\d+)+$"));
        add(place, "garbled", at, 0, QStringLiteral("x"));
        add(place, "emptied", at, value.size(), QString());
        bool number = false;
        value.toDouble(&number);
        add(place, "impossible", at, value.size(),
            value.startsWith(u'{') ? firstValues.value(name, value)
                : number           ? QStringLiteral("-1")
                                   : (list.match(value).hasMatch() ? turnedRound(value) : value));
        firstValues.insert(name, firstValues.value(name, value));
    };
    // A copy that gives other values: its lists of numbers turned round, its
    // other digits made 1, its payloads whole.
    const auto otherValues = [&](QString copy) {
        static const QRegularExpression given(
            QStringLiteral("<(strokes|image|originalAudioData)>[^<]*|\\d+(;\\d+)+|\\d"));
        for (auto it = given.globalMatch(QString(copy)); it.hasNext();) {
            const QRegularExpressionMatch value = it.next();
            if (value.capturedLength(1) == 0)
                copy.replace(value.capturedStart(), value.capturedLength(),
                             value.capturedLength() == 1 ? QStringLiteral("1") : turnedRound(value.captured()));
        }
        return copy;
    };
    static const QRegularExpression tags(QStringLiteral("<(/?)(\\w+)([^>]*?)/?>"));
    static const QRegularExpression attributes(QStringLiteral(" (\\w+)=\"([^\"]*)\""));
    static const QRegularExpression payload(QStringLiteral("^(strokes|image|originalAudioData)$"));
    // The elements open, each from the line it stands on.
    struct Open
    {
        qsizetype from;
        QString name;
        QString place;
    };
    QList<Open> open;
    QString layer;
    int layers = 0;
    int frame = 0;
    const QString markup = whole.left(whole.lastIndexOf(QStringLiteral("</kl>")));
    for (auto it = tags.globalMatch(markup, whole.indexOf(QStringLiteral("<scene"))); it.hasNext();) {
        const QRegularExpressionMatch tag = it.next();
        if (tag.capturedLength(1) == 0) {
            const QString name = tag.captured(2);
            if (name == u"layer") {
                layer = scene.layerName(layers++);
                frame = 0;
            }
            if (name == u"drawing" || (name == u"image" && open.constLast().name == u"layer"))
                ++frame;
            const QString place = QStringLiteral("%1/%2 <%3>").arg(layer).arg(frame).arg(name);
            for (auto attribute = attributes.globalMatch(tag.captured(3)); attribute.hasNext();) {
                const QRegularExpressionMatch given = attribute.next();
                const QString key = place + u' ' + given.captured(1);
                values(key, name + given.captured(1), tag.capturedStart(3) + given.capturedStart(2), given.captured(2));
                add(key, "removed", tag.capturedStart(3) + given.capturedStart(), given.capturedLength(), QString());
            }
            open.append({whole.lastIndexOf(u'>', tag.capturedStart()) + 1, name, place});
            if (!tag.captured().endsWith(u"/>"))
                continue;
        } else if (!payload.match(open.constLast().name).hasMatch()) {
            const qsizetype text = whole.indexOf(u'>', open.constLast().from) + 1;
            if (text < tag.capturedStart() && whole.indexOf(u'<', text) == tag.capturedStart())
                values(open.constLast().place, open.constLast().name, text,
                       whole.mid(text, tag.capturedStart() - text));
        }
        const Open element = open.takeLast();
        const qsizetype end = tag.capturedEnd();
        add(element.place, "doubled", end, 0, otherValues(whole.mid(element.from, end - element.from)));
        add(element.place, "removed", element.from, end - element.from, QString());
    }
}

void TestSceneReader::everyValueNamedOrKept()
{
    QFETCH(QByteArray, intact);
    QFETCH(QByteArray, damaged);

    Scene scene;
    const ReadOutcome read = readInto(scene, damaged);
    QCOMPARE(read.result, int(SceneFormat::Done));
    const QByteArray saved = written(scene);
    QVERIFY(saved == intact || saved == damaged || !read.damage.isEmpty());
    // What was read, once saved, opens as it was saved, without a word.
    Scene reopened;
    QCOMPARE(readInto(reopened, saved).report, QString());
    QCOMPARE(written(reopened), saved);
}

// Both ends of a link between an original and its distant clones: each
// original lists each of them once, however the file lists them, after
// reading, after saving again, and once the original has gone and its first
// distant clone has taken its place.
void TestSceneReader::distantCloneLinks_data()
{
    QTest::addColumn<QString>("layers");
    QTest::addColumn<int>("clones");

    const QString first = identifier(7);
    const QString second = identifier(8);
    const auto a = [](const QString &lists) { return inkedOriginal(identifier(u'a' + 1000), u'a', lists); };
    QTest::newRow("listed") << strokeLayer(QStringLiteral("A"), a(listed(u'B', first)))
            + strokeLayer(QStringLiteral("B"), distantClone(first, u'A', u'a'))
                            << 1;
    QTest::newRow("not listed, in a later layer")
        << strokeLayer(QStringLiteral("A"), a({})) + strokeLayer(QStringLiteral("B"), distantClone(first, u'A', u'a')) << 1;
    QTest::newRow("not listed, in an earlier layer")
        << strokeLayer(QStringLiteral("B"), distantClone(first, u'A', u'a')) + strokeLayer(QStringLiteral("A"), a({})) << 1;
    QTest::newRow("listed twice") << strokeLayer(QStringLiteral("A"), a(listed(u'B', first) + listed(u'B', first)))
            + strokeLayer(QStringLiteral("B"), distantClone(first, u'A', u'a'))
                                  << 1;
    QTest::newRow("one of two listed")
        << strokeLayer(QStringLiteral("A"), a(listed(u'C', second)))
            + strokeLayer(QStringLiteral("B"), distantClone(first, u'A', u'a'))
            + strokeLayer(QStringLiteral("C"), distantClone(second, u'A', u'a'))
        << 2;
}

void TestSceneReader::distantCloneLinks()
{
    QFETCH(QString, layers);
    QFETCH(int, clones);

    Scene scene;
    const ReadOutcome read = readInto(scene, document(Whole, inOrder(layers)));
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(read.report, QString());
    QCOMPARE(CellTest::linkFault(scene), QString());

    // Saved again: one element per link, read back as it was written.
    const QByteArray saved = written(scene);
    QCOMPARE(int(saved.count("<clone ")), clones);
    Scene again;
    QCOMPARE(readInto(again, saved).report, QString());
    QCOMPARE(CellTest::linkFault(again), QString());
    QCOMPARE(written(again), saved);

    const int original = layerNamed(scene, QStringLiteral("A"));
    QVERIFY(!scene.removeDrawing(original, 1).isEmpty());
    QCOMPARE(CellTest::linkFault(scene), QString());
}

// A note of any size takes a few bytes of file: the notes of a file
// together may not ask for more than a sheet's worth of memory. Four of the
// largest notes fit; the fifth is refused and reported.
void TestSceneReader::notesTogetherHaveABound()
{
    QImage blank(SceneFormat::MaximumFrameSide, SceneFormat::MaximumFrameSide, QImage::Format_Alpha8);
    blank.fill(0);
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    SceneFormat::preparePayloadStream(out, SceneFormat::Payload::Annotation);
    out << RleImage(blank);
    blank = QImage();
    QString notes;
    for (int frame = 1; frame <= 5; ++frame)
        notes += QStringLiteral("<image>%1</image>").arg(encoded(record));

    Scene scene;
    const ReadOutcome read = readInto(
        scene, document(Whole, layer(QStringLiteral("identifier=\"%1\" name=\"N\" linked=\"no\" type=\"annotation\"")
                                         .arg(identifier(1)),
                                     notes)));
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(read.report, QStringLiteral("Layer \"N\", frame 5: its note cannot be read."));
    const auto *annotations = qobject_cast<const AnnotationLayer *>(scene.layerAt(0).get());
    QVERIFY(annotations);
    QCOMPARE(annotations->imageCount(), 5);
    for (int frame = 1; frame <= 4; ++frame)
        QCOMPARE(annotations->image(frame).size(), QSize(SceneFormat::MaximumFrameSide, SceneFormat::MaximumFrameSide));
    QVERIFY(annotations->image(5).isNull());
}

void TestSceneReader::damagedDrawingKeepsTheStrokesBeforeTheDamage()
{
    StrokeDrawing drawing(FrameSize);
    for (QChar letter : {u'a', u'b', u'c', u'd'})
        drawing.addStroke(CellTest::inkStroke(letter));
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    SceneFormat::preparePayloadStream(out, SceneFormat::Payload::Strokes);
    out << drawing;
    // The size and the root's member count, then the members: the record is
    // cut a little way into the fourth.
    QByteArray firstThree;
    QDataStream members(&firstThree, QIODevice::WriteOnly);
    SceneFormat::preparePayloadStream(members, SceneFormat::Payload::Strokes);
    for (int i = 0; i < 3; ++i)
        Stroke::writeRecord(members, *drawing.root().member(i));
    const QByteArray cut = bytes.left(8 + 8 + firstThree.size() + 10);

    const QString layerText = strokeLayer(QStringLiteral("A"),
                                          QStringLiteral("<drawing type=\"original\" identifier=\"%1\"><strokes>%2</strokes>"
                                                         "</drawing>")
                                              .arg(identifier(5), encoded(cut)));
    Scene scene;
    const ReadOutcome read = readInto(scene, document(Whole, layerText));
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(read.damage.size(), 1);
    QCOMPARE(read.damage.constFirst().frame, 1);
    QCOMPARE(CellTest::inkOf(scene.itemAt(0, 1)->drawing().get()), QStringLiteral("abc"));
    QCOMPARE(scene.itemAt(0, 1)->identifier(), QUuid::fromString(identifier(5)));
}

// The file names a drawing that it does not hold: the cell keeps its
// identifier, so the cells that show it keep showing the same (blank)
// drawing, and the loss is reported.
void TestSceneReader::originalWithoutPayloadKeepsItsClones()
{
    const QString layers = strokeLayer(QStringLiteral("A"),
                                       QStringLiteral("<drawing type=\"original\" identifier=\"%1\">"
                                                      "<clone layer=\"%2\" drawing=\"%3\"/></drawing>")
                                           .arg(identifier(5), identifier(u'B'), identifier(6)))
        + strokeLayer(QStringLiteral("B"), QStringLiteral("<drawing type=\"distantClone\" identifier=\"%1\">"
                                                          "<original layer=\"%2\" drawing=\"%3\"/></drawing>")
                                               .arg(identifier(6), identifier(u'A'), identifier(5)));
    Scene scene;
    const ReadOutcome read = readInto(scene, document(Whole, inOrder(layers)));
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(scene.itemAt(0, 1)->identifier(), QUuid::fromString(identifier(5)));
    QCOMPARE(scene.itemAt(1, 1)->kind(), LayerItem::DistantCloneKind);
    QCOMPARE(scene.itemAt(1, 1)->drawing(), scene.itemAt(0, 1)->drawing());
    QCOMPARE(read.damage.size(), 1);
    QCOMPARE(read.report, QStringLiteral("Layer \"A\", frame 1: its drawing is missing."));
}

// What could not be read, what was left out and what was put right, as the
// window shows it: a layer without a name by its place in the file.
void TestSceneReader::damageReportNamesLayersAndFrames()
{
    int cells = 0;
    const auto broken = [&cells] {
        return QStringLiteral("<drawing type=\"original\" identifier=\"%1\"><strokes>AAAA</strokes></drawing>")
            .arg(identifier(++cells));
    };
    const QString sketch = QStringLiteral("<drawing type=\"sketch\"/>");
    const QString layers = QStringLiteral("<ordering>3;2;1;0</ordering>")
        + strokeLayer(QStringLiteral("A"), broken() + broken() + broken() + original(u'a') + broken())
        + strokeLayer(QStringLiteral("B"), original(u'b') + broken() + sketch + sketch + original(u'c'))
        + layer(QStringLiteral("name=\"P\" type=\"paint\""), original(u'p'))
        + layer(QStringLiteral("identifier=\"%1\" linked=\"no\" visible=\"yes\" type=\"stroke\"").arg(identifier(4)),
                QStringLiteral("<opacity>1</opacity><color>red</color>") + broken());
    Scene scene;
    const ReadOutcome read = readInto(scene, document(Whole, layers));
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(read.report, QStringLiteral("Layer \"A\", frames 1-3, 5: its drawing is empty or cut short.\n"
                                         "Layer \"B\", frame 2: its drawing is empty or cut short.\n"
                                         "Layer \"B\", frames 3-4: its kind \"sketch\" cannot be read, so it is a "
                                         "hold of the cell before it, as a cell without content is.\n"
                                         "Layer \"P\": it is of unknown kind \"paint\", so it was left out with all "
                                         "it holds.\n"
                                         "Layer \"Layer 4\": its name is missing, so it is blank.\n"
                                         "Layer \"Layer 4\", frame 1: its drawing is empty or cut short."));
}

// However the document is written, within what XML allows, it gives the
// same scene: the payloads that the reader takes out of the markup first
// and those it leaves to the XML reader read alike.
void TestSceneReader::documentFormsReadAlike_data()
{
    QTest::addColumn<Mutation>("form");
    const auto replaced = [](const char *before, const char *after) {
        return Mutation([before, after](const QByteArray &document) {
            return QByteArray(document).replace(before, after);
        });
    };
    QTest::newRow("as written") << Mutation([](const QByteArray &document) { return document; });
    QTest::newRow("payload elements in a comment")
        << replaced("<layers>", "<layers><!-- <strokes>AAAA</strokes> <image>'\"</image> -->");
    QTest::newRow("payload elements in character data")
        << replaced("<ordering>", "<unknown><![CDATA[<strokes>AAAA</strokes>]]></unknown><ordering>");
    QTest::newRow("instruction before a payload") << replaced("<strokes>", "<?note <strokes>x?><strokes>");
    QTest::newRow("attributes on payloads") << replaced("<strokes>", "<strokes kind=\"a>b\">");
    QTest::newRow("space in end tags") << replaced("</strokes>", "</strokes \n>");
    QTest::newRow("payloads broken into lines") << Mutation([](const QByteArray &document) {
        QString text = QString::fromUtf8(document);
        const QRegularExpression payload(QStringLiteral("<(strokes|image|originalAudioData)>([^<]{80})"));
        text.replace(payload, QStringLiteral("<\\1>\n    \\2\r\n\t"));
        return text.toUtf8();
    });
    QTest::newRow("character references in a payload") << replaced("<strokes>AAAA", "<strokes>&#65;&#x41;AA");
    QTest::newRow("the marker in a comment") << replaced("<layers>", "<layers><!--!payload:0!-->");
    QTest::newRow("internal subset") << replaced("<!DOCTYPE kl>", "<!DOCTYPE kl [ <!ENTITY e \"x\"> ]>");
    QTest::newRow("encoded as UTF-16") << Mutation([](const QByteArray &document) {
        const QString text = QString::fromUtf8(document).replace(QStringLiteral("encoding=\"UTF-8\""),
                                                                 QStringLiteral("encoding=\"UTF-16\""));
        QByteArray utf16("\xFF\xFE");
        utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        return utf16;
    });
}

void TestSceneReader::documentFormsReadAlike()
{
    QFETCH(Mutation, form);
    Scene original;
    buildEveryKind(original);
    const QByteArray document = written(original);
    const QByteArray changed = form(document);
    Scene scene;
    const ReadOutcome read = readInto(scene, changed);
    QCOMPARE(read.result, int(SceneFormat::Done));
    QCOMPARE(read.report, QString());
    QCOMPARE(written(scene), document);
}

// A payload's text that reads like the marker left in place of a payload
// taken out is read as the text it is: the same as by the XML reader alone
// (which a document holding "!payload:" in its markup gets).
void TestSceneReader::textsLikeMarkersAreNoPayloads_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("character reference") << QStringLiteral("&#33;payload:0!");
    QTest::newRow("as it stands") << QStringLiteral("!payload:0!");
}

void TestSceneReader::textsLikeMarkersAreNoPayloads()
{
    QFETCH(QString, text);
    Scene original;
    buildEveryKind(original);
    const QByteArray document = replacedBy(QStringLiteral("strokes"), 1, text)(written(original));
    QVERIFY(document.contains(text.toLatin1()));
    Scene split;
    const ReadOutcome splitRead = readInto(split, document);
    Scene whole;
    const ReadOutcome wholeRead = readInto(whole, document + "<!--!payload:-->");
    QCOMPARE(splitRead.result, int(SceneFormat::Done));
    QVERIFY(splitRead.report.contains(QStringLiteral("frame 3: its drawing is empty or cut short")));
    QCOMPARE(splitRead.report, wholeRead.report);
    QCOMPARE(written(split), written(whole));
}

void TestSceneReader::base64DecodesAsQtDoes_data()
{
    QTest::addColumn<QByteArray>("text");
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.append(char((i * 7919) % 256));
    const QByteArray base64 = bytes.toBase64();
    QTest::newRow("plain") << base64;
    QTest::newRow("empty") << QByteArray();
    for (int cut = 1; cut < 4; ++cut)
        QTest::addRow("cut short by %d", cut) << base64.left(base64.size() - 4 - cut);
    QTest::newRow("padding in the middle") << base64.left(40) + "==" + base64.mid(40);
    QTest::newRow("white space") << QByteArray(base64).replace("A", " \n A\t");
    QTest::newRow("strange characters") << QByteArray(base64).replace("B", "*B\xff%");
    QTest::newRow("nothing of the alphabet") << QByteArray("!!!! ***");
    QTest::newRow("single characters") << QByteArray("Q");
    QTest::newRow("URL alphabet") << bytes.toBase64(QByteArray::Base64UrlEncoding);
}

void TestSceneReader::base64DecodesAsQtDoes()
{
    QFETCH(QByteArray, text);
    QCOMPARE(SceneFormat::decodeBase64(text), QByteArray::fromBase64(text));
}

void TestSceneReader::readerProgress_data()
{
    QTest::addColumn<bool>("counted");
    QTest::newRow("the file counts its cells") << true;
    QTest::newRow("the file does not count them") << false;
}

void TestSceneReader::readerProgress()
{
    QFETCH(bool, counted);
    Scene original;
    buildEveryKind(original);
    QByteArray document = written(original);
    if (!counted)
        document.replace(QByteArray("totalNumberOfDrawings="), QByteArray("uncounted="));

    FakeProgress progress;
    Scene scene;
    QCOMPARE(readInto(scene, document, &progress).result, int(SceneFormat::Done));
    QCOMPARE(progress.property("labelText").toString(), QStringLiteral("Opening scene..."));
    QCOMPARE(progress.property("minimumDuration").toInt(), 2000);
    // Cells, or layers when the file does not say how many cells come.
    if (counted) {
        QCOMPARE(progress.m_maximum, original.totalNumberOfDrawings() + 1);
        QCOMPARE(progress.m_value, original.totalNumberOfDrawings() + 1);
    } else {
        QCOMPARE(progress.m_maximum, original.layerCount() + 1);
        QCOMPARE(progress.m_value, original.layerCount() + 1);
    }
    QVERIFY(progress.m_resets >= 2);
}

void TestSceneReader::cancelWhileReading_data()
{
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("at once") << 0;
    QTest::newRow("in the first layer's cells") << 2;
    QTest::newRow("in the second layer's cells") << 8;
}

void TestSceneReader::cancelWhileReading()
{
    QFETCH(int, cancelAt);
    Scene original;
    buildEveryKind(original);
    FakeProgress progress(cancelAt);
    Scene scene;
    QCOMPARE(readInto(scene, written(original), &progress).result, int(SceneFormat::Cancelled));
    QVERIFY(progress.m_resets >= 1);
    QVERIFY(scene.layerCount() < original.layerCount());
}

void TestSceneReader::farAudioOffsetsAreBounded_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<double>("offset");

    const double farthest = AudioLayer::MaximumOffsetFrames;
    QTest::newRow("1e15 frames") << "1e15" << farthest;
    QTest::newRow("1e300 frames") << "1e300" << farthest;
    QTest::newRow("the largest double") << "1.7976931348623157e308" << farthest;
    QTest::newRow("1e300 frames before frame 1") << "-1e300" << -farthest;
    QTest::newRow("within reach") << "-12.5" << -12.5;
}

// An offset in the file beyond any the sound can be placed at is read as
// the farthest one, and playing the scene's first frames sends a window
// that lies wholly before or after the sound.
void TestSceneReader::farAudioOffsetsAreBounded()
{
    QFETCH(QString, written);
    QFETCH(double, offset);
    const QByteArray file = document(Frame + QStringLiteral(" fps=\"24\""),
                                     layer(QStringLiteral("name=\"S\" type=\"audio\""),
                                           QStringLiteral("<offsetFrames>%1</offsetFrames>"
                                                          "<originalAudioData>%2</originalAudioData>")
                                               .arg(written, encoded(sound()))));
    Scene scene;
    QCOMPARE(readInto(scene, file).result, int(SceneFormat::Done));
    QVERIFY(scene.hasAudio());
    QCOMPARE(scene.audioOffset(), offset);

    auto *audio = qobject_cast<AudioLayer *>(scene.layerAt(scene.audioLayerIdx()).get());
    QVERIFY(audio);
    QSignalSpy windows(audio, &AudioLayer::newAudioBuffer);
    QVERIFY(audio->startPlayback(1, 1, 24, false));
    QCOMPARE(windows.count(), 1);
    const qint64 start = windows.at(0).at(1).toLongLong();
    const qint64 length = windows.at(0).at(2).toLongLong();
    QCOMPARE(length, audio->format().bytesForDuration(1'000'000));
    if (std::abs(offset) >= AudioLayer::MaximumOffsetFrames)
        QVERIFY(start + length < 0 || start > audio->pcm().size());
}

QTEST_MAIN(TestSceneReader)
#include "tst_scenereader.moc"
