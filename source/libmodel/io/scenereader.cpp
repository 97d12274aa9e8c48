#include "io/scenereader.h"

#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "export/exportprogress.h"
#include "io/sceneformat.h"
#include "io/scenepayloads.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "render/offscreenrenderer.h"
#include "scene/scene.h"
#include "strokes/compoundstroke.h"
#include "strokes/decodebudget.h"
#include "strokes/rleimage.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QFileDevice>
#include <QIODevice>
#include <QImage>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <climits>

namespace Model {

namespace {

// What one annotation frame may decode to: far beyond a cell of the sheet,
// and as much as the largest frame.
constexpr qint64 AnnotationBudget = qint64(SceneFormat::MaximumFrameSide) * SceneFormat::MaximumFrameSide;
// What all the notes of a file may decode to together. A note is a strip of
// one cell of the sheet, some tens of kilobytes, and its record takes a few
// bytes whatever its size: without a bound of their own, a small file of
// many notes would ask for gigabytes.
constexpr qint64 AllNotesBudget = qint64(256) * 1024 * 1024;

// What checking, in a file without its whole frame size, whether drawings
// made for another frame have ink outside the one taken may render, for all
// drawings together: beyond it, ink that may reach out counts as ink that
// does. A few strips of a frame cost little; a file of many drawings that
// claim large frames must not cost a render of each.
constexpr qint64 InkCheckPixels = qint64(16) * 1024 * 1024;

bool isPossibleFrameSide(int side)
{
    return side >= 1 && side <= SceneFormat::MaximumFrameSide;
}

// A drawing record's size: QSize() for a drawing whose frame was never
// known, or the size of a frame some scene can have. A drawing pasted from
// another scene kept that scene's frame size in files of earlier versions;
// anything larger would cost more than any drawing can, for a record of a
// few bytes.
bool isPossibleDrawingSize(QSize size)
{
    if (size == QSize())
        return true;
    return size.width() >= 0 && size.height() >= 0 && size.width() <= SceneFormat::MaximumFrameSide
        && size.height() <= SceneFormat::MaximumFrameSide;
}

// Frames as the user reads them: "3-5, 8", from frames in order, each once.
QString frameList(QList<int> frames)
{
    QStringList parts;
    for (qsizetype i = 0; i < frames.size();) {
        qsizetype last = i;
        while (last + 1 < frames.size() && frames.at(last + 1) == frames.at(last) + 1)
            ++last;
        parts.append(last == i ? QString::number(frames.at(i))
                               : QStringLiteral("%1-%2").arg(frames.at(i)).arg(frames.at(last)));
        i = last + 1;
    }
    return parts.join(QStringLiteral(", "));
}

// Whether the drawing, as the frame it was made for showed it, has ink
// outside the frame it is now read for: the part of the first that the
// second lacks is rendered where strokes reach into it, in bands, until ink
// shows or pixelsLeft runs out.
bool inkOutsideFrame(const StrokeDrawing &drawing, QSize madeFor, QSize frame, qint64 &pixelsLeft)
{
    const CompoundStroke &root = drawing.root();
    const QRect reach = root.boundingRect() & QRect(QPoint(0, 0), madeFor);
    const QRect shown(QPoint(0, 0), frame);
    if (reach.isEmpty() || shown.contains(reach))
        return false;
    constexpr qint64 BandPixels = qint64(1) << 20;
    const QRect outside[] = {reach & QRect(QPoint(shown.right() + 1, reach.top()), reach.bottomRight()),
                             reach & QRect(QPoint(reach.left(), shown.bottom() + 1), reach.bottomRight())};
    for (const QRect &part : outside) {
        if (part.isEmpty())
            continue;
        const int rows = int(std::clamp<qint64>(BandPixels / part.width(), 1, part.height()));
        for (int top = part.top(); top <= part.bottom(); top += rows) {
            const QRect band(part.left(), top, part.width(), std::min(rows, part.bottom() - top + 1));
            const qint64 pixels = qint64(band.width()) * band.height();
            if (pixels > pixelsLeft)
                return true;
            pixelsLeft -= pixels;
            QImage image(band.size(), QImage::Format_Alpha8);
            image.fill(0);
            root.render(image, image.rect(), QTransform::fromTranslate(-band.left(), -band.top()), QPoint(0, 0), 1.0);
            for (int y = 0; y < image.height(); ++y) {
                const uchar *line = image.constScanLine(y);
                if (std::any_of(line, line + image.width(), [](uchar coverage) { return coverage != 0; }))
                    return true;
            }
        }
    }
    return false;
}

// Puts the renderer back at the size it had, however the read ends.
class RendererSize
{
public:
    RendererSize()
        : m_saved(OffscreenRenderer::instance()->size())
    {
    }
    ~RendererSize()
    {
        if (m_changed)
            OffscreenRenderer::instance()->setSize(m_saved);
    }
    Q_DISABLE_COPY_MOVE(RendererSize)

    // Only a renderer that has been set up is resized.
    void set(QSize size)
    {
        if (!m_saved.isValid() || size == OffscreenRenderer::instance()->size())
            return;
        OffscreenRenderer::instance()->setSize(size);
        m_changed = true;
    }

private:
    QSize m_saved;
    bool m_changed = false;
};

} // namespace

class SceneReaderPrivate
{
public:
    SceneReaderPrivate(Scene *scene, QObject *progress)
        : m_scene(scene)
        , m_progress(progress)
    {
    }

    void readScene(RendererSize &renderer);
    void restoreMissingFrame(bool hasWidth, bool hasHeight);
    QSize frameOfTheDrawings(int width, int height, int *having, int *sized) const;
    void readLayers();
    void readLayer();
    std::shared_ptr<LayerItem> readDrawing(VisualLayer &layer, const QString &layerName);
    std::shared_ptr<LayerItem> readOriginal(VisualLayer &layer, const QString &layerName, int frame);
    std::shared_ptr<LayerItem> readDistantClone();
    QTransform readOffPegs() const;
    void readOpacity(VisualLayer &layer);
    void readAudio(AudioLayer &layer, const QString &layerName);
    void readAnnotation(AnnotationLayer &layer, const QString &layerName);
    // The payloads; each notes its damage and gives what it could read.
    std::shared_ptr<Drawing> readStrokes(QSize frameSize, const QString &layerName, int frame);
    std::shared_ptr<Drawing> readImage(const QString &layerName, int frame);
    // Every cell of the scene by its key; where a file gives two cells one
    // key, the first, as the scene's own look-up finds it.
    QHash<LayerItem::Key, std::shared_ptr<LayerItem>> cellsByKey() const;
    void leadLinksToOriginals(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells);
    void linkDistantClones(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells);
    void noteUnresolvedClones(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells);
    void applyOrdering();

    QStringView attribute(QLatin1StringView name) const { return m_xml.attributes().value(name); }
    // An attribute counts as present when it is not empty.
    bool hasAttribute(QLatin1StringView name) const { return !attribute(name).isEmpty(); }
    QString readText() { return m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement); }
    // The payload of the element: valid until the next is read.
    const QByteArray &readBase64Text(const QString &layerName, int frame);
    void checkCancel() const;
    // madeGood: nothing was lost, what was missing or damaged was made good.
    void noteDamage(const QString &layerName, int frame, const QString &problem, bool madeGood = false);
    // Cells that the layer being read cannot have are left out, and the
    // cells after them move up: the user hears how many, where, and why.
    enum class LeftOut { NoKind, UnknownKind, HoldOfNothing, NoOriginal };
    void noteLeftOutCell(const QString &layerName, int frame, LeftOut why, const QString &kind = {});
    // The layer's next cell is in: what was left out before it stays out.
    void keepLeftOutCells() { m_leftOut.clear(); }
    // The layer ends: no cell moved up after the last ones left out.
    void endLeftOutCells();
    // The progress of a read that knows how many cells come.
    void advance();

    QXmlStreamReader m_xml;
    Scene *m_scene;
    QList<int> m_ordering;
    ExportProgress m_progress;
    int m_expectedDrawings = -1;
    // Whether the frame is not the file's own but taken from its drawings
    // or the scene: what a drawing made for another showed cannot be known.
    bool m_frameGuessed = false;
    qint64 m_inkCheckPixelsLeft = InkCheckPixels;
    int m_drawingsRead = 0;
    qint64 m_noteBytesLeft = AllNotesBudget;
    QList<SceneReader::Damage> m_damage;
    // The cells left out since the last cell of the layer that was kept,
    // each kind of them counted in one entry of the damage.
    struct LeftOutCells
    {
        qsizetype damage;
        LeftOut why;
        QString kind;
        int count;
    };
    QList<LeftOutCells> m_leftOut;
    // Whether the file gives an ordering of its layers.
    bool m_orderingGiven = false;
    // Whether it gives its layers at all.
    bool m_layersGiven = false;
    // For each "layer" element met so far, kept or not, the index of the
    // layer made of it in the scene; -1 for one left out. The file names its
    // layers by their places among these elements.
    QList<int> m_fileLayers;
    // The names the damage report gives the layers read so far, by identifier.
    QMap<QUuid, QString> m_layerNames;
    // The distant clones each original lists in the file, kept apart until
    // every layer is in (see linkDistantClones()).
    QList<std::pair<std::shared_ptr<LayerItem>, QList<LayerItem::Key>>> m_listedClones;
    // The document being read: its markup and the payloads taken out.
    const ScenePayloads *m_payloads = nullptr;
    QByteArray m_markupBytes;
    QBuffer m_markupDevice;
    // Payloads are decoded into one buffer, which keeps its memory.
    QByteArray m_payloadBytes;
};

void SceneReaderPrivate::checkCancel() const
{
    if (m_progress.wasCanceled())
        throw ReadingCancelledException();
}

void SceneReaderPrivate::noteDamage(const QString &layerName, int frame, const QString &problem, bool madeGood)
{
    m_damage.append({layerName, frame, problem, madeGood});
}

namespace {

QString leftOutCellsText(SceneReaderPrivate::LeftOut why, const QString &kind, int count, bool cellsFollow)
{
    using LeftOut = SceneReaderPrivate::LeftOut;
    const bool one = count == 1;
    QString cells;
    switch (why) {
    case LeftOut::NoKind:
        cells = one ? SceneReader::tr("a cell without a kind") : SceneReader::tr("%1 cells without a kind").arg(count);
        break;
    case LeftOut::UnknownKind:
        cells = one ? SceneReader::tr("a cell of unknown kind \"%1\"").arg(kind)
                    : SceneReader::tr("%1 cells of unknown kind \"%2\"").arg(count).arg(kind);
        break;
    case LeftOut::HoldOfNothing:
        cells = one ? SceneReader::tr("a hold with nothing before it to hold")
                    : SceneReader::tr("%1 holds with nothing before them to hold").arg(count);
        break;
    case LeftOut::NoOriginal:
        cells = one ? SceneReader::tr("a cell that shows a drawing from elsewhere without saying which")
                    : SceneReader::tr("%1 cells that show a drawing from elsewhere without saying which").arg(count);
        break;
    }
    const QString leftOut = one ? SceneReader::tr("%1 was left out").arg(cells)
                                : SceneReader::tr("%1 were left out").arg(cells);
    if (!cellsFollow)
        return leftOut;
    return one ? SceneReader::tr("%1, and the cells after it moved up a frame").arg(leftOut)
               : SceneReader::tr("%1, and the cells after them moved up %2 frames").arg(leftOut).arg(count);
}

} // namespace

void SceneReaderPrivate::noteLeftOutCell(const QString &layerName, int frame, LeftOut why, const QString &kind)
{
    // Until the layer's next cell is kept, every cell left out stands at
    // the same frame.
    if (m_leftOut.isEmpty() || m_leftOut.constLast().why != why || m_leftOut.constLast().kind != kind) {
        m_leftOut.append({m_damage.size(), why, kind, 0});
        noteDamage(layerName, frame, QString());
    }
    LeftOutCells &cells = m_leftOut.last();
    ++cells.count;
    m_damage[cells.damage].problem = leftOutCellsText(why, kind, cells.count, true);
}

void SceneReaderPrivate::endLeftOutCells()
{
    for (const LeftOutCells &cells : std::as_const(m_leftOut))
        m_damage[cells.damage].problem = leftOutCellsText(cells.why, cells.kind, cells.count, false);
    m_leftOut.clear();
}

void SceneReaderPrivate::advance()
{
    if (m_expectedDrawings >= 0)
        m_progress.setValue(std::min(++m_drawingsRead, m_expectedDrawings));
}

const QByteArray &SceneReaderPrivate::readBase64Text(const QString &layerName, int frame)
{
    const QString text = readText();
    SceneFormat::Strays strays = SceneFormat::Strays::None;
    if (!m_payloads || !m_payloads->payload(text, m_payloadBytes, &strays))
        m_payloadBytes = SceneFormat::readBase64(text, &strays);
    // Skipped, stray characters cost nothing where the data around them is
    // whole; whatever else its record lacks is told on its own.
    if (strays == SceneFormat::Strays::BesideWholeData)
        noteDamage(layerName, frame,
                   SceneReader::tr("its data holds characters that do not belong there; they were skipped, and "
                                   "the data around them is whole"),
                   true);
    else if (strays == SceneFormat::Strays::InBrokenData)
        noteDamage(layerName, frame,
                   SceneReader::tr("its data holds characters that do not belong there, and some of its own are "
                                   "missing"));
    return m_payloadBytes;
}

void SceneReaderPrivate::readScene(RendererSize &renderer)
{
    m_progress.reset();

    if (hasAttribute(QLatin1StringView("highestUsedLayerNumber")))
        m_scene->setHighestUsedLayerNumber(
            SceneFormat::readInteger(attribute(QLatin1StringView("highestUsedLayerNumber"))).value_or(0));
    const bool hasWidth = hasAttribute(QLatin1StringView("frameWidth"));
    const bool hasHeight = hasAttribute(QLatin1StringView("frameHeight"));
    m_frameGuessed = !hasWidth || !hasHeight;
    if (m_frameGuessed) {
        restoreMissingFrame(hasWidth, hasHeight);
    } else {
        const QSize size(SceneFormat::readInteger(attribute(QLatin1StringView("frameWidth"))).value_or(0),
                         SceneFormat::readInteger(attribute(QLatin1StringView("frameHeight"))).value_or(0));
        // Every drawing would be made at this size: a frame no scene can
        // have is not a scene to open.
        if (!isPossibleFrameSide(size.width()) || !isPossibleFrameSide(size.height())) {
            m_xml.raiseError(SceneReader::tr("The frame size %1x%2 is not possible: each side must lie "
                                             "between 1 and %3 pixels.")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(SceneFormat::MaximumFrameSide));
            return;
        }
        m_scene->setFrameSize(size, KL::FitMode::FitModeIgnore, nullptr);
    }

    int first = 0;
    int last = -1;
    const QStringList range = attribute(QLatin1StringView("frameRange")).toString().split(u';', Qt::SkipEmptyParts);
    if (range.size() == 2) {
        first = SceneFormat::readInteger(range.at(0)).value_or(0);
        last = SceneFormat::readInteger(range.at(1)).value_or(0);
    }
    const int activeFrame = hasAttribute(QLatin1StringView("activeFrameNumber"))
        ? SceneFormat::readInteger(attribute(QLatin1StringView("activeFrameNumber"))).value_or(0)
        : 1;
    int activeLayer = hasAttribute(QLatin1StringView("activeLayerIndex"))
        ? SceneFormat::readInteger(attribute(QLatin1StringView("activeLayerIndex"))).value_or(0)
        : 0;
    if (const std::optional<double> fps = SceneFormat::readNumber(attribute(QLatin1StringView("fps"))))
        m_scene->setFrameRate(*fps);
    const std::optional<int> expected = SceneFormat::readInteger(attribute(QLatin1StringView("totalNumberOfDrawings")));
    if (expected && *expected >= 0 && *expected < INT_MAX) {
        m_expectedDrawings = *expected;
        m_progress.setMaximum(m_expectedDrawings + 1);
        m_progress.setValue(0);
    }

    renderer.set(m_scene->frameSize());

    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"layers")
            readLayers();
        else
            m_xml.skipCurrentElement();
    }

    m_scene->updateMaxFrameNumber();
    if (last == -1)
        last = m_scene->maximumFrameNumber();
    checkCancel();
    // The range setter looks the active layer up in the ordering. The file
    // names it by its place among the layers it lists: one left out, or an
    // index outside the layers (a scene saved without an active layer has
    // -1), is replaced by the top layer, and a scene without layers keeps
    // the range it has.
    if (m_layersGiven)
        activeLayer = activeLayer >= 0 && activeLayer < m_fileLayers.size() ? m_fileLayers.at(activeLayer) : -1;
    bool rendered = false;
    if (m_scene->layerCount() > 0) {
        if (activeLayer < 0 || activeLayer >= m_scene->layerCount())
            activeLayer = m_scene->layerOrdering().constFirst();
        rendered = m_scene->setFrameRange(first, last, activeFrame, activeLayer);
    }
    // A range that changed has had the frame's pictures made afresh.
    if (!rendered)
        m_scene->updateCachedFramePixmap(true);
    checkCancel();
    m_progress.setValue(1 + (m_expectedDrawings < 0 ? m_scene->layerCount() : m_scene->totalNumberOfDrawings()));
}

// Every drawing is fitted to the frame, so a file that lacks it, or one
// side of it, takes the frame its drawings were made for, else keeps the one
// the scene was made with; the user hears which, and how many drawings have
// it.
void SceneReaderPrivate::restoreMissingFrame(bool hasWidth, bool hasHeight)
{
    const auto side = [this](bool given, QLatin1StringView name) {
        const int value = given ? SceneFormat::readInteger(attribute(name)).value_or(0) : 0;
        return isPossibleFrameSide(value) ? value : 0;
    };
    int having = 0;
    int sized = 0;
    const QSize drawn = frameOfTheDrawings(side(hasWidth, QLatin1StringView("frameWidth")),
                                           side(hasHeight, QLatin1StringView("frameHeight")), &having, &sized);
    if (drawn.isValid())
        m_scene->setFrameSize(drawn, KL::FitMode::FitModeIgnore, nullptr);
    const QString missing = hasWidth ? SceneReader::tr("the frame height is missing")
        : hasHeight                  ? SceneReader::tr("the frame width is missing")
                                     : SceneReader::tr("the frame size is missing");
    QString problem;
    if (!drawn.isValid())
        problem = SceneReader::tr("%1 and no drawing tells it, so the frame is the default, %2x%3 pixels");
    else if (having == sized)
        problem = SceneReader::tr("%1, so the frame is %2x%3 pixels, the size of the scene's drawings");
    else if (having * 2 > sized)
        problem = SceneReader::tr("%1, so the frame is %2x%3 pixels, the size most of the scene's drawings have");
    else
        problem = SceneReader::tr("%1, so the frame is %2x%3 pixels, the size %4 of the scene's %5 drawings have");
    problem = problem.arg(missing).arg(m_scene->frameWidth()).arg(m_scene->frameHeight());
    if (drawn.isValid() && having * 2 <= sized)
        problem = problem.arg(having).arg(sized);
    noteDamage(QString(), 0, problem, true);
}

// The size that most stroke drawings of the document give, of those that
// agree with the sides given (0: not given); of sizes as common, the largest,
// which shows the most of every drawing. QSize() when no drawing gives one.
// A drawing has its scene's frame, though one pasted from another scene
// kept that scene's in files of earlier versions. having tells how many
// drawings give that size, sized how many give any.
QSize SceneReaderPrivate::frameOfTheDrawings(int width, int height, int *having, int *sized) const
{
    QXmlStreamReader xml(m_markupBytes);
    QMap<std::pair<int, int>, int> counts;
    *sized = 0;
    QByteArray bytes;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"strokes")
            continue;
        const QString text = xml.readElementText();
        if (!m_payloads || !m_payloads->payload(text, bytes, nullptr))
            bytes = SceneFormat::readBase64(text);
        QDataStream head(bytes);
        SceneFormat::preparePayloadStream(head, SceneFormat::Payload::Strokes);
        QSize size;
        head >> size;
        if (head.status() != QDataStream::Ok || !isPossibleFrameSide(size.width())
            || !isPossibleFrameSide(size.height()))
            continue;
        ++*sized;
        if ((width == 0 || size.width() == width) && (height == 0 || size.height() == height))
            ++counts[{size.width(), size.height()}];
    }
    const auto area = [](const std::pair<int, int> &size) { return qint64(size.first) * size.second; };
    auto most = counts.cend();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (most == counts.cend() || *it > *most || (*it == *most && area(it.key()) > area(most.key())))
            most = it;
    }
    *having = most == counts.cend() ? 0 : *most;
    return most == counts.cend() ? QSize() : QSize(most.key().first, most.key().second);
}

void SceneReaderPrivate::readLayers()
{
    while (m_scene->layerCount() > 0)
        m_scene->removeLayerAt(0);
    m_ordering.clear();
    m_orderingGiven = false;
    m_layersGiven = true;
    m_fileLayers.clear();

    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"ordering") {
            m_ordering.clear();
            m_orderingGiven = true;
            for (const QString &part : readText().split(u';', Qt::SkipEmptyParts))
                m_ordering.append(SceneFormat::readInteger(part).value_or(0));
        } else if (m_xml.name() == u"layer") {
            if (m_expectedDrawings < 0) {
                m_progress.setMaximum(int(m_ordering.size()) + 1);
                m_progress.setValue(m_scene->layerCount());
            }
            readLayer();
        } else {
            m_xml.skipCurrentElement();
        }
        checkCancel();
    }

    m_progress.setValue(m_expectedDrawings < 0 ? m_scene->layerCount() : m_scene->totalNumberOfDrawings());
    const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> cells = cellsByKey();
    leadLinksToOriginals(cells);
    linkDistantClones(cells);
    m_scene->resolveClones();
    noteUnresolvedClones(cells);
    checkCancel();
    applyOrdering();
    checkCancel();
}

void SceneReaderPrivate::applyOrdering()
{
    // The ordering names the layers by their places in the file, those left
    // out included. Only a list that names each once says where each
    // stands: the layers kept stand in its order, one left out simply
    // missing from it. The user hears of any other list, and of none, unless
    // there is nothing to stand in order. Nothing else in a file tells how
    // its layers were stacked.
    const int count = m_scene->layerCount();
    const auto ignored = [this, count]() {
        if (count < 2)
            return;
        noteDamage(QString(), 0,
                   m_orderingGiven ? SceneReader::tr("the order of the layers is damaged, so they stand in the order "
                                                     "in which the file lists them")
                                   : SceneReader::tr("the order of the layers is missing, so they stand in the order "
                                                     "in which the file lists them"),
                   true);
    };
    const qsizetype listed = m_fileLayers.size();
    if (m_ordering.size() != listed)
        return ignored();
    QList<bool> named(listed, false);
    QList<int> kept;
    for (int entry : std::as_const(m_ordering)) {
        if (entry < 0 || entry >= listed || named.at(entry))
            return ignored();
        named[entry] = true;
        if (m_fileLayers.at(entry) >= 0)
            kept.append(m_fileLayers.at(entry));
    }
    // Every move repaints the frame: layers already in place stay.
    for (int position = 0; position < count; ++position) {
        const int layer = kept.at(position);
        const int from = m_scene->layerPositions().at(layer);
        if (from != position)
            m_scene->moveLayer(layer, from, position);
    }
}

QHash<LayerItem::Key, std::shared_ptr<LayerItem>> SceneReaderPrivate::cellsByKey() const
{
    QHash<LayerItem::Key, std::shared_ptr<LayerItem>> cells;
    for (int i = 0; i < m_scene->layerCount(); ++i) {
        const auto *visual = qobject_cast<const VisualLayer *>(m_scene->layerAt(i).get());
        if (!visual)
            continue;
        for (const std::shared_ptr<LayerItem> &cell : visual->cells()) {
            const LayerItem::Key key(visual->identifier(), cell->identifier());
            if (!cells.contains(key))
                cells.insert(key, cell);
        }
    }
    return cells;
}

// The program never lets a distant clone show another distant clone, nor a
// cell of a layer of another kind (a drawing layer has no room for a
// picture, a reference layer none for a drawing), but a file may hold
// either. A chain is led straight to the original it ends at, so that every
// distant clone names the cell that holds its drawing, as the scene's edits
// and the exports expect. A link that ends in a layer of another kind is
// refused: the cell keeps its place and its identifier, as a blank original
// of its own, and the user hears of it. Each link is judged by where the
// file leads it, whatever became of the cells it passes. A chain that ends
// at no original (at a cell not in the file, or in a circle) is left as it
// is and reported with the distant clones whose original is missing.
void SceneReaderPrivate::leadLinksToOriginals(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells)
{
    struct Link
    {
        VisualLayer *layer;
        int frame;
        std::shared_ptr<LayerItem> cell;
        LayerItem::Key original;
        bool chain;
    };
    QList<Link> links;
    for (int i = 0; i < m_scene->layerCount(); ++i) {
        auto *visual = qobject_cast<VisualLayer *>(m_scene->layerAt(i).get());
        for (int frame = 1; visual && frame <= visual->frameCount(); ++frame) {
            const std::shared_ptr<LayerItem> cell = visual->cell(frame);
            if (cell->kind() != LayerItem::DistantCloneKind)
                continue;
            LayerItem::Key key(cell->originalLayer(), cell->originalItem());
            std::shared_ptr<LayerItem> shown = cells.value(key);
            QSet<LayerItem::Key> passed;
            while (shown && shown->kind() == LayerItem::DistantCloneKind && !passed.contains(key)) {
                passed.insert(key);
                key = {shown->originalLayer(), shown->originalItem()};
                shown = cells.value(key);
            }
            if (shown && shown->kind() == LayerItem::OriginalKind)
                links.append({visual, frame, cell, key, !passed.isEmpty()});
        }
    }
    for (const Link &link : std::as_const(links)) {
        int originalLayer = -1;
        int originalFrame = 0;
        m_scene->findDrawing(link.original, &originalLayer, &originalFrame);
        const QString layerName = m_layerNames.value(link.layer->identifier());
        const QString originalName = m_layerNames.value(link.original.first);
        if (m_scene->layerAt(originalLayer)->type() != link.layer->type()) {
            link.cell->setKind(LayerItem::OriginalKind);
            link.cell->setOriginal({});
            link.cell->setDrawing(link.layer->newCell()->drawing());
            noteDamage(layerName, link.frame,
                       SceneReader::tr("it was linked to frame %2 of layer \"%1\", a layer of another kind, so it "
                                       "was left blank")
                           .arg(originalName)
                           .arg(originalFrame));
        } else if (link.chain) {
            link.cell->setOriginal(link.original);
            noteDamage(layerName, link.frame,
                       SceneReader::tr("it showed the drawing of a cell that shows it from elsewhere, so it now "
                                       "shows it from its original in layer \"%1\", frame %2")
                           .arg(originalName)
                           .arg(originalFrame),
                       true);
        }
    }
}

// An original's list of distant clones is taken from the file only where
// the cells agree: each listed cell is a distant clone that names the
// original back. Were the lists given to the cells while the layers join the
// scene one by one, a damaged list naming an original of an earlier layer
// would turn that cell into a distant clone and lose its drawing. A distant
// clone that names an original which does not list it is added to the list.
// Every list is made here whole, each clone in it once: the scene links the
// distant clones of a layer that joins it to the cells they name, originals
// or not, and those links are made again below, on originals only.
void SceneReaderPrivate::linkDistantClones(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells)
{
    const auto find = [&cells](const LayerItem::Key &key) { return cells.value(key); };
    for (const std::shared_ptr<LayerItem> &cell : cells) {
        if (!cell->distantClones().isEmpty())
            cell->setDistantClones({});
    }
    // What each original lists by the end.
    QHash<const LayerItem *, QSet<LayerItem::Key>> listedBy;
    for (const auto &[original, listed] : std::as_const(m_listedClones)) {
        QSet<LayerItem::Key> &known = listedBy[original.get()];
        QList<LayerItem::Key> keys;
        for (const LayerItem::Key &key : listed) {
            const std::shared_ptr<LayerItem> clone = find(key);
            if (!clone || clone->kind() != LayerItem::DistantCloneKind || known.contains(key)
                || find({clone->originalLayer(), clone->originalItem()}) != original)
                continue;
            known.insert(key);
            keys.append(key);
        }
        original->setDistantClones(keys);
    }
    m_listedClones.clear();

    QHash<LayerItem *, QList<LayerItem::Key>> unlisted;
    for (int i = 0; i < m_scene->layerCount(); ++i) {
        const auto *visual = qobject_cast<const VisualLayer *>(m_scene->layerAt(i).get());
        if (!visual)
            continue;
        for (const std::shared_ptr<LayerItem> &cell : visual->cells()) {
            if (cell->kind() != LayerItem::DistantCloneKind)
                continue;
            const std::shared_ptr<LayerItem> original = find({cell->originalLayer(), cell->originalItem()});
            const LayerItem::Key key(visual->identifier(), cell->identifier());
            if (original && original->kind() == LayerItem::OriginalKind) {
                QSet<LayerItem::Key> &known = listedBy[original.get()];
                if (!known.contains(key)) {
                    known.insert(key);
                    unlisted[original.get()].append(key);
                }
            }
        }
    }
    for (auto it = unlisted.cbegin(); it != unlisted.cend(); ++it)
        it.key()->setDistantClones(it.key()->distantClones() + it.value());
}

void SceneReaderPrivate::noteUnresolvedClones(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells)
{
    for (int i = 0; i < m_scene->layerCount(); ++i) {
        const auto *visual = qobject_cast<const VisualLayer *>(m_scene->layerAt(i).get());
        if (!visual)
            continue;
        for (int frame = 1; frame <= visual->frameCount(); ++frame) {
            const std::shared_ptr<LayerItem> cell = visual->cell(frame);
            if (cell->kind() != LayerItem::DistantCloneKind)
                continue;
            // What a chain that ends at no original shows is not in the file
            // either.
            const std::shared_ptr<LayerItem> shown = cells.value({cell->originalLayer(), cell->originalItem()});
            if (!shown || shown->kind() == LayerItem::DistantCloneKind)
                noteDamage(m_layerNames.value(visual->identifier()), frame,
                           SceneReader::tr("it shows a drawing that is not in the file"));
        }
    }
}

void SceneReaderPrivate::readLayer()
{
    m_fileLayers.append(-1);
    const QString type = attribute(QLatin1StringView("type")).toString();
    const QString name = attribute(QLatin1StringView("name")).toString();
    // How the damage report calls the layer: by its place in the file when
    // it has no name, since it may have none in the scene.
    const QString layerName = name.isEmpty() ? SceneReader::tr("Layer %1").arg(m_fileLayers.size()) : name;
    if (type.isEmpty()) {
        noteDamage(layerName, 0, SceneReader::tr("it has no kind, so it was left out with all it holds"));
        m_xml.skipCurrentElement();
        return;
    }
    const QUuid identifier = SceneFormat::readIdentifier(attribute(QLatin1StringView("identifier")));
    const bool visible = hasAttribute(QLatin1StringView("visible"))
        && SceneFormat::readFlag(attribute(QLatin1StringView("visible")));
    const bool linked = hasAttribute(QLatin1StringView("linked"))
        && SceneFormat::readFlag(attribute(QLatin1StringView("linked")));
    const QString beyond = attribute(QLatin1StringView("beyond")).toString();

    std::shared_ptr<Layer> layer;
    if (type == u"audio") {
        auto audio = std::make_shared<AudioLayer>(m_scene);
        readAudio(*audio, layerName);
        layer = audio;
    } else if (type == u"annotation" || type == u"scribble") {
        auto annotations = std::make_shared<AnnotationLayer>(m_scene);
        readAnnotation(*annotations, layerName);
        layer = annotations;
    } else if (type == u"stroke" || type == u"reference") {
        std::shared_ptr<VisualLayer> visual;
        if (type == u"stroke")
            visual = std::make_shared<StrokeLayer>(QColor(Qt::red), m_scene->frameSize(), m_scene);
        else
            visual = std::make_shared<ReferenceLayer>(m_scene->frameSize(), m_scene);
        // The cells come from the file.
        visual->takeCell(0);
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"opacity") {
                readOpacity(*visual);
            } else if (m_xml.name() == u"color" && type == u"stroke") {
                const QColor color = SceneFormat::readColor(readText());
                if (color.isValid())
                    static_cast<StrokeLayer &>(*visual).setColor(color);
            } else if (m_xml.name() == u"drawing") {
                if (std::shared_ptr<LayerItem> cell = readDrawing(*visual, layerName)) {
                    keepLeftOutCells();
                    visual->insertCell(visual->frameCount(), std::move(cell));
                }
                advance();
            } else {
                m_xml.skipCurrentElement();
            }
            checkCancel();
        }
        endLeftOutCells();
        // Every edit counts on a layer having a cell.
        if (visual->frameCount() == 0)
            visual->insertCell(0, visual->newCell());
        layer = visual;
    } else {
        // "paint" and anything else unknown.
        noteDamage(layerName, 0,
                   SceneReader::tr("it is of unknown kind \"%1\", so it was left out with all it holds").arg(type));
        m_xml.skipCurrentElement();
        return;
    }

    layer->setIdentifier(identifier);
    if (!name.isEmpty() && name != layer->name())
        layer->setName(name);
    if (linked != layer->isLinked())
        layer->setLinked(linked);
    if (auto *visual = qobject_cast<VisualLayer *>(layer.get())) {
        if (visible != visual->isVisible())
            visual->setVisible(visible);
        // The writer leaves the undefined setting out.
        if (beyond.isEmpty())
            layer->setLayerBeyondLast(Layer::LayerBeyondLast(0));
        else if (beyond == u"showNothing")
            layer->setLayerBeyondLast(Layer::ShowNothing);
        else if (beyond == u"freezeLast")
            layer->setLayerBeyondLast(Layer::FreezeLastDrawing);
        else if (beyond == u"cycleDrawings")
            layer->setLayerBeyondLast(Layer::CycleDrawings);
    }
    m_layerNames.insert(layer->identifier(), layerName);
    m_fileLayers.last() = m_scene->layerCount();
    m_scene->insertLayer(layer, m_scene->layerCount());
}

void SceneReaderPrivate::readAudio(AudioLayer &layer, const QString &layerName)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"offsetFrames") {
            layer.setOffsetFrames(SceneFormat::readNumber(readText()).value_or(0.0));
        } else if (m_xml.name() == u"originalAudioData") {
            const QByteArray &bytes = readBase64Text(layerName, 0);
            if (!bytes.isEmpty()) {
                layer.setOriginalAudioData(bytes);
                if (!layer.hasAudio())
                    noteDamage(layerName, 0, SceneReader::tr("its sound cannot be played: %1").arg(layer.errorString()));
                else if (!layer.warningString().isEmpty())
                    noteDamage(layerName, 0, SceneReader::tr("its sound is damaged: %1").arg(layer.warningString()));
            }
        } else {
            m_xml.skipCurrentElement();
        }
        checkCancel();
    }
}

void SceneReaderPrivate::readAnnotation(AnnotationLayer &layer, const QString &layerName)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"image") {
            const int frame = layer.imageCount() + 1;
            const QByteArray &bytes = readBase64Text(layerName, frame);
            QDataStream in(bytes);
            SceneFormat::preparePayloadStream(in, SceneFormat::Payload::Annotation);
            RleImage coded;
            in >> coded;
            QImage image;
            if (in.status() == QDataStream::Ok && (coded.width() != 0 || coded.height() != 0)) {
                const DecodeBudget budget(std::min(AnnotationBudget, m_noteBytesLeft));
                image = coded.toImage();
                m_noteBytesLeft -= image.sizeInBytes();
            }
            // The record of a frame without a note is that of a null image.
            if (in.status() != QDataStream::Ok || (image.isNull() && (coded.width() != 0 || coded.height() != 0)))
                noteDamage(layerName, frame, SceneReader::tr("its note cannot be read"));
            layer.appendImage(image);
        } else {
            m_xml.skipCurrentElement();
        }
        checkCancel();
    }
}

void SceneReaderPrivate::readOpacity(VisualLayer &layer)
{
    const double opacity = SceneFormat::readNumber(readText()).value_or(0.0);
    layer.setOpacity(std::clamp(opacity, 0.0, 1.0));
}

std::shared_ptr<LayerItem> SceneReaderPrivate::readDrawing(VisualLayer &layer, const QString &layerName)
{
    const int frame = layer.frameCount() + 1;
    const QStringView type = attribute(QLatin1StringView("type"));
    if (type.isEmpty()) {
        noteLeftOutCell(layerName, frame, LeftOut::NoKind);
        m_xml.skipCurrentElement();
        return nullptr;
    }
    const QTransform offPegs = readOffPegs();
    const bool keyDrawing = attribute(QLatin1StringView("keyDrawing")) == u"yes";

    std::shared_ptr<LayerItem> cell;
    if (type == u"clone") {
        // A hold of nothing is dropped.
        if (layer.frameCount() > 0)
            cell = std::make_shared<LayerItem>(layer.cells().constLast());
        else
            noteLeftOutCell(layerName, frame, LeftOut::HoldOfNothing);
        m_xml.skipCurrentElement();
    } else if (type == u"original") {
        cell = readOriginal(layer, layerName, frame);
    } else if (type == u"distantClone") {
        cell = readDistantClone();
        if (!cell)
            noteLeftOutCell(layerName, frame, LeftOut::NoOriginal);
    } else {
        noteLeftOutCell(layerName, frame, LeftOut::UnknownKind, type.toString());
        m_xml.skipCurrentElement();
    }
    if (cell) {
        cell->setOffPegsTransform(offPegs);
        cell->setKeyDrawing(keyDrawing);
    }
    return cell;
}

std::shared_ptr<LayerItem> SceneReaderPrivate::readOriginal(VisualLayer &layer, const QString &layerName, int frame)
{
    const QUuid identifier = SceneFormat::readIdentifier(attribute(QLatin1StringView("identifier")));
    const QUuid copyId = SceneFormat::readIdentifier(attribute(QLatin1StringView("copyId")));
    std::shared_ptr<LayerItem> cell = layer.newCell();
    // The cell keeps its identifier whatever becomes of its content, so
    // that the distant clones that name it still find it.
    if (!identifier.isNull())
        cell->setIdentifier(identifier);

    bool payload = false;
    QList<LayerItem::Key> distantClones;
    while (m_xml.readNextStartElement()) {
        // Each payload is read as what it holds, whatever the layer: a
        // drawing pasted into a layer of the other kind keeps its content.
        std::shared_ptr<Drawing> drawing;
        if (m_xml.name() == u"strokes") {
            drawing = readStrokes(layer.frameSize(), layerName, frame);
        } else if (m_xml.name() == u"image") {
            drawing = readImage(layerName, frame);
        } else {
            if (m_xml.name() == u"clone") {
                const QUuid cloneLayer = SceneFormat::readIdentifier(attribute(QLatin1StringView("layer")));
                const QUuid cloneItem = SceneFormat::readIdentifier(attribute(QLatin1StringView("drawing")));
                if (!cloneLayer.isNull() && !cloneItem.isNull())
                    distantClones.append({cloneLayer, cloneItem});
            }
            m_xml.skipCurrentElement();
            continue;
        }
        payload = true;
        if (!copyId.isNull())
            drawing->setCopyId(copyId);
        cell->setDrawing(std::move(drawing));
    }
    if (!distantClones.isEmpty())
        m_listedClones.append({cell, distantClones});
    if (!payload)
        noteDamage(layerName, frame, SceneReader::tr("its drawing is missing"));
    return cell;
}

std::shared_ptr<Drawing> SceneReaderPrivate::readStrokes(QSize frameSize, const QString &layerName, int frame)
{
    const QByteArray &bytes = readBase64Text(layerName, frame);
    auto drawing = std::make_shared<StrokeDrawing>(frameSize);

    // The size comes first: a drawing larger than any frame is refused
    // before anything is made for it.
    QDataStream head(bytes);
    SceneFormat::preparePayloadStream(head, SceneFormat::Payload::Strokes);
    QSize size;
    head >> size;
    if (head.status() != QDataStream::Ok) {
        noteDamage(layerName, frame, SceneReader::tr("its drawing is empty or cut short"));
        return drawing;
    }
    if (!isPossibleDrawingSize(size)) {
        noteDamage(layerName, frame,
                   (size.width() < 0 || size.height() < 0
                        ? SceneReader::tr("its drawing claims a size of %1x%2 pixels, and no side can be negative")
                        : SceneReader::tr("its drawing claims a size of %1x%2 pixels, larger than any frame"))
                       .arg(size.width())
                       .arg(size.height()));
        return drawing;
    }

    QDataStream in(bytes);
    SceneFormat::preparePayloadStream(in, SceneFormat::Payload::Strokes);
    // Hears of the collapsed strokes that lost their pictures.
    const DecodeBudget losses(DecodeBudget::unboundedBytes);
    // Drawn on, stamped, merged and resized as every other drawing of the
    // scene, it must have their frame; one that claims another is read at
    // the scene's frame straight away, never rendered at the one it claims.
    drawing->readFitted(in, frameSize);
    if (in.status() != QDataStream::Ok)
        noteDamage(layerName, frame,
                   SceneReader::tr("its drawing is damaged; the strokes before the damage were kept"));
    if (losses.losses() > 0)
        noteDamage(layerName, frame, SceneReader::tr("some of its collapsed strokes cannot be read"));
    // Where the file gives the frame, ink beyond it never showed; where the
    // frame is taken from elsewhere, ink that showed may no longer. The
    // drawing keeps that ink (a frame made large enough shows it again), so
    // nothing of it was left out.
    if (m_frameGuessed && size.isValid() && size != frameSize
        && inkOutsideFrame(*drawing, size, frameSize, m_inkCheckPixelsLeft))
        noteDamage(layerName, frame,
                   SceneReader::tr("its drawing was made for a frame of %1x%2 pixels, and its ink beyond the "
                                   "%3x%4 frame does not show")
                       .arg(size.width())
                       .arg(size.height())
                       .arg(frameSize.width())
                       .arg(frameSize.height()),
                   true);
    return drawing;
}

std::shared_ptr<Drawing> SceneReaderPrivate::readImage(const QString &layerName, int frame)
{
    const QByteArray &bytes = readBase64Text(layerName, frame);
    QDataStream in(bytes);
    SceneFormat::preparePayloadStream(in, SceneFormat::Payload::Image);
    QImage image;
    in >> image;
    if (in.status() != QDataStream::Ok) {
        noteDamage(layerName, frame, SceneReader::tr("its picture cannot be read"));
        image = QImage();
    }
    return std::make_shared<ImageDrawing>(image);
}

std::shared_ptr<LayerItem> SceneReaderPrivate::readDistantClone()
{
    const QUuid identifier = SceneFormat::readIdentifier(attribute(QLatin1StringView("identifier")));
    std::shared_ptr<LayerItem> cell;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"original") {
            const QUuid originalLayer = SceneFormat::readIdentifier(attribute(QLatin1StringView("layer")));
            const QUuid originalItem = SceneFormat::readIdentifier(attribute(QLatin1StringView("drawing")));
            if (!originalLayer.isNull() && !originalItem.isNull()) {
                // The drawing comes with the original once every layer is in.
                cell = std::make_shared<LayerItem>(QSize());
                if (!identifier.isNull())
                    cell->setIdentifier(identifier);
                cell->setKind(LayerItem::DistantCloneKind);
                cell->setOriginal({originalLayer, originalItem});
            }
        }
        m_xml.skipCurrentElement();
    }
    return cell;
}

QTransform SceneReaderPrivate::readOffPegs() const
{
    return SceneFormat::composeOffPegs(SceneFormat::readNumber(attribute(QLatin1StringView("xOffset"))),
                                       SceneFormat::readNumber(attribute(QLatin1StringView("yOffset"))),
                                       SceneFormat::readNumber(attribute(QLatin1StringView("rotationDeg"))));
}

SceneReader::SceneReader(Scene *scene, QObject *progress)
    : d(std::make_unique<SceneReaderPrivate>(scene, progress))
{
    SceneFormat::prepareProgress(progress, tr("Opening scene..."), tr("Cancel"));
}

SceneReader::~SceneReader() = default;

namespace {

// The bytes of the document behind device, from its position on: a file's
// mapped into memory, a buffer's as they are, any other device's read.
class DocumentBytes
{
public:
    explicit DocumentBytes(QIODevice *device)
    {
        if (!device)
            return;
        if (auto *buffer = qobject_cast<QBuffer *>(device)) {
            m_bytes = QByteArrayView(buffer->data()).sliced(std::min(buffer->pos(), qint64(buffer->data().size())));
            return;
        }
        auto *file = qobject_cast<QFileDevice *>(device);
        if (file && file->size() > file->pos()) {
            m_mapped = file->map(file->pos(), file->size() - file->pos());
            if (m_mapped) {
                m_file = file;
                m_bytes = QByteArrayView(m_mapped, file->size() - file->pos());
                return;
            }
        }
        m_read = device->readAll();
        m_bytes = m_read;
    }
    ~DocumentBytes()
    {
        if (m_file && m_mapped)
            m_file->unmap(m_mapped);
    }
    Q_DISABLE_COPY_MOVE(DocumentBytes)

    QByteArrayView bytes() const { return m_bytes; }

private:
    QFileDevice *m_file = nullptr;
    uchar *m_mapped = nullptr;
    QByteArray m_read;
    QByteArrayView m_bytes;
};

} // namespace

int SceneReader::read(QIODevice *device)
{
    RendererSize renderer;
    const DocumentBytes document(device);
    const ScenePayloads payloads(document.bytes());
    const QByteArrayView markup = payloads.markup();
    // The XML reader keeps the device for its error messages; nothing is
    // read from it once read() has returned.
    d->m_markupBytes = QByteArray::fromRawData(markup.data(), markup.size());
    d->m_markupDevice.close();
    d->m_markupDevice.setBuffer(&d->m_markupBytes);
    d->m_markupDevice.open(QIODevice::ReadOnly);
    d->m_payloads = &payloads;
    d->m_xml.setDevice(&d->m_markupDevice);
    const auto result = [this](int value) {
        d->m_payloads = nullptr;
        d->m_progress.reset();
        return value;
    };
    try {
        if (!d->m_xml.readNextStartElement())
            return result(d->m_xml.hasError() ? SceneFormat::Failed : SceneFormat::Done);
        if (d->m_xml.name() == u"kl" && d->attribute(QLatin1StringView("version")) == SceneFormat::Version) {
            while (d->m_xml.readNextStartElement()) {
                if (d->m_xml.name() == u"scene" && d->m_scene)
                    d->readScene(renderer);
                else
                    d->m_xml.skipCurrentElement();
            }
        } else {
            d->m_xml.raiseError(tr("The file is not a KL version 0.4 file"));
        }
    } catch (const ReadingCancelledException &) {
        return result(SceneFormat::Cancelled);
    }
    return result(d->m_xml.hasError() ? SceneFormat::Failed : SceneFormat::Done);
}

QString SceneReader::errorString() const
{
    if (!d->m_xml.hasError())
        return {};
    return tr("%1\nLine %2, column %3")
        .arg(d->m_xml.errorString())
        .arg(d->m_xml.lineNumber())
        .arg(d->m_xml.columnNumber());
}

QList<SceneReader::Damage> SceneReader::damage() const
{
    return d->m_damage;
}

QString SceneReader::damageHeading(const QList<Damage> &damage, const QString &fileName)
{
    const auto madeGood = [](const Damage &entry) { return entry.madeGood; };
    if (std::none_of(damage.cbegin(), damage.cend(), madeGood))
        return tr("Parts of %1 could not be read and were left out:").arg(fileName);
    if (std::all_of(damage.cbegin(), damage.cend(), madeGood))
        return tr("Parts of %1 were missing or damaged; nothing was left out:").arg(fileName);
    return tr("Parts of %1 were missing or damaged; some could not be read and were left out:").arg(fileName);
}

QString SceneReader::damageReport() const
{
    // One line per layer and kind of damage, in the order first met.
    QList<std::pair<QString, QString>> kinds;
    QHash<std::pair<QString, QString>, qsizetype> kindIndex;
    QList<QList<int>> frames;
    for (const Damage &damage : std::as_const(d->m_damage)) {
        const std::pair<QString, QString> kind(damage.layer, damage.problem);
        qsizetype at = kindIndex.value(kind, -1);
        if (at < 0) {
            at = kinds.size();
            kindIndex.insert(kind, at);
            kinds.append(kind);
            frames.append(QList<int>());
        }
        if (damage.frame > 0)
            frames[at].append(damage.frame);
    }
    QStringList lines;
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        QList<int> &layerFrames = frames[i];
        std::sort(layerFrames.begin(), layerFrames.end());
        layerFrames.erase(std::unique(layerFrames.begin(), layerFrames.end()), layerFrames.end());
        const QString &layer = kinds.at(i).first;
        // The audio layer's own texts end in a full stop already.
        QString problem = kinds.at(i).second;
        if (!problem.endsWith(u'.'))
            problem += u'.';
        if (layer.isEmpty() && !problem.isEmpty())
            lines.append(problem.at(0).toUpper() + problem.mid(1));
        else if (layerFrames.isEmpty())
            lines.append(tr("Layer \"%1\": %2").arg(layer, problem));
        else if (layerFrames.size() == 1)
            lines.append(tr("Layer \"%1\", frame %2: %3").arg(layer, frameList(layerFrames), problem));
        else
            lines.append(tr("Layer \"%1\", frames %2: %3").arg(layer, frameList(layerFrames), problem));
    }
    return lines.join(u'\n');
}

} // namespace Model
