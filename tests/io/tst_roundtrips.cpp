// What users do across two features, taken the whole way round. Each row is
// a list of steps a user takes (open scenes, copy, paste, draw, cut, move,
// stamp, merge, resize, take frames off their pegs); after them every frame
// as the paper shows it must come back the same after saving and reopening
// (with nothing reported damaged), after undoing everything (as it was before
// the first edit) and after redoing everything. A row that ends in a
// different way of reaching the same picture (sameAs) must also match it.
// What the paper shows includes a piece left floating over it, put down
// where it belongs, and what the sheet shows (range, frames, cells) must
// come back too; and a scene saved again as it was opened writes each
// drawing as it was read.

#include "clonecommands.h"
#include "drawingcellcommands.h"
#include "drawingcontentcommands.h"
#include "layercommands.h"
#include "layerpropertycommands.h"
#include "pastecommands.h"
#include "scenesettingscommands.h"

#include "drawings/strokedrawing.h"
#include "export/exportlayers.h"
#include "export/exportresult.h"
#include "initialize.h"
#include "io/sceneformat.h"
#include "io/scenefile.h"
#include "io/scenereader.h"
#include "io/scenewriter.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/exportframessettings.h"
#include "settings/settings.h"
#include "strokes/floatingselection.h"
#include "support/cellpattern.h"
#include "support/testsupport.h"
#include "tools/pentool.h"
#include "tools/toolmanager.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

// The scene a user edits, another one open beside it, and the clipboard.
struct Session
{
    std::unique_ptr<Model::KLScene> edited;
    std::unique_ptr<Model::KLScene> other;
    std::unique_ptr<QMimeData> clipboard;
    // The cell a floating piece was lifted from, by its key.
    Model::LayerItem::Key liftedFrom;

    Model::Scene *scene() const { return edited ? edited->scene() : nullptr; }
};

using Step = std::function<void(Session &)>;
using Steps = QList<Step>;

} // namespace

Q_DECLARE_METATYPE(Steps)

namespace {

const QSize Frame(640, 360);
const QSize Larger(1280, 720);
const QSize Smaller(320, 180);

// A pen stroke along the points, in the frame's pixels.
using Line = QList<QPointF>;

// The frame of every frame as the paper shows it: all layers composited as
// the exports composite them, moved as the frame's placement off its pegs
// moves the paper.
QList<QImage> views(const Model::Scene &scene)
{
    const QList<Model::ExportLayer> layers = Model::exportLayers(scene, Model::ExportSettings::AllLayers);
    QList<QImage> frames;
    for (int frame = 1; frame <= scene.maximumFrameNumber(); ++frame) {
        const QImage composite = Model::compositeFrame(layers, frame, scene.frameSize(), Qt::white, false);
        const QTransform offPegs = scene.offPegsTransform(frame);
        if (offPegs.isIdentity()) {
            frames.append(composite);
            continue;
        }
        QImage moved(composite.size(), QImage::Format_ARGB32_Premultiplied);
        moved.fill(Qt::white);
        QPainter painter(&moved);
        painter.setTransform(offPegs.inverted());
        painter.drawImage(0, 0, composite);
        painter.end();
        frames.append(moved);
    }
    return frames;
}

// Empty when both show the same frames, each pixel within tolerance on every
// channel; otherwise where they part.
QString difference(const QList<QImage> &actual, const QList<QImage> &expected, int tolerance = 0)
{
    if (actual.size() != expected.size())
        return QStringLiteral("%1 frames instead of %2").arg(actual.size()).arg(expected.size());
    QStringList found;
    for (qsizetype i = 0; i < actual.size(); ++i) {
        const QImage a = actual.at(i).convertToFormat(QImage::Format_ARGB32);
        const QImage b = expected.at(i).convertToFormat(QImage::Format_ARGB32);
        if (a.size() != b.size()) {
            found << QStringLiteral("frame %1 is %2x%3 instead of %4x%5")
                         .arg(i + 1)
                         .arg(a.width())
                         .arg(a.height())
                         .arg(b.width())
                         .arg(b.height());
            continue;
        }
        int pixels = 0;
        QPoint first;
        for (int y = 0; y < a.height(); ++y) {
            const auto *rowA = reinterpret_cast<const QRgb *>(a.constScanLine(y));
            const auto *rowB = reinterpret_cast<const QRgb *>(b.constScanLine(y));
            for (int x = 0; x < a.width(); ++x) {
                const int most = std::max({std::abs(qRed(rowA[x]) - qRed(rowB[x])),
                                           std::abs(qGreen(rowA[x]) - qGreen(rowB[x])),
                                           std::abs(qBlue(rowA[x]) - qBlue(rowB[x])),
                                           std::abs(qAlpha(rowA[x]) - qAlpha(rowB[x]))});
                if (most > tolerance && pixels++ == 0)
                    first = QPoint(x, y);
            }
        }
        if (pixels > 0)
            found << QStringLiteral("frame %1: %2 pixels differ, the first at (%3, %4)")
                         .arg(i + 1)
                         .arg(pixels)
                         .arg(first.x())
                         .arg(first.y());
    }
    return found.join(QStringLiteral("; "));
}

std::unique_ptr<Model::SingleStroke> penStroke(QSize frame, const Line &line)
{
    static const Model::PenTool pen(Model::Tool::PenType::Marker);
    // Samples a few pixels apart, as a pen moving at an even pace gives them.
    QList<QPointF> points;
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QPointF from = line.at(i);
        const QPointF to = line.at(i + 1);
        const int steps = std::max(1, int(QLineF(from, to).length() / 6.0));
        for (int k = 0; k < steps; ++k)
            points.append(from + (to - from) * (double(k) / steps));
    }
    points.append(line.constLast());
    return TestSupport::liveStroke(frame, pen, points);
}

QModelIndex cellAt(const Model::KLScene &handle, int layer, int frame)
{
    return handle.sceneModel()->index(frame - 1, layer);
}

void push(Session &session, QUndoCommand *command)
{
    session.scene()->undoStack()->push(command);
}

// A scene of frame size with stroke layers of the given numbers of blank
// cells, the first layer on top; frame 1 of the top layer active.
std::unique_ptr<Model::KLScene> newScene(QSize frame, const QList<int> &cells)
{
    auto handle = std::make_unique<Model::KLScene>();
    Model::Scene *scene = handle->scene();
    scene->setFrameSize(frame, KL::FitMode::FitModeIgnore);
    const QList<QColor> colours{QColor(30, 60, 200), QColor(200, 40, 40), QColor(20, 140, 60)};
    for (qsizetype i = 0; i < cells.size(); ++i) {
        // A new layer comes with one blank cell.
        auto layer = std::make_shared<Model::StrokeLayer>(colours.at(i % colours.size()), frame, scene);
        for (int k = 1; k < cells.at(i); ++k)
            layer->insertCell(k, layer->newCell());
        scene->insertLayer(layer, int(i));
    }
    scene->updateMaxFrameNumber();
    scene->setFrameRange(1, scene->maximumFrameNumber(), 1, 0);
    return handle;
}

// Steps

Step open(QSize frame, const QList<int> &cells)
{
    return [=](Session &session) { session.edited = newScene(frame, cells); };
}

// A reference layer at the bottom, of as many blank pictures as cells.
Step addReference(int cells)
{
    return [=](Session &session) {
        Model::Scene *scene = session.scene();
        auto layer = std::make_shared<Model::ReferenceLayer>(scene->frameSize(), scene);
        for (int k = 1; k < cells; ++k)
            layer->insertCell(k, layer->newCell());
        QVERIFY(scene->insertLayer(layer, scene->layerCount()) >= 0);
        scene->updateMaxFrameNumber();
        scene->setFrameRange(1, scene->maximumFrameNumber(), 1, 0);
    };
}

Step link(const QList<int> &layers)
{
    return [=](Session &session) {
        for (int layer : layers)
            QVERIFY(session.scene()->setLayerLinked(layer, true));
    };
}

// Another scene with one layer whose first drawing holds the lines and the
// bitmaps (each a rectangle of solid coverage), drawn there as on its own
// paper.
Step openOther(QSize frame, const QList<Line> &lines, const QList<QRect> &bitmaps = {})
{
    return [=](Session &session) {
        session.other = newScene(frame, {1});
        auto *layer = qobject_cast<Model::StrokeLayer *>(session.other->scene()->layerAt(0).get());
        for (const Line &line : lines)
            QVERIFY(layer->addStroke(1, penStroke(frame, line)));
        for (const QRect &rect : bitmaps)
            QVERIFY(layer->addStroke(1, TestSupport::bitmapStroke(rect, 200)));
    };
}

Step copyFromOther()
{
    return [](Session &session) {
        session.clipboard.reset(session.other->scene()->copy(0, 1, 1));
        QVERIFY(session.clipboard);
    };
}

Step copy(int layer, int frame)
{
    return [=](Session &session) {
        session.clipboard.reset(session.scene()->copy(layer, frame, 1));
        QVERIFY(session.clipboard);
    };
}

// Onto the selected cell, which takes the copied drawing.
Step paste(int layer, int frame)
{
    return [=](Session &session) {
        auto *command = new Commands::PasteDrawing(session.edited.get(),
                                                   QModelIndexList{cellAt(*session.edited, layer, frame)},
                                                   session.clipboard.get());
        QVERIFY(!command->isObsolete());
        push(session, command);
    };
}

Step draw(int layer, int frame, const Line &line)
{
    return [=](Session &session) {
        push(session, new Commands::Stroke(session.edited.get(), cellAt(*session.edited, layer, frame),
                                           penStroke(session.scene()->frameSize(), line)));
    };
}

// A line drawn in one quick drag: the pen gives its ends alone.
Step drag(int layer, int frame, QPointF from, QPointF to)
{
    return [=](Session &session) {
        static const Model::PenTool pen(Model::Tool::PenType::Marker);
        push(session, new Commands::Stroke(session.edited.get(), cellAt(*session.edited, layer, frame),
                                           TestSupport::liveStroke(session.scene()->frameSize(), pen, {from, to})));
    };
}

// Lifts what lies inside area out of the drawing, leaving a hole, as the
// cutter does: one step.
Step cut(int layer, int frame, QRect area)
{
    return [=](Session &session) {
        session.scene()->setActiveFrameAndLayer(frame, layer, Model::Scene::ClampToDrawings);
        QPainterPath path;
        path.addRect(QRectF(area));
        std::unique_ptr<Model::FloatingSelection> selection = session.scene()->activeDrawingContent(path);
        QVERIFY(selection);
        auto *lift = new QUndoCommand(QStringLiteral("New Floating Selection"));
        new Commands::FloatingSelectionNew(session.edited.get(), std::move(selection), lift);
        new Commands::CutPath(session.edited.get(), cellAt(*session.edited, layer, frame), path, lift);
        push(session, lift);
    };
}

// Drags the floating piece by offset, as the paper's move handle does.
Step move(QPointF offset)
{
    return [=](Session &session) {
        Model::FloatingSelection::Transform placement = session.edited->floatingSelectionTransform();
        placement.third = placement.third * QTransform::fromTranslate(-offset.x(), -offset.y());
        push(session, new Commands::FloatingSelectionTransform(session.edited.get(), placement));
    };
}

// Puts the floating piece down into the drawing, which keeps it floating
// for another stamp.
Step stamp(int layer, int frame)
{
    return [=](Session &session) {
        Model::FloatingSelection *selection = session.edited->floatingSelection();
        QVERIFY(selection);
        push(session, new Commands::Stroke(session.edited.get(), cellAt(*session.edited, layer, frame),
                                           selection->stamp()));
    };
}

Step mergeDown(int layer)
{
    return [=](Session &session) {
        auto *command = new Commands::MergeLayerDown(session.edited.get(), layer);
        QVERIFY(!command->isObsolete());
        push(session, command);
    };
}

Step resize(QSize size, KL::FitMode mode)
{
    return [=](Session &session) {
        auto *command = new Commands::ChangeFrameSize(session.edited.get(), size, mode);
        QVERIFY2(!command->isObsolete(), qPrintable(command->errorString()));
        push(session, command);
    };
}

Step discardLayer(int layer)
{
    return [=](Session &session) { push(session, new Commands::DiscardLayer(session.scene(), layer)); };
}

// A blank in place of the cell, which moves one frame later.
Step insertBlank(int layer, int frame)
{
    return [=](Session &session) {
        push(session, new Commands::InsertBlankDrawing(session.edited.get(), cellAt(*session.edited, layer, frame)));
    };
}

// Cells of a layer selected on the sheet, from frame first to last.
Step select(int layer, int first, int last)
{
    return [=](Session &session) {
        const Model::FrameRangeModel *range = session.edited->frameRangeModel();
        const QItemSelection cells(range->mapFromSource(cellAt(*session.edited, layer, first)),
                                   range->mapFromSource(cellAt(*session.edited, layer, last)));
        session.edited->selectionModel()->select(cells, QItemSelectionModel::ClearAndSelect);
        QVERIFY(session.edited->hasSelection());
    };
}

// Ink of its own across the whole frame: a band, and the two corners, so
// that a collapse renders the frame from corner to corner; resolution
// picture pixels to a pixel of the frame.
std::unique_ptr<Model::Stroke> band(QSize frame, int seed, int resolution)
{
    QImage ink(frame * resolution, QImage::Format_Alpha8);
    ink.fill(0);
    for (int y = 0; y < ink.height(); ++y) {
        uchar *line = ink.scanLine(y);
        for (int x = 0; x < ink.width(); ++x) {
            if ((x / resolution + 3 * (y / resolution) + 97 * seed) % (29 + seed) < 2)
                line[x] = uchar(60 + 20 * (seed % 10));
        }
    }
    ink.setPixel(0, 0, 255);
    ink.setPixel(ink.width() - 1, ink.height() - 1, 255);
    return std::make_unique<Model::BitmapStroke>(ink, QRect(QPoint(0, 0), frame));
}

// A scene of frame size with stroke layers of one drawing each, every one
// inked across the frame with a band of its own, as a collapse leaves it.
Step openInked(QSize frame, int layers, int resolution = 1)
{
    return [=](Session &session) {
        session.edited = newScene(frame, QList<int>(layers, 1));
        for (int layer = 0; layer < layers; ++layer) {
            auto *strokes = qobject_cast<Model::StrokeLayer *>(session.scene()->layerAt(layer).get());
            QVERIFY(strokes->addStroke(1, band(frame, layer + 1, resolution)));
        }
    };
}

Step collapse(int layer, int frame)
{
    return [=](Session &session) {
        push(session, new Commands::CollapseVectorData(session.edited.get(), cellAt(*session.edited, layer, frame)));
    };
}

// Merges the top layer down until one is left.
Step mergeAllDown()
{
    return [](Session &session) {
        while (session.scene()->layerCount() > 1)
            push(session, new Commands::MergeLayerDown(session.edited.get(), session.scene()->layerOrdering().constFirst()));
    };
}

// Layers inked across the frame, each collapsed, then merged into one.
Steps collapsedAndMerged(QSize frame, int layers)
{
    Steps steps{openInked(frame, layers)};
    for (int layer = 0; layer < layers; ++layer)
        steps.append(collapse(layer, 1));
    steps.append(mergeAllDown());
    return steps;
}

// The scene edited so far becomes the other one, to copy from.
Step keepAsOther()
{
    return [](Session &session) { session.other = std::move(session.edited); };
}

// Lifts what lies inside area out of the drawing, as the window's cutter
// does, and leaves it floating over the paper of the current scene: the
// floating selection is the tool.
Step cutAndFloat(int layer, int frame, QRect area)
{
    return [=](Session &session) {
        Model::KLScene::setCurrent(session.edited.get());
        session.scene()->setActiveFrameAndLayer(frame, layer, Model::Scene::ClampToDrawings);
        session.liftedFrom = CellPattern::keyOf(*session.scene(), layer, frame);
        QPainterPath path;
        path.addEllipse(QRectF(area));
        std::unique_ptr<Model::FloatingSelection> selection = session.scene()->activeDrawingContent(path);
        QVERIFY(selection);
        auto *lift = new QUndoCommand(QStringLiteral("New Floating Selection"));
        new Commands::FloatingSelectionNew(session.edited.get(), std::move(selection), lift);
        new Commands::CutPath(session.edited.get(), cellAt(*session.edited, layer, frame), path, lift);
        new Commands::ChangeToolType(session.edited.get(), int(Model::Tool::Type::FloatingSelection), lift);
        push(session, lift);
    };
}

// The user goes to another cell with the piece; frame may be the row just
// after the layer's last drawing.
Step goTo(int layer, int frame)
{
    return [=](Session &session) {
        session.scene()->setActiveFrameAndLayer(frame, layer, Model::Scene::AllowFrameAfterLast);
        QCOMPARE(session.scene()->activeFrame(), frame);
    };
}

// The scene with a piece that floats over the paper put down where it
// belongs, as the window's stamp puts it (into the selected cells, or at the
// active cell, after a blank on the row after the layer's last drawing), or,
// where the stamp cannot take it, back into the cell it was lifted from;
// look sees it so, and then the piece floats again.
template<typename Look>
auto withPieceDown(const Session &session, Look look) -> decltype(look(*session.scene()))
{
    Model::Scene *scene = session.scene();
    Model::FloatingSelection *selection = session.edited->floatingSelection();
    if (Model::KLScene::current() != session.edited.get() || !selection
        || Model::ToolManager::instance()->currentToolType() != Model::Tool::Type::FloatingSelection)
        return look(*scene);
    int frame = scene->activeFrame();
    int layer = scene->activeLayerIdx();
    const bool here = scene->activeCellInkRefusal() == Model::Scene::InkRefusal::None;
    if (!here && !scene->findDrawing(session.liftedFrom, &layer, &frame))
        return look(*scene);
    std::unique_ptr<QUndoCommand> blank;
    std::unique_ptr<QUndoCommand> stamp;
    if (here && session.edited->hasSelection()) {
        stamp = std::make_unique<Commands::Stroke>(session.edited.get(), session.edited->selection().indexes(),
                                                   selection->stamp());
    } else {
        if (frame > scene->layerFrameCount(layer)) {
            blank = std::make_unique<Commands::AddBlankDrawing>(session.edited.get(),
                                                                cellAt(*session.edited, layer, frame - 1));
            blank->redo();
        }
        stamp = std::make_unique<Commands::Stroke>(session.edited.get(), cellAt(*session.edited, layer, frame),
                                                   selection->stamp());
    }
    stamp->redo();
    scene->updateMaxFrameNumber();
    auto seen = look(*scene);
    stamp->undo();
    if (blank)
        blank->undo();
    scene->updateMaxFrameNumber();
    return seen;
}

// What the paper shows: the frames, with a piece that floats over them put
// down where it belongs.
QList<QImage> seen(const Session &session)
{
    return withPieceDown(session, views);
}

// The stamp key over a cell made one where the piece cannot go down, for
// that reason: the piece floats on, and the paper shows what it showed.
Step pressReturnOver(int layer, int frame, Model::Scene::InkRefusal why)
{
    return [=](Session &session) {
        using Why = Model::Scene::InkRefusal;
        if (why == Why::HiddenLayer)
            push(session, new Commands::SetLayerVisible(session.edited->sceneModel(), layer, false));
        if (why == Why::FadedLayer)
            push(session, new Commands::ChangeLayerOpacity(session.scene(), layer, 1, 0));
        if (why == Why::LockedHold) {
            Model::Settings::instance()->setClonesLockedForDrawing(true);
            push(session, new Commands::AddCloneDrawings(session.edited.get(), cellAt(*session.edited, layer, 1), 1));
        }
        goTo(layer, frame)(session);
        QCOMPARE(session.scene()->activeCellInkRefusal(), why);
        const QList<QImage> shown = seen(session);
        QVERIFY(!Commands::stampFloatingSelection(session.edited.get(), false));
        QVERIFY(seen(session) == shown);
    };
}

using CellPattern::sheet;

// The drawings' records of a document, in the order written.
QStringList drawingRecords(const QByteArray &document)
{
    static const QRegularExpression payload(QStringLiteral("<strokes>([^<]*)</strokes>"));
    QStringList records;
    QRegularExpressionMatchIterator matches = payload.globalMatch(QString::fromUtf8(document));
    while (matches.hasNext())
        records.append(matches.next().captured(1));
    return records;
}

// The window makes the cell active (a click on the sheet) and the paper
// moves that frame off its pegs.
Step offPegs(int layer, int frame, QTransform placement)
{
    return [=](Session &session) {
        session.scene()->setActiveFrameAndLayer(frame, layer, Model::Scene::ClampToDrawings);
        push(session, new Commands::OffPegs(session.scene(), placement));
    };
}

// A file whose first drawing kept the frame of the scene it was pasted
// from, as files written before pastes were fitted keep them: its record
// claims that size. The file opens in place of the scene.
Step reopenClaiming(QSize claimed)
{
    return [=](Session &session) {
        QBuffer written;
        QVERIFY(written.open(QIODevice::WriteOnly | QIODevice::Text));
        Model::SceneWriter writer(session.scene());
        QCOMPARE(writer.write(&written), int(Model::SceneFormat::Done));
        QByteArray document = written.data();
        const qsizetype start = document.indexOf("<strokes>") + 9;
        const qsizetype end = document.indexOf("</strokes>", start);
        QVERIFY(start > 8 && end > start);
        QByteArray payload = QByteArray::fromBase64(document.mid(start, end - start));
        QDataStream out(&payload, QIODevice::ReadWrite);
        out << claimed;
        document.replace(start, end - start, payload.toBase64());

        auto reopened = std::make_unique<Model::KLScene>();
        QBuffer file(&document);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        Model::SceneReader reader(reopened->scene());
        QCOMPARE(reader.read(&file), int(Model::SceneFormat::Done));
        QCOMPARE(reader.damageReport(), QString());
        session.edited = std::move(reopened);
    };
}

void run(Session &session, const Steps &steps, QList<QImage> *beforeEdits = nullptr)
{
    for (const Step &step : steps) {
        // What undoing everything must give back.
        if (beforeEdits && session.scene() && session.scene()->undoStack()->count() == 0)
            *beforeEdits = views(*session.scene());
        step(session);
        if (QTest::currentTestFailed())
            return;
    }
}

// The frames must look as they look when the user reaches them by the
// reference steps. A line drawn is composed from the mask it was drawn into,
// a line pasted or resized is rasterised again: the two may round a pixel
// differently by a few levels, nothing more.
Step sameAs(const Steps &reference)
{
    return [=](Session &session) {
        Session other;
        run(other, reference);
        if (QTest::currentTestFailed())
            return;
        const QString differs = difference(views(*session.scene()), views(*other.scene()), 8);
        QVERIFY2(differs.isEmpty(), qPrintable(differs));
    };
}

// The lines of a drawing that reach well beyond a frame of Smaller, and the
// ink of a second layer there.
const Line Beyond{{350, 40}, {500, 200}, {620, 330}};
const Line UpperInk{{330, 20}, {450, 120}, {630, 200}};
const QRect Lifted(10, 10, 150, 100);
const QPointF Dragged(400, 200);

// Pasted into the lower layer of two, then drawn on, a piece of it cut and
// stamped far from where it was, and the upper layer merged down onto it.
Steps pastedAndEdited(const Steps &source)
{
    Steps steps{open(Frame, {1, 1}), draw(0, 1, UpperInk)};
    steps += source;
    steps += {copyFromOther(), paste(1, 1), draw(1, 1, Beyond), cut(1, 1, Lifted), move(Dragged), stamp(1, 1),
              mergeDown(0)};
    return steps;
}

Steps then(Steps steps, const Steps &more)
{
    steps += more;
    return steps;
}

} // namespace

class TestRoundTrips : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void roundTrip_data();
    void roundTrip();
    void floatingPieceIsExported();

private:
    bool m_gl = false;
};

void TestRoundTrips::initTestCase()
{
    // The tools, for the floating selection tool.
    Model::initialize();
    m_gl = TestSupport::startRenderer(QSize(512, 512));
}

void TestRoundTrips::cleanup()
{
    Model::KLScene::setCurrent(nullptr);
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::Pen);
    Model::Settings::instance()->setClonesLockedForDrawing(false);
}

void TestRoundTrips::roundTrip_data()
{
    QTest::addColumn<Steps>("steps");

    // What a source shows, drawn on a frame of its own size, and the same
    // drawn on a frame of the edited scene's size.
    const QList<Line> wide{{{30, 40}, {700, 330}, {1200, 650}}, {{100, 300}, {300, 100}}};
    const Steps fromLarger{openOther(Larger, wide)};
    const Steps fromSameForLarger{openOther(Frame, wide)};
    const QList<Line> small{{{20, 20}, {160, 90}, {300, 160}}, {{40, 150}, {200, 30}}};
    // A block of ink runs off the small frame's right edge: only what the
    // source showed of it comes across.
    const Steps fromSmaller{openOther(Smaller, small, {QRect(280, 60, 80, 40)})};
    const Steps fromSameForSmaller{openOther(Frame, small, {QRect(280, 60, 40, 40)})};

    const struct
    {
        const char *name;
        Steps resizing;
    } resizes[] = {
        {"and saved", {}},
        {"stretched and saved", {resize(QSize(960, 540), KL::FitMode::FitModeStretch)}},
        {"cropped larger and saved", {resize(QSize(800, 480), KL::FitMode::FitModeCropCenter)}},
        {"fitted with its aspect and saved", {resize(QSize(480, 480), KL::FitMode::FitModeKeepAspect)}},
    };
    for (const auto &resizing : resizes) {
        QTest::addRow("pasted from a larger frame, drawn, stamped, merged, %s", resizing.name)
            << then(then(pastedAndEdited(fromLarger), resizing.resizing),
                    {sameAs(then(pastedAndEdited(fromSameForLarger), resizing.resizing))});
        QTest::addRow("pasted from a smaller frame, drawn, stamped, merged, %s", resizing.name)
            << then(then(pastedAndEdited(fromSmaller), resizing.resizing),
                    {sameAs(then(pastedAndEdited(fromSameForSmaller), resizing.resizing))});
    }

    // Copied before the frame grows, pasted after it: the copy shows what
    // the drawing showed when it was copied, and takes lines beyond the old
    // frame like any drawing of the new one.
    const Line ink{{40, 30}, {300, 200}, {600, 330}};
    const Line further{{500, 100}, {700, 300}, {780, 460}};
    QTest::newRow("copied, the frame cropped larger, pasted, drawn on and saved")
        << Steps{open(Frame, {2}), draw(0, 1, ink), copy(0, 1),
                 resize(QSize(800, 480), KL::FitMode::FitModeCropCenter), paste(0, 2), draw(0, 2, further),
                 sameAs({open(Frame, {2}), draw(0, 1, ink), resize(QSize(800, 480), KL::FitMode::FitModeCropCenter),
                         draw(0, 2, ink), draw(0, 2, further)})};

    // A file that keeps a pasted drawing at the frame it came from opens it
    // as a drawing of the scene's frame.
    const Line inSmaller{{20, 20}, {160, 90}, {280, 150}};
    QTest::newRow("opened with a drawing pasted from a larger frame, drawn on and saved")
        << Steps{open(Frame, {1}), draw(0, 1, ink), reopenClaiming(Larger), draw(0, 1, further),
                 sameAs({open(Frame, {1}), draw(0, 1, ink), draw(0, 1, further)})};
    QTest::newRow("opened with a drawing pasted from a smaller frame, drawn on and saved")
        << Steps{open(Frame, {1}), draw(0, 1, inSmaller), reopenClaiming(Smaller), draw(0, 1, Beyond),
                 sameAs({open(Frame, {1}), draw(0, 1, inSmaller), draw(0, 1, Beyond)})};

    // A piece floats while the frame changes: put down afterwards, it lands
    // where it would have landed had it been put down first.
    const Line lines{{30, 30}, {200, 150}, {400, 80}, {600, 300}};
    const QRect piece(20, 20, 200, 150);
    for (const auto &change :
         {std::pair{"cropped larger", resize(QSize(800, 480), KL::FitMode::FitModeCropCenter)},
          std::pair{"stretched smaller", resize(QSize(320, 180), KL::FitMode::FitModeStretch)}}) {
        QTest::addRow("a cut piece floating while the frame is %s, then stamped and saved", change.first)
            << Steps{open(Frame, {1}), draw(0, 1, lines), cut(0, 1, piece), move(QPointF(250, 120)), change.second,
                     stamp(0, 1),
                     sameAs({open(Frame, {1}), draw(0, 1, lines), cut(0, 1, piece), move(QPointF(250, 120)),
                             stamp(0, 1), change.second})};
    }

    // Frames of two layers taken off their pegs; the active cell stays where
    // the last one was made while everything is undone and redone. A redo
    // that took the active layer instead would lose the first placement on
    // a layer without that frame, or let it go with the wrong layer.
    const QTransform turned = Model::SceneFormat::composeOffPegs(30.0, 20.0, 10.0);
    const QTransform shifted = Model::SceneFormat::composeOffPegs(-20.0, 15.0, std::nullopt);
    QTest::newRow("off the pegs on a short and a long layer, saved, all undone and redone")
        << Steps{open(Frame, {1, 2}), draw(0, 1, lines), draw(1, 1, ink), draw(1, 2, further),
                 offPegs(1, 2, turned), offPegs(0, 1, shifted)};
    QTest::newRow("off the pegs on two layers, the top one discarded, saved, all undone and redone")
        << Steps{open(Frame, {2, 2}), draw(0, 1, lines), draw(0, 2, ink), draw(1, 1, ink), draw(1, 2, further),
                 offPegs(1, 2, turned), offPegs(0, 1, shifted), discardLayer(0)};

    // Collapsing renders at twice the frame's grain, and merging keeps each
    // layer's collapsed strokes: one drawing holds them all.
    for (const auto &[frame, layers] : {std::pair{QSize(3840, 2160), 3}, std::pair{QSize(1920, 1080), 9}}) {
        QTest::addRow("%d layers collapsed and merged at %dx%d, saved", layers, frame.width(), frame.height())
            << collapsedAndMerged(frame, layers);
    }
    // The pictures keep the grain they were made at when the frame shrinks:
    // twenty of them, each 64 times the new frame, or one 2304 times it.
    const Steps shrunk =
        then(collapsedAndMerged(QSize(320, 180), 20), {resize(QSize(80, 45), KL::FitMode::FitModeKeepAspect)});
    QTest::newRow("20 layers collapsed and merged, the frame made 4 times smaller, saved") << shrunk;
    QTest::newRow("a collapsed drawing, the frame made 24 times smaller, saved")
        << then(collapsedAndMerged(QSize(1920, 1080), 1), {resize(QSize(80, 45), KL::FitMode::FitModeKeepAspect)});
    // Four picture pixels to a pixel of the frame, then 24: the file's
    // single precision puts the grain a hair below 24, where it was a hair
    // above.
    QTest::newRow("a drawing collapsed at grain 4, the frame made 6 times smaller, saved")
        << Steps{open(Larger, {1}), draw(0, 1, ink), draw(0, 1, further), collapse(0, 1),
                 resize(Frame, KL::FitMode::FitModeKeepAspect), resize(QSize(107, 60), KL::FitMode::FitModeKeepAspect)};
    // Fitted with its aspect, the picture's right edge lies on the centres of
    // the frame's last column, where the file's single precision moves it.
    QTest::newRow("a collapsed full-HD drawing reaching the right edge, the frame made 854x480, saved")
        << then(collapsedAndMerged(QSize(1920, 1080), 1), {resize(QSize(854, 480), KL::FitMode::FitModeKeepAspect)});
    // Fitted with its aspect, the picture's side edges lie on pixel centres
    // and its bottom edge on the frame's, where the file's single precision
    // puts it a hair lower.
    for (const QSize frame : {QSize(114, 64), QSize(118, 66)}) {
        QTest::addRow("a drawing collapsed at three picture pixels a pixel, the frame made %dx%d, saved",
                      frame.width(), frame.height())
            << Steps{openInked(Frame, 1, 3), resize(frame, KL::FitMode::FitModeKeepAspect)};
    }
    QTest::newRow("the whole of a 637x95 drawing lifted and stamped back, the frame made 427x64, saved")
        << Steps{openInked(QSize(637, 95), 1), cut(0, 1, QRect(0, 0, 637, 95)), stamp(0, 1),
                 resize(QSize(427, 64), KL::FitMode::FitModeKeepAspect)};
    // Its right and bottom edges a few thousandths of a pixel short of pixel
    // centres, the picture is drawn in pieces of the frame when the file is
    // opened fitted, and whole when drawn again: both draw its edge lines.
    QTest::newRow("a drawing stamped a hair off the pixel centres, opened fitted to its frame, drawn on and saved")
        << Steps{openInked(QSize(300, 150), 1), resize(Frame, KL::FitMode::FitModeIgnore),
                 cut(0, 1, QRect(0, 0, 300, 150)), move(QPointF(300.4935, 150.4965)), stamp(0, 1),
                 reopenClaiming(Frame + QSize(1, 1)), draw(0, 1, {{20, 300}, {120, 340}})};
    // Cropped one pixel larger, a picture lies on half pixels. A line dragged
    // beside its top splits the frame into pieces across the picture when
    // the file is opened fitted: each piece draws the picture, and the line,
    // as the whole frame does.
    QTest::newRow("a picture on half pixels, a line dragged beside its top, opened fitted to its frame, drawn on and saved")
        << Steps{openInked(QSize(300, 150), 1), resize(Frame, KL::FitMode::FitModeIgnore),
                 drag(0, 1, {330, 20}, {630, 60}), resize(Frame + QSize(1, 1), KL::FitMode::FitModeCropCenter),
                 reopenClaiming(Frame + QSize(2, 2)), draw(0, 1, {{20, 300}, {120, 340}})};
    QTest::newRow("that merged cell copied, pasted into its scene and into a smaller one, saved")
        << then(shrunk, {insertBlank(0, 1), copy(0, 2), paste(0, 1), keepAsOther(), open(QSize(64, 36), {1}),
                         copyFromOther(), paste(0, 1)});

    // A piece cut out, moved and left floating when the scene is saved: over
    // the frame it came from, over another, over the row after the layer's
    // last drawing.
    const Steps floating{open(Frame, {1, 2}), draw(0, 1, lines), draw(1, 1, ink), draw(1, 2, lines),
                         cutAndFloat(1, 2, piece), move(QPointF(250, 120))};
    QTest::newRow("a cut piece floating, saved") << floating;
    QTest::newRow("a cut piece floating over another frame, saved") << then(floating, {goTo(1, 1)});
    QTest::newRow("a cut piece floating after the last drawing, saved") << then(floating, {goTo(1, 3)});
    QTest::newRow("a cut piece floating, two cells selected, saved") << then(floating, {select(1, 1, 2)});
    // After the last drawing of linked layers, the others hold theirs.
    QTest::newRow("a cut piece floating after the last drawing of linked layers, saved")
        << Steps{open(Frame, {2, 2}), link({0, 1}), draw(0, 1, lines), draw(0, 2, ink), draw(1, 1, ink),
                 draw(1, 2, further), cutAndFloat(0, 2, piece), move(QPointF(250, 120)), goTo(0, 3)};
    // A reference layer's cell made active: the piece goes back into the
    // drawing it came from, also once that has moved to another frame.
    const Steps overReference{open(Frame, {1, 2}), addReference(3), draw(0, 1, lines), draw(1, 1, ink),
                              draw(1, 2, lines), cutAndFloat(1, 2, piece), move(QPointF(250, 120))};
    QTest::newRow("a cut piece floating, a reference layer's cell active, saved")
        << then(overReference, {goTo(2, 2)});
    QTest::newRow("a cut piece floating, its drawing a frame later, a reference layer's cell active, saved")
        << then(overReference, {insertBlank(1, 1), goTo(2, 1)});
    // The stamp key there keeps the piece floating, and it is saved so.
    using Why = Model::Scene::InkRefusal;
    QTest::newRow("Return over a reference layer, saved") << then(overReference, {pressReturnOver(2, 2, Why::NotDrawLayer)});
    QTest::newRow("Return over a hidden layer, saved") << then(floating, {pressReturnOver(0, 1, Why::HiddenLayer)});
    QTest::newRow("Return over a faded layer, saved") << then(floating, {pressReturnOver(0, 1, Why::FadedLayer)});
    QTest::newRow("Return over a locked hold, saved") << then(floating, {pressReturnOver(0, 2, Why::LockedHold)});
}

void TestRoundTrips::roundTrip()
{
    QFETCH(Steps, steps);
    if (!m_gl)
        QSKIP(TestSupport::NoOpenGL);

    Session session;
    QList<QImage> beforeEdits;
    run(session, steps, &beforeEdits);
    if (QTest::currentTestFailed())
        return;
    Model::Scene *scene = session.scene();
    const QList<QImage> edited = seen(session);
    const QString edits = withPieceDown(session, sheet);
    const QString asLeft = sheet(*scene);

    // The sheet is told nothing while a piece lies in place for the save:
    // for it the scene never changed.
    std::vector<std::unique_ptr<QSignalSpy>> announcements;
    for (const QAbstractItemModel *model : {static_cast<QAbstractItemModel *>(session.edited->sceneModel()),
                                            static_cast<QAbstractItemModel *>(session.edited->frameRangeModel())}) {
        announcements.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::layoutAboutToBeChanged));
        announcements.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::dataChanged));
        announcements.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::headerDataChanged));
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("round trip.kl"));
    const Model::SceneFile::SaveResult saved = Model::SceneFile::save(*scene, path);
    QVERIFY2(saved.result == Model::SceneFormat::Done, qPrintable(saved.message));
    for (const auto &spy : std::as_const(announcements))
        QCOMPARE(spy->count(), 0);
    Model::KLScene reopened;
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    Model::SceneReader reader(reopened.scene());
    QCOMPARE(reader.read(&file), int(Model::SceneFormat::Done));
    QCOMPARE(reader.damageReport(), QString());
    QString differs = difference(views(*reopened.scene()), edited);
    QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("after save and reopen: ") + differs));
    QCOMPARE(sheet(*reopened.scene()), edits);
    // Saving leaves the scene to the user as it was.
    QCOMPARE(sheet(*scene), asLeft);
    // Saved again as it was opened, each drawing is written as it was read:
    // nothing was lost on the way that the pictures kept from the file would
    // still hide.
    QBuffer again;
    QVERIFY(again.open(QIODevice::WriteOnly | QIODevice::Text));
    QCOMPARE(Model::SceneFile::write(*reopened.scene(), &again).result, int(Model::SceneFormat::Done));
    QVERIFY(file.seek(0));
    QVERIFY(drawingRecords(again.data()) == drawingRecords(file.readAll()));
    // Rendered again from their strokes, the drawings show what they showed.
    for (int layer = 0; layer < reopened.scene()->layerCount(); ++layer) {
        for (int frame = 1; frame <= reopened.scene()->layerFrameCount(layer); ++frame) {
            const std::shared_ptr<Model::LayerItem> item = reopened.scene()->itemAt(layer, frame);
            if (auto *strokes = dynamic_cast<Model::StrokeDrawing *>(item ? item->drawing().get() : nullptr))
                strokes->updateImage(QRect(QPoint(0, 0), strokes->size()));
        }
    }
    differs = difference(views(*reopened.scene()), edited, 8);
    QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("rendered again after reopening: ") + differs));

    // The active cell is no part of the history: the user goes back to it.
    const int activeFrame = scene->activeFrame();
    const int activeLayer = scene->activeLayerIdx();
    QUndoStack *stack = scene->undoStack();
    stack->setIndex(0);
    differs = difference(views(*scene), beforeEdits);
    QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("after undo all: ") + differs));
    stack->setIndex(stack->count());
    scene->setActiveFrameAndLayer(activeFrame, activeLayer, Model::Scene::AllowFrameAfterLast);
    differs = difference(seen(session), edited);
    QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("after redo all: ") + differs));
    QCOMPARE(withPieceDown(session, sheet), edits);

    // A piece lifted again by the redo is written where it was before.
    QBuffer redone;
    QVERIFY(redone.open(QIODevice::ReadWrite | QIODevice::Text));
    QCOMPARE(Model::SceneFile::write(*scene, &redone).result, int(Model::SceneFormat::Done));
    QVERIFY(redone.seek(0));
    Model::KLScene reread;
    Model::SceneReader rereader(reread.scene());
    QCOMPARE(rereader.read(&redone), int(Model::SceneFormat::Done));
    differs = difference(views(*reread.scene()), edited);
    QVERIFY2(differs.isEmpty(), qPrintable(QStringLiteral("saved after redo all: ") + differs));
    QCOMPARE(sheet(*reread.scene()), edits);
}

// An export while a piece floats shows the piece where the user sees it.
void TestRoundTrips::floatingPieceIsExported()
{
    if (!m_gl)
        QSKIP(TestSupport::NoOpenGL);
    Session session;
    run(session, {open(Frame, {1}), draw(0, 1, {{30, 30}, {200, 150}, {400, 80}}),
                  cutAndFloat(0, 1, QRect(20, 20, 200, 150)), move(QPointF(250, 120))});
    const QList<QImage> edited = seen(session);

    QTemporaryDir folder;
    Model::ExportFramesSettings settings;
    settings.name = QStringLiteral("walk");
    settings.exportDir = folder.path();
    settings.combineLayers = true;
    settings.includeAlpha = false;
    QCOMPARE(session.scene()->exportFrames(settings, nullptr).status, Model::ExportResult::Finished);
    const QStringList files = QDir(folder.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QList<QImage> exported;
    for (const QString &name : files)
        exported.append(QImage(QDir(folder.path()).filePath(name)));
    const QString differs = difference(exported, edited);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
}

QTEST_MAIN(TestRoundTrips)
#include "tst_roundtrips.moc"
