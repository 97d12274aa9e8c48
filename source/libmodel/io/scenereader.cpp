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
#include "scene/scene.h"
#include "strokes/compoundstroke.h"
#include "strokes/decodebudget.h"
#include "strokes/rleimage.h"
#include "strokes/stroke.h"

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
#include <cstring>
#include <limits>
#include <optional>

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
// drawings together: beyond it, the ink is not measured, and the user hears
// so. A few strips of a frame cost little; a file of many drawings that
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

// Every value that reads is one the scene can have, unless the caller says
// otherwise.
struct AnyValue
{
    template<typename T>
    bool operator()(const T &) const
    {
        return true;
    }
};

// An entry of the ordering that cannot be read.
constexpr int UnreadableEntry = -2;

} // namespace

class SceneReaderPrivate
{
public:
    SceneReaderPrivate(Scene *scene, QObject *progress)
        : m_scene(scene)
        , m_progress(progress)
    {
    }

    void readScene();
    void applyRange(QStringView rangeText, QStringView frameText, QStringView layerText);
    // A side of the frame the file gives: its text, its number when it reads
    // as one, and its value when that is a side a frame can have.
    struct Side
    {
        QStringView text;
        std::optional<int> read;
        std::optional<int> value;
    };
    void readFrameSize();
    void restoreMissingFrame(Side width, Side height);
    QSize frameOfTheDrawings(int width, int height, int *having, int *sized) const;
    void readLayers();
    void finishLayers();
    void readLayer();
    // A layer left out: the cells it holds are counted all the same.
    void skipLayer(const QString &layerName);
    // The kind of layer ("stroke", "reference", "audio", "annotation") that
    // the content of the n-th layer element of the file shows; empty when
    // it shows none.
    QString kindShown(int n);
    std::shared_ptr<LayerItem> readDrawing(VisualLayer &layer, const QString &layerName);
    // What a cell element holds, for one whose kind cannot be read.
    struct Content
    {
        bool payload = false;
        bool children = false;
        std::optional<LayerItem::Key> original;
    };
    // content, when given, is filled in for a cell whose kind cannot be
    // read: the cell is an original only if a payload comes.
    std::shared_ptr<LayerItem> readOriginal(VisualLayer &layer, const QString &layerName, int frame,
                                            Content *content = nullptr);
    std::shared_ptr<LayerItem> readDistantClone(VisualLayer &layer, const QString &layerName, int frame);
    // A cell whose kind cannot be read as written keeps its place as the
    // kind its content shows, or empty: the cells after it stay where they
    // are. kind is the text given, null when none is.
    std::shared_ptr<LayerItem> readByContent(VisualLayer &layer, const QString &layerName, int frame,
                                             QStringView kind);
    // The "identifier" of a layer or cell; null, so that it keeps the fresh
    // one it was made with, for one missing, unreadable or taken already.
    QUuid readIdentifier(const QString &layerName, int frame, const QSet<QUuid> &taken);
    // A flag the format reads as set unless it is "no", and as not set when
    // it is missing.
    bool readFlag(const QString &layerName, int frame, const QString &what, QLatin1StringView name,
                  const QString &set, const QString &unset, bool alwaysWritten);
    QTransform readOffPegs(const QString &layerName, int frame);
    void readOpacity(VisualLayer &layer, const QString &layerName);
    void readAudio(AudioLayer &layer, const QString &layerName);
    void readAnnotation(AnnotationLayer &layer, const QString &layerName);
    // The payloads; each notes its damage and gives what it could read.
    std::shared_ptr<Drawing> readStrokes(QSize frameSize, const QString &layerName, int frame);
    std::shared_ptr<Drawing> readImage(const QString &layerName, int frame);
    void noteInkBeyond(const StrokeDrawing &drawing, QSize claimed, const QString &layerName, int frame);
    // Every cell of the scene by its key; where a file gives two cells one
    // key, the first, as the scene's own look-up finds it.
    QHash<LayerItem::Key, std::shared_ptr<LayerItem>> cellsByKey() const;
    void leadLinksToOriginals(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells);
    void linkDistantClones(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells);
    void followListings(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells);
    void followTakenIdentifiers(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells);
    void applyOrdering();
    void checkNoteCounts();

    // Null when the attribute is absent; empty, but not null, when it is
    // given empty.
    QStringView attribute(QLatin1StringView name) const;
    // An attribute given with a value that is not empty.
    bool hasAttribute(QLatin1StringView name) const { return !attribute(name).isEmpty(); }
    // Empty, but not null, for an element without text.
    QString readText();
    // Whether the writer gives a value in every file, so that a file without
    // it has lost it, or only where it is not the default.
    enum class Written { Always, WhenSet };
    // Why a value of the file was not taken as it stands.
    enum class Replaced { Missing, Unreadable, Impossible, Taken };
    // Every value the file gives as text (an attribute, or a text element)
    // that has a default is read here: read() makes a value of the text,
    // nullopt when it cannot, and possible() says whether the scene can have
    // it. A value that is absent where the writer always gives one, present
    // but unreadable, or not possible takes fallback, and the report names
    // it with the value used in its place, shown as show() makes it: nothing
    // is replaced unsaid. A value given empty cannot be read. One absent
    // (a null text) where the writer leaves out the default takes fallback
    // without a word. Each caller gives the value that keeps the scene as
    // usable as an absent one would.
    template<typename T, typename Read, typename Show, typename Possible = AnyValue>
    T readValue(const QString &layerName, int frame, const QString &what, QStringView text, Read read, T fallback,
                Show show, Written written = Written::Always, Possible possible = {});
    void noteReplaced(const QString &layerName, int frame, Replaced why, const QString &what, QStringView text,
                      const QString &used);
    // Whether the element is the first of its name where the writer gives
    // one (met counts them): a later one is named, once, and skipped.
    bool isFirst(QHash<QString, int> &met, const QString &layerName, int frame, const QString &what);
    // The payload of the element: valid until the next is read. What it
    // held besides Base64 is kept for notePayload().
    const QByteArray &readBase64Text();
    // Tells what the payload just read held besides its data, once its
    // record has been read: characters skipped beside data that then reads
    // whole by its own checks (readsWhole) were made good; anything else is
    // damage.
    void notePayload(const QString &layerName, int frame, bool readsWhole);
    void checkCancel() const;
    // madeGood: nothing was lost, what was missing or damaged was made good.
    // Once the file cannot be read on, nothing more is noted: what is
    // missing then is missing for want of the rest of the file, which one
    // note tells of (noteCut()).
    void noteDamage(const QString &layerName, int frame, const QString &problem, bool madeGood = false);
    // The XML reader stopped at damage: the element being read there, the
    // innermost first, unless an inner one has.
    void markCut(const QString &layerName, int frame, bool drawnLayer);
    // Whether the file stopped where it was cut short, or where bytes that
    // are no markup (zeros an interrupted copy leaves) take the place of its
    // end: then what was read is kept.
    bool isCutShort() const;
    void noteCut();
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
    // Where the XML reader stopped at damage: in which layer, at which cell
    // (0 for none), and how much of the file the elements read until then
    // say was still to come.
    struct Cut
    {
        QString layer;
        int frame = 0;
        bool drawnLayer = false;
        int layersMissing = 0;
        // Cut inside the ordering, which names as many layers as it holds
        // entries before the cut, and perhaps more.
        bool inOrdering = false;
    };
    std::optional<Cut> m_cut;
    bool m_sceneStarted = false;
    // The kind the content of each layer element shows, found once a layer
    // is met whose kind cannot be read.
    std::optional<QStringList> m_kindsShown;
    // The identifiers that the file gives layers after one before them, and
    // the new identifier each such layer has: the file's keys of cells name
    // those layers by the identifiers it gives them.
    QMultiHash<QUuid, QUuid> m_takenLayerIdentifiers;
    // Whether the file gives an ordering of its layers.
    bool m_orderingGiven = false;
    // How many lists of layers the file gives.
    int m_layerLists = 0;
    // The ordering of the list being read, which names its layers from 0.
    QList<int> m_listOrdering;
    // For each "layer" element met so far, kept or not, the index of the
    // layer made of it in the scene; -1 for one left out. The file names its
    // layers by their places among these elements.
    QList<int> m_fileLayers;
    // The names the damage report gives the layers read so far, by identifier.
    QMap<QUuid, QString> m_layerNames;
    // The identifiers of the layers read so far.
    QSet<QUuid> m_layerIdentifiers;
    // The identifiers of the cells of the layer being read.
    QSet<QUuid> m_cellIdentifiers;
    // The ordering of the list being read, as its text, where an entry of it
    // cannot be read.
    QString m_unreadableOrdering;
    // Each annotation layer read, by its name in the report: how many frames
    // of notes it holds, and whether the last of them is blank.
    struct NoteCount
    {
        QString layer;
        int count;
        bool blankLast;
    };
    QList<NoteCount> m_noteCounts;
    // The distant clones each original lists in the file, kept apart until
    // every layer is in (see linkDistantClones()).
    struct Listed
    {
        std::shared_ptr<LayerItem> original;
        QList<LayerItem::Key> clones;
        QString layerName;
        int frame;
    };
    QList<Listed> m_listedClones;
    // The document being read: its markup and the payloads taken out. Both
    // lie in bytes that read() borrows, and go with it: what is asked of the
    // reader afterwards is settled before it returns.
    const ScenePayloads *m_payloads = nullptr;
    QByteArray m_markupBytes;
    QBuffer m_markupDevice;
    // Whether the read stopped at a cut, which kept what came before it.
    bool m_cutShort = false;
    // Whether the document holds its root's end tag.
    bool m_rootClosed = false;
    // Whether the markup stops before bytes that are no UTF-8.
    bool m_misencoded = false;
    // Payloads are decoded into one buffer, which keeps its memory.
    QByteArray m_payloadBytes;
    SceneFormat::Strays m_strays = SceneFormat::Strays::None;
};

void SceneReaderPrivate::checkCancel() const
{
    if (m_progress.wasCanceled())
        throw ReadingCancelledException();
}

void SceneReaderPrivate::noteDamage(const QString &layerName, int frame, const QString &problem, bool madeGood)
{
    if (m_xml.hasError())
        return;
    m_damage.append({layerName, frame, problem, madeGood});
}

QStringView SceneReaderPrivate::attribute(QLatin1StringView name) const
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    if (!attributes.hasAttribute(name))
        return {};
    const QStringView value = attributes.value(name);
    return value.isEmpty() ? QStringView(u"") : value;
}

QString SceneReaderPrivate::readText()
{
    const QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    return text.isNull() ? QStringLiteral("") : text;
}

void SceneReaderPrivate::markCut(const QString &layerName, int frame, bool drawnLayer)
{
    if (m_xml.hasError() && !m_cut)
        m_cut = Cut{layerName, frame, drawnLayer, 0};
}

bool SceneReaderPrivate::isCutShort() const
{
    // A document whose markup holds its root's end tag was damaged in the
    // middle, and is refused as it is, whether the XML reader stopped at the
    // damage or ran on to the end inside what the damage left open (a
    // comment, a value): what follows the damage is there, but cannot be
    // read.
    const QXmlStreamReader::Error error = m_xml.error();
    return m_sceneStarted && m_cut && !m_rootClosed
        && (error == QXmlStreamReader::PrematureEndOfDocumentError || error == QXmlStreamReader::NotWellFormedError);
}

void SceneReaderPrivate::noteCut()
{
    const Cut cut = *m_cut;
    const int cellsMissing = m_expectedDrawings >= 0 ? std::max(m_expectedDrawings - m_drawingsRead, 0) : -1;
    QStringList lost;
    if (cut.frame > 0)
        lost.append(SceneReader::tr("the rest of this cell"));
    else if (!cut.layer.isEmpty() && (!cut.drawnLayer || cellsMissing < 0))
        lost.append(SceneReader::tr("the rest of this layer"));
    if (cellsMissing == 1)
        lost.append(SceneReader::tr("one more cell"));
    else if (cellsMissing > 1)
        lost.append(SceneReader::tr("%1 more cells").arg(cellsMissing));
    // An ordering cut short tells only how many layers there were at least.
    if (cut.inOrdering && cut.layersMissing == 0)
        lost.append(SceneReader::tr("its layers"));
    else if (cut.layersMissing == 1)
        lost.append(cut.inOrdering ? SceneReader::tr("at least one more layer") : SceneReader::tr("one more layer"));
    else if (cut.layersMissing > 1)
        lost.append((cut.inOrdering ? SceneReader::tr("at least %1 more layers") : SceneReader::tr("%1 more layers"))
                        .arg(cut.layersMissing));
    if (lost.isEmpty() && (cellsMissing < 0 || !m_orderingGiven))
        lost.append(SceneReader::tr("whatever came after it"));
    const QString last = lost.isEmpty() ? QString() : lost.takeLast();
    const QString parts =
        lost.isEmpty() ? last : SceneReader::tr("%1 and %2").arg(lost.join(QStringLiteral(", ")), last);
    m_damage.append({cut.layer, cut.frame,
                     parts.isEmpty() ? SceneReader::tr("the file ends early, but all its layers and cells were read")
                                     : SceneReader::tr("the file ends early; %1 could not be read").arg(parts),
                     parts.isEmpty()});
}

void SceneReaderPrivate::advance()
{
    ++m_drawingsRead;
    if (m_expectedDrawings >= 0)
        m_progress.setValue(std::min(m_drawingsRead, m_expectedDrawings));
}

const QByteArray &SceneReaderPrivate::readBase64Text()
{
    const QString text = readText();
    m_strays = SceneFormat::Strays::None;
    if (!m_payloads || !m_payloads->payload(text, m_payloadBytes, &m_strays))
        m_payloadBytes = SceneFormat::readBase64(text, &m_strays);
    return m_payloadBytes;
}

void SceneReaderPrivate::notePayload(const QString &layerName, int frame, bool readsWhole)
{
    // Whole groups of four around the strays say nothing of what was lost:
    // four characters replaced by strays leave them whole too.
    switch (m_strays) {
    case SceneFormat::Strays::None:
        return;
    case SceneFormat::Strays::BesideWholeData:
        if (readsWhole) {
            noteDamage(layerName, frame,
                       SceneReader::tr("its data holds characters that do not belong there; they were skipped, "
                                       "and the data around them is whole"),
                       true);
            return;
        }
        [[fallthrough]];
    case SceneFormat::Strays::InBrokenData:
        noteDamage(layerName, frame,
                   SceneReader::tr("its data holds characters that do not belong there, and some of its own are "
                                   "missing"));
        return;
    case SceneFormat::Strays::Miscounted:
        noteDamage(layerName, frame,
                   SceneReader::tr("its data has characters missing or too many, so all that follows them is "
                                   "shifted"));
        return;
    }
}

template<typename T, typename Read, typename Show, typename Possible>
T SceneReaderPrivate::readValue(const QString &layerName, int frame, const QString &what, QStringView text,
                                Read read, T fallback, Show show, Written written, Possible possible)
{
    if (text.isNull()) {
        if (written == Written::Always)
            noteReplaced(layerName, frame, Replaced::Missing, what, text, show(fallback));
        return fallback;
    }
    const std::optional<T> value = text.isEmpty() ? std::nullopt : read(text);
    if (value && possible(*value))
        return *value;
    noteReplaced(layerName, frame, value ? Replaced::Impossible : Replaced::Unreadable, what, text, show(fallback));
    return fallback;
}

void SceneReaderPrivate::noteReplaced(const QString &layerName, int frame, Replaced why, const QString &what,
                                      QStringView text, const QString &used)
{
    QString problem;
    switch (why) {
    case Replaced::Missing:
        problem = SceneReader::tr("%1 is missing, so it is %2").arg(what, used);
        break;
    case Replaced::Unreadable:
        problem = SceneReader::tr("%1 \"%2\" cannot be read, so it is %3").arg(what, text.toString(), used);
        break;
    case Replaced::Impossible:
        problem = SceneReader::tr("%1 \"%2\" is not possible, so it is %3").arg(what, text.toString(), used);
        break;
    case Replaced::Taken:
        problem = SceneReader::tr("%1 \"%2\" is taken already, so it is %3").arg(what, text.toString(), used);
        break;
    }
    // Nothing is left out: the value in its place keeps the scene whole.
    noteDamage(layerName, frame, problem, true);
}

bool SceneReaderPrivate::isFirst(QHash<QString, int> &met, const QString &layerName, int frame, const QString &what)
{
    const int count = ++met[m_xml.name().toString()];
    if (count == 1)
        return true;
    // What a later one holds may differ from the first: it is left out.
    if (count == 2)
        noteDamage(layerName, frame, SceneReader::tr("%1 is given more than once; only the first was read").arg(what));
    m_xml.skipCurrentElement();
    return false;
}

namespace {

std::optional<int> integerOf(QStringView text)
{
    return SceneFormat::readInteger(text);
}

std::optional<double> numberOf(QStringView text)
{
    return SceneFormat::readNumber(text);
}

QString shownNumber(double value)
{
    return SceneFormat::shortDecimal(value);
}

// A UUID that is not null; the null one counts as absent.
std::optional<QUuid> identifierOf(QStringView text)
{
    const QUuid identifier = SceneFormat::readIdentifier(text);
    return identifier.isNull() ? std::nullopt : std::optional<QUuid>(identifier);
}

// "yes" or "no", as the writer writes them.
std::optional<bool> flagOf(QStringView text)
{
    if (text == u"yes" || text == u"no")
        return text == u"yes";
    return std::nullopt;
}

} // namespace

void SceneReaderPrivate::readScene()
{
    m_progress.reset();
    m_sceneStarted = true;

    const QString none;
    m_scene->setHighestUsedLayerNumber(readValue(none, 0, SceneReader::tr("the last number given to a new layer"),
                                                 attribute(QLatin1StringView("highestUsedLayerNumber")), integerOf,
                                                 m_scene->highestUsedLayerNumber(), shownNumber, Written::Always,
                                                 [](int number) { return number >= 0; }));
    readFrameSize();

    // Applied once the layers are in.
    const QString rangeText = attribute(QLatin1StringView("frameRange")).toString();
    const QString frameText = attribute(QLatin1StringView("activeFrameNumber")).toString();
    const QString layerText = attribute(QLatin1StringView("activeLayerIndex")).toString();
    // A rate the scene does not keep as given (none at all, or beyond what
    // it plays) is named with the one it keeps.
    const auto perSecond = [](double rate) {
        return SceneReader::tr("%1 frames per second").arg(SceneFormat::sixDigits(rate));
    };
    const QString rateText = attribute(QLatin1StringView("fps")).toString();
    const double rate = readValue(none, 0, SceneReader::tr("the frame rate"), rateText, numberOf,
                                  m_scene->frameRate(), perSecond);
    m_scene->setFrameRate(rate);
    if (!qFuzzyCompare(m_scene->frameRate(), rate))
        noteReplaced(none, 0, Replaced::Impossible, SceneReader::tr("the frame rate"), rateText,
                     perSecond(m_scene->frameRate()));
    // The count sizes the progress, and tells whether cells were lost.
    m_expectedDrawings = readValue(
        none, 0, SceneReader::tr("the number of its cells"), attribute(QLatin1StringView("totalNumberOfDrawings")),
        integerOf, -1, [](int) { return SceneReader::tr("unknown"); }, Written::WhenSet,
        [](int count) { return count >= 0 && count < INT_MAX; });
    if (m_expectedDrawings >= 0) {
        m_progress.setMaximum(m_expectedDrawings + 1);
        m_progress.setValue(0);
    }

    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"layers")
            readLayers();
        else
            m_xml.skipCurrentElement();
    }
    markCut(none, 0, false);
    if (m_layerLists > 0)
        finishLayers();
    else
        noteDamage(none, 0, SceneReader::tr("the list of the scene's layers is missing"));
    if (m_expectedDrawings >= 0 && m_drawingsRead != m_expectedDrawings)
        noteDamage(none, 0,
                   SceneReader::tr("the file says it holds %1 cells, but it holds %2, so cells may have been lost "
                                   "or added")
                       .arg(m_expectedDrawings)
                       .arg(m_drawingsRead));

    m_scene->updateMaxFrameNumber();
    checkNoteCounts();
    checkCancel();
    applyRange(rangeText, frameText, layerText);
    checkCancel();
    m_progress.setValue(1 + (m_expectedDrawings < 0 ? m_scene->layerCount() : m_scene->totalNumberOfDrawings()));
}

// The range with the active frame and layer, once the layers are in: each
// that the file does not give as the scene has it then (missing, unreadable,
// or one the scene cannot have) is named with what it has.
void SceneReaderPrivate::applyRange(QStringView rangeText, QStringView frameText, QStringView layerText)
{
    // A part of the range that cannot be read is taken as missing: the
    // first frame, or the last. A last frame of -1 is the scene's last.
    const QStringList range = rangeText.toString().split(u';', Qt::SkipEmptyParts);
    std::optional<int> first = range.size() == 2 ? SceneFormat::readInteger(range.at(0)) : std::nullopt;
    std::optional<int> last = range.size() == 2 ? SceneFormat::readInteger(range.at(1)) : std::nullopt;
    const bool rangeRead = first && last;
    const int maximum = m_scene->maximumFrameNumber();
    if (last == -1)
        last = maximum;
    // A range given backwards is put in order.
    const bool backwards = rangeRead && *first > *last;
    if (backwards)
        std::swap(first, last);
    const std::optional<int> activeFrame = integerOf(frameText);
    const std::optional<int> activeIndex = integerOf(layerText);

    // The range setter looks the active layer up in the ordering. The file
    // names it by its place among the layers it lists: one left out, or an
    // index outside the layers (a scene saved without an active layer has
    // -1), is replaced by the top layer. A scene without cells keeps the
    // range it has, and no active cell, as it was saved.
    int activeLayer = activeIndex.value_or(0);
    if (m_layerLists > 0)
        activeLayer = activeLayer >= 0 && activeLayer < m_fileLayers.size() ? m_fileLayers.at(activeLayer) : -1;
    const int givenLayer = activeLayer;
    bool rendered = false;
    const int count = m_scene->layerCount();
    bool cells = false;
    for (int i = 0; i < count; ++i)
        cells = cells || m_scene->isVisualLayer(i);
    if (cells) {
        if (activeLayer < 0 || activeLayer >= count)
            activeLayer = m_scene->layerOrdering().constFirst();
        rendered = m_scene->setFrameRange(first.value_or(0), last.value_or(maximum), activeFrame.value_or(1),
                                          activeLayer);
    }
    const auto check = [this, cells](const QString &what, QStringView text, bool read, bool kept,
                                     const QString &used) {
        if (!read || (cells && !kept))
            noteReplaced(QString(), 0,
                         text.isNull() ? Replaced::Missing : read ? Replaced::Impossible : Replaced::Unreadable,
                         what, text, used);
    };
    check(SceneReader::tr("the frame range"), rangeText, rangeRead,
          !backwards && m_scene->frameRangeFirst() == first && m_scene->frameRangeLast() == last,
          QStringLiteral("%1-%2").arg(m_scene->frameRangeFirst()).arg(m_scene->frameRangeLast()));
    check(SceneReader::tr("the active frame"), frameText, activeFrame.has_value(),
          m_scene->activeFrame() == activeFrame, shownNumber(m_scene->activeFrame()));
    const std::shared_ptr<Layer> active = m_scene->layerAt(m_scene->activeLayerIdx());
    check(SceneReader::tr("the place of the active layer"), layerText, activeIndex.has_value(),
          !active || m_scene->activeLayerIdx() == givenLayer,
          active ? SceneReader::tr("that of layer \"%1\"").arg(m_layerNames.value(active->identifier()))
                 : SceneReader::tr("none"));
    // A range that changed has had the frame's pictures made afresh.
    if (!rendered)
        m_scene->updateCachedFramePixmap(true);
}

// Both sides given and possible are the frame: it is the one the user
// chose, and drawings pasted from a scene of another size kept that scene's
// frame in files of earlier versions. Where two drawings at least agree on
// another, the user hears of it, and the frame stays. A side missing, one
// that cannot be read and one that no scene can have are made good from
// the drawings.
void SceneReaderPrivate::readFrameSize()
{
    const auto side = [this](QLatin1StringView name) {
        const QStringView text = attribute(name);
        const std::optional<int> read = SceneFormat::readInteger(text);
        return Side{text, read, read && isPossibleFrameSide(*read) ? read : std::nullopt};
    };
    const Side width = side(QLatin1StringView("frameWidth"));
    const Side height = side(QLatin1StringView("frameHeight"));
    m_frameGuessed = !width.value || !height.value;
    if (m_frameGuessed) {
        restoreMissingFrame(width, height);
        return;
    }
    const QSize frame(*width.value, *height.value);
    m_scene->setFrameSize(frame, KL::FitMode::FitModeIgnore, nullptr);
    int having = 0;
    int sized = 0;
    const QSize drawn = frameOfTheDrawings(0, 0, &having, &sized);
    if (drawn.isValid() && drawn != frame && sized >= 2 && having == sized)
        noteDamage(QString(), 0,
                   SceneReader::tr("the frame of %1x%2 pixels is that of none of the scene's drawings, which were "
                                   "made for %3x%4 pixels; the frame is kept as the file gives it")
                       .arg(frame.width())
                       .arg(frame.height())
                       .arg(drawn.width())
                       .arg(drawn.height()),
                   true);
}

// Every drawing is fitted to the frame, so a file that lacks it, or one
// side of it, takes the frame its drawings were made for, else keeps the one
// the scene was made with, with a side the file gives; the user hears which,
// and how many drawings have it.
void SceneReaderPrivate::restoreMissingFrame(Side width, Side height)
{
    int having = 0;
    int sized = 0;
    const QSize drawn = frameOfTheDrawings(width.value.value_or(0), height.value.value_or(0), &having, &sized);
    // A side given that no drawing has keeps the other side of the frame the
    // drawings have, else of the scene's own.
    QSize frame = drawn;
    bool otherSideDrawn = false;
    if (!frame.isValid()) {
        frame = m_scene->frameSize();
        if (width.value || height.value) {
            int unused = 0;
            const QSize others = frameOfTheDrawings(0, 0, &unused, &unused);
            otherSideDrawn = others.isValid();
            if (otherSideDrawn)
                frame = others;
        }
        frame = QSize(width.value.value_or(frame.width()), height.value.value_or(frame.height()));
    }
    if (frame != m_scene->frameSize())
        m_scene->setFrameSize(frame, KL::FitMode::FitModeIgnore, nullptr);

    const auto lacking = [](const Side &side, const QString &missing, const QString &unreadable,
                            const QString &impossible) {
        if (side.value)
            return QString();
        if (side.text.isNull())
            return missing;
        return (side.read ? impossible : unreadable).arg(side.text.toString());
    };
    QString missing;
    if (width.text.isNull() && height.text.isNull()) {
        missing = SceneReader::tr("the frame size is missing");
    } else {
        QStringList sides{lacking(width, SceneReader::tr("the frame width is missing"),
                                  SceneReader::tr("the frame width \"%1\" cannot be read"),
                                  SceneReader::tr("the frame width \"%1\" is not possible")),
                          lacking(height, SceneReader::tr("the frame height is missing"),
                                  SceneReader::tr("the frame height \"%1\" cannot be read"),
                                  SceneReader::tr("the frame height \"%1\" is not possible"))};
        sides.removeAll(QString());
        missing = sides.join(SceneReader::tr(" and "));
    }
    QString problem;
    if (drawn.isValid()) {
        if (having == sized)
            problem = SceneReader::tr("%1, so the frame is %2x%3 pixels, the size of the scene's drawings");
        else if (having * 2 > sized)
            problem = SceneReader::tr("%1, so the frame is %2x%3 pixels, the size most of the scene's drawings have");
        else
            problem = SceneReader::tr("%1, so the frame is %2x%3 pixels, the size %4 of the scene's %5 drawings have");
    } else if (width.value) {
        problem = otherSideDrawn
            ? SceneReader::tr("%1, so the frame is %2x%3 pixels: the width given, and the height of the drawings")
            : SceneReader::tr("%1, so the frame is %2x%3 pixels: the width given, and the default height");
    } else if (height.value) {
        problem = otherSideDrawn
            ? SceneReader::tr("%1, so the frame is %2x%3 pixels: the height given, and the width of the drawings")
            : SceneReader::tr("%1, so the frame is %2x%3 pixels: the height given, and the default width");
    } else if (sized == 0) {
        problem = SceneReader::tr("%1 and no drawing tells it, so the frame is the default, %2x%3 pixels");
    } else {
        problem = SceneReader::tr("%1 and no two drawings were made for the same frame, so the frame is the "
                                  "default, %2x%3 pixels");
    }
    problem = problem.arg(missing).arg(frame.width()).arg(frame.height());
    if (drawn.isValid() && having * 2 <= sized)
        problem = problem.arg(having).arg(sized);
    noteDamage(QString(), 0, problem, true);
}

// The size that most stroke drawings of the document give, of those that
// agree with the sides given (0: not given); of sizes as common, the largest,
// which shows the most of every drawing. A size counts only when more than
// one drawing gives it, or when the drawings give no other: a file whose
// drawings each claim a frame of its own cannot have one of them made its
// frame, and every other drawing fitted to it. QSize() when no size counts.
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
        // The size leads the record: the head of the text is enough, but
        // for one whose head holds strays.
        const QString text = xml.readElementText();
        constexpr qsizetype HeadCharacters = 64;
        if (!m_payloads || !m_payloads->payload(text, bytes, nullptr, HeadCharacters))
            bytes = SceneFormat::readBase64(QStringView(text).first(std::min(text.size(), HeadCharacters)));
        if (bytes.size() < 8 && (!m_payloads || !m_payloads->payload(text, bytes, nullptr)))
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
        if (*it < 2 && counts.size() > 1)
            continue;
        if (most == counts.cend() || *it > *most || (*it == *most && area(it.key()) > area(most.key())))
            most = it;
    }
    *having = most == counts.cend() ? 0 : *most;
    return most == counts.cend() ? QSize() : QSize(most.key().first, most.key().second);
}

// A file may list its layers in several lists; the layers of each are
// read, in turn, and each list's ordering names its own layers. Nothing
// that any list holds is lost.
void SceneReaderPrivate::readLayers()
{
    if (m_layerLists++ == 0) {
        while (m_scene->layerCount() > 0)
            m_scene->removeLayerAt(0);
        m_ordering.clear();
        m_orderingGiven = false;
        m_fileLayers.clear();
    }
    const int listedBefore = int(m_fileLayers.size());
    m_listOrdering.clear();

    QHash<QString, int> met;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"ordering") {
            if (!isFirst(met, QString(), 0, SceneReader::tr("the order of the layers")))
                continue;
            m_orderingGiven = true;
            const QString text = readText();
            // An ordering cut short is not followed, but every layer it
            // names, and any it no longer names, is missing.
            if (m_xml.hasError()) {
                markCut(QString(), 0, false);
                m_cut->layersMissing = int(text.split(u';', Qt::SkipEmptyParts).size());
                m_cut->inOrdering = true;
                continue;
            }
            for (const QString &part : text.split(u';', Qt::SkipEmptyParts))
                m_listOrdering.append(SceneFormat::readInteger(part).value_or(UnreadableEntry));
            if (m_listOrdering.contains(UnreadableEntry))
                m_unreadableOrdering = text;
        } else if (m_xml.name() == u"layer") {
            if (m_expectedDrawings < 0) {
                m_progress.setMaximum(int(m_ordering.size() + m_listOrdering.size()) + 1);
                m_progress.setValue(m_scene->layerCount());
            }
            readLayer();
        } else {
            m_xml.skipCurrentElement();
        }
        checkCancel();
    }
    // Cut short, the list's ordering names layers that never came: they are
    // missing as layers left out are, and the others stand in its order.
    const int layersMet = int(m_fileLayers.size()) - listedBefore;
    markCut(QString(), 0, false);
    if (m_cut && m_listOrdering.size() > layersMet) {
        m_cut->layersMissing = int(m_listOrdering.size()) - layersMet;
        m_fileLayers.append(QList<int>(m_cut->layersMissing, -1));
    }
    // The list's layers follow those of the lists before it, and stand below
    // them.
    for (int entry : std::as_const(m_listOrdering)) {
        const bool listed = entry >= 0 && entry < m_fileLayers.size() - listedBefore;
        m_ordering.append(listed ? entry + listedBefore : entry == UnreadableEntry ? entry : -1);
    }
}

void SceneReaderPrivate::finishLayers()
{
    if (m_layerLists > 1)
        noteDamage(QString(), 0,
                   SceneReader::tr("the file lists its layers in %1 separate lists; the layers of all of them "
                                   "were read")
                       .arg(m_layerLists),
                   true);
    m_progress.setValue(m_expectedDrawings < 0 ? m_scene->layerCount() : m_scene->totalNumberOfDrawings());
    const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> cells = cellsByKey();
    followTakenIdentifiers(cells);
    followListings(cells);
    leadLinksToOriginals(cells);
    linkDistantClones(cells);
    m_scene->resolveClones();
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
    for (int entry : std::as_const(m_ordering)) {
        if (entry == UnreadableEntry)
            continue;
        if (entry < 0 || entry >= listed || named.at(entry))
            return ignored();
        named[entry] = true;
    }
    // One entry that cannot be read can only stand for the one layer that
    // the others leave out.
    if (const qsizetype unreadable = m_ordering.count(UnreadableEntry); unreadable > 0) {
        if (unreadable > 1)
            return ignored();
        m_ordering.replace(m_ordering.indexOf(UnreadableEntry), int(named.indexOf(false)));
        noteDamage(QString(), 0,
                   SceneReader::tr("the order of the layers \"%1\" cannot be read in full, so the layer it does "
                                   "not name stands where it cannot be read")
                       .arg(m_unreadableOrdering),
                   true);
    }
    QList<int> kept;
    for (int entry : std::as_const(m_ordering)) {
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
// at no original (at a cell not in the file, or in a circle) shows nothing
// the file holds: the cell is left blank the same way, so that the file
// saved then holds no link that leads nowhere.
void SceneReaderPrivate::leadLinksToOriginals(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells)
{
    struct Link
    {
        VisualLayer *layer;
        int frame;
        std::shared_ptr<LayerItem> cell;
        // Null where the chain ends at no original.
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
            const bool found = shown && shown->kind() == LayerItem::OriginalKind;
            links.append({visual, frame, cell, found ? key : LayerItem::Key(), !passed.isEmpty()});
        }
    }
    for (const Link &link : std::as_const(links)) {
        int originalLayer = -1;
        int originalFrame = 0;
        m_scene->findDrawing(link.original, &originalLayer, &originalFrame);
        const QString layerName = m_layerNames.value(link.layer->identifier());
        const QString originalName = m_layerNames.value(link.original.first);
        const std::shared_ptr<Layer> shown = m_scene->layerAt(originalLayer);
        if (!shown || shown->type() != link.layer->type()) {
            link.cell->setKind(LayerItem::OriginalKind);
            link.cell->setOriginal({});
            link.cell->setDrawing(link.layer->newCell()->drawing());
            noteDamage(layerName, link.frame,
                       shown ? SceneReader::tr("it was linked to frame %2 of layer \"%1\", a layer of another kind, "
                                               "so it was left blank")
                                   .arg(originalName)
                                   .arg(originalFrame)
                             : SceneReader::tr("the drawing it showed cannot be found in the file, so it was left "
                                               "blank"));
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
    for (const auto &[original, listed, layerName, frame] : std::as_const(m_listedClones)) {
        QSet<LayerItem::Key> &known = listedBy[original.get()];
        QList<LayerItem::Key> keys;
        bool strays = false;
        for (const LayerItem::Key &key : listed) {
            const std::shared_ptr<LayerItem> clone = find(key);
            // A cell listed that shows nothing from elsewhere is named here;
            // a distant clone that shows another drawing, for itself.
            strays = strays || !clone || clone->kind() != LayerItem::DistantCloneKind;
            if (!clone || clone->kind() != LayerItem::DistantCloneKind || known.contains(key)
                || find({clone->originalLayer(), clone->originalItem()}) != original)
                continue;
            known.insert(key);
            keys.append(key);
        }
        original->setDistantClones(keys);
        if (strays)
            noteDamage(layerName, frame,
                       SceneReader::tr("it lists, as showing its drawing from elsewhere, a cell that does not; the "
                                       "list was put right"),
                       true);
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

// A distant clone whose key finds no cell (the identifier of the original's
// layer or cell could not be taken, or the key is damaged) shows the
// original whose list of distant clones names it, where one does: each
// cell of a link names the other, and the file keeps one side of it whole.
void SceneReaderPrivate::followListings(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells)
{
    // The original that lists each distant clone; null where two do.
    QHash<LayerItem::Key, std::shared_ptr<LayerItem>> listedBy;
    for (const Listed &listed : std::as_const(m_listedClones)) {
        for (const LayerItem::Key &key : listed.clones)
            listedBy.insert(key, listedBy.value(key, listed.original) == listed.original ? listed.original : nullptr);
    }
    if (listedBy.isEmpty())
        return;
    QHash<const LayerItem *, LayerItem::Key> keys;
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        keys.insert(it.value().get(), it.key());
    for (int i = 0; i < m_scene->layerCount(); ++i) {
        const auto *visual = qobject_cast<const VisualLayer *>(m_scene->layerAt(i).get());
        for (int frame = 1; visual && frame <= visual->frameCount(); ++frame) {
            const std::shared_ptr<LayerItem> cell = visual->cell(frame);
            if (cell->kind() != LayerItem::DistantCloneKind
                || cells.contains({cell->originalLayer(), cell->originalItem()}))
                continue;
            const std::shared_ptr<LayerItem> original = listedBy.value({visual->identifier(), cell->identifier()});
            if (!original || !keys.contains(original.get()))
                continue;
            const LayerItem::Key key = keys.value(original.get());
            int originalLayer = -1;
            int originalFrame = 0;
            m_scene->findDrawing(key, &originalLayer, &originalFrame);
            cell->setOriginal(key);
            noteDamage(m_layerNames.value(visual->identifier()), frame,
                       SceneReader::tr("the drawing it shows from elsewhere cannot be found by its link, so it "
                                       "shows the one that lists it, frame %2 of layer \"%1\"")
                           .arg(m_layerNames.value(key.first))
                           .arg(originalFrame),
                       true);
        }
    }
}

// A layer that the file gives an identifier another layer before it has
// takes a new one, but the file's keys name its cells by the one it gave:
// a key that names no cell by the layers' identifiers now is led to the
// cell it names in a layer that was given that identifier, on both ends of
// each link, so that the link holds whichever of the two layers comes first.
void SceneReaderPrivate::followTakenIdentifiers(const QHash<LayerItem::Key, std::shared_ptr<LayerItem>> &cells)
{
    if (m_takenLayerIdentifiers.isEmpty())
        return;
    const auto led = [&](const LayerItem::Key &key) {
        if (cells.contains(key))
            return key;
        for (auto it = m_takenLayerIdentifiers.constFind(key.first);
             it != m_takenLayerIdentifiers.cend() && it.key() == key.first; ++it) {
            if (cells.contains({it.value(), key.second}))
                return LayerItem::Key(it.value(), key.second);
        }
        return key;
    };
    for (const std::shared_ptr<LayerItem> &cell : cells) {
        if (cell->kind() == LayerItem::DistantCloneKind)
            cell->setOriginal(led({cell->originalLayer(), cell->originalItem()}));
    }
    for (Listed &listed : m_listedClones) {
        for (LayerItem::Key &key : listed.clones)
            key = led(key);
    }
}

// The writer gives a note for every frame of the scene, and beyond its last
// frame only up to the last note: a layer with fewer, or with more that end
// blank, has lost or gained some, and those after them stand at other frames.
void SceneReaderPrivate::checkNoteCounts()
{
    const int frames = m_scene->maximumFrameNumber();
    for (const NoteCount &notes : std::as_const(m_noteCounts)) {
        if (notes.count < frames || (notes.count > frames && notes.blankLast))
            noteDamage(notes.layer, 0,
                       SceneReader::tr("it holds notes for %1 frames where the scene has %2, so some may stand at "
                                       "other frames than they were made for")
                           .arg(notes.count)
                           .arg(frames));
    }
}

void SceneReaderPrivate::readLayer()
{
    m_fileLayers.append(-1);
    const QString given = attribute(QLatin1StringView("type")).toString();
    const QString name = attribute(QLatin1StringView("name")).toString();
    // How the damage report calls the layer: by its place in the file when
    // it has no name, since it may have none in the scene.
    const QString layerName = name.isEmpty() ? SceneReader::tr("Layer %1").arg(m_fileLayers.size()) : name;
    const QStringList kinds{QStringLiteral("stroke"), QStringLiteral("reference"), QStringLiteral("audio"),
                            QStringLiteral("annotation"), QStringLiteral("scribble")};
    QString type = given;
    // A kind that cannot be read is the one the layer's content shows. A
    // paint layer is of a kind the program does not have: it is left out.
    if (!kinds.contains(given) && given != u"paint") {
        type = kindShown(int(m_fileLayers.size()) - 1);
        if (!type.isEmpty()) {
            const QStringList shown{SceneReader::tr("a drawing layer, as its content shows"),
                                    SceneReader::tr("a reference layer, as its content shows"),
                                    SceneReader::tr("a sound layer, as its content shows"),
                                    SceneReader::tr("a layer of notes, as its content shows")};
            noteReplaced(layerName, 0, given.isNull() ? Replaced::Missing : Replaced::Unreadable,
                         SceneReader::tr("its kind"), given, shown.at(kinds.indexOf(type)));
        }
    }
    if (type.isEmpty() || type == u"paint") {
        noteDamage(layerName, 0,
                   given.isEmpty() ? SceneReader::tr("it has no kind, so it was left out with all it holds")
                                   : SceneReader::tr("it is of unknown kind \"%1\", so it was left out with all it "
                                                     "holds")
                                         .arg(given));
        skipLayer(layerName);
        return;
    }
    const bool drawn = type == u"stroke" || type == u"reference";
    const std::optional<QUuid> fileIdentifier = identifierOf(attribute(QLatin1StringView("identifier")));
    const QUuid identifier = readIdentifier(layerName, 0, m_layerIdentifiers);
    // A name given empty is the layer's; only one left out is named.
    if (!m_xml.attributes().hasAttribute(QLatin1StringView("name")))
        noteReplaced(layerName, 0, Replaced::Missing, SceneReader::tr("its name"), {}, SceneReader::tr("blank"));
    const bool linked = readFlag(layerName, 0, SceneReader::tr("its link"), QLatin1StringView("linked"),
                                 SceneReader::tr("linked"), SceneReader::tr("not linked"), true);
    const bool visible = drawn
        && readFlag(layerName, 0, SceneReader::tr("its visibility"), QLatin1StringView("visible"),
                    SceneReader::tr("shown"), SceneReader::tr("hidden"), true);
    const QString beyond = attribute(QLatin1StringView("beyond")).toString();
    m_cellIdentifiers.clear();

    std::shared_ptr<Layer> layer;
    if (type == u"audio") {
        auto audio = std::make_shared<AudioLayer>(m_scene);
        readAudio(*audio, layerName);
        layer = audio;
    } else if (!drawn) {
        auto annotations = std::make_shared<AnnotationLayer>(m_scene);
        readAnnotation(*annotations, layerName);
        layer = annotations;
    } else {
        std::shared_ptr<VisualLayer> visual;
        if (type == u"stroke")
            visual = std::make_shared<StrokeLayer>(QColor(Qt::red), m_scene->frameSize(), m_scene);
        else
            visual = std::make_shared<ReferenceLayer>(m_scene->frameSize(), m_scene);
        // The cells come from the file.
        visual->takeCell(0);
        QHash<QString, int> met;
        const QString opacity = SceneReader::tr("its opacity");
        const QString colour = SceneReader::tr("its colour");
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"opacity") {
                if (isFirst(met, layerName, 0, opacity))
                    readOpacity(*visual, layerName);
            } else if (m_xml.name() == u"color" && type == u"stroke") {
                if (!isFirst(met, layerName, 0, colour))
                    continue;
                auto &strokes = static_cast<StrokeLayer &>(*visual);
                strokes.setColor(readValue(
                    layerName, 0, colour, readText(),
                    [](QStringView text) {
                        const QColor color = SceneFormat::readColor(text);
                        return color.isValid() ? std::optional<QColor>(color) : std::nullopt;
                    },
                    strokes.color(), [](const QColor &color) { return SceneFormat::colorText(color); }));
            } else if (m_xml.name() == u"drawing") {
                const int frame = visual->frameCount() + 1;
                std::shared_ptr<LayerItem> cell = readDrawing(*visual, layerName);
                markCut(layerName, frame, true);
                m_cellIdentifiers.insert(cell->identifier());
                visual->insertCell(visual->frameCount(), std::move(cell));
                advance();
            } else {
                m_xml.skipCurrentElement();
            }
            checkCancel();
        }
        markCut(layerName, 0, true);
        if (!met.contains(QStringLiteral("opacity")))
            noteReplaced(layerName, 0, Replaced::Missing, opacity, {}, shownNumber(visual->opacity()));
        if (type == u"stroke" && !met.contains(QStringLiteral("color")))
            noteReplaced(layerName, 0, Replaced::Missing, colour, {},
                         SceneFormat::colorText(static_cast<StrokeLayer &>(*visual).color()));
        // Every edit counts on a layer having a cell.
        if (visual->frameCount() == 0)
            visual->insertCell(0, visual->newCell());
        layer = visual;
    }

    layer->setIdentifier(identifier);
    if (identifier.isNull() && fileIdentifier && m_layerIdentifiers.contains(*fileIdentifier))
        m_takenLayerIdentifiers.insert(*fileIdentifier, layer->identifier());
    m_layerIdentifiers.insert(layer->identifier());
    if (!name.isEmpty() && name != layer->name())
        layer->setName(name);
    if (linked != layer->isLinked())
        layer->setLinked(linked);
    if (auto *visual = qobject_cast<VisualLayer *>(layer.get())) {
        if (visible != visual->isVisible())
            visual->setVisible(visible);
        // The writer leaves the undefined setting out; a setting that
        // cannot be read leaves the new layer's.
        if (beyond.isNull()) {
            layer->setLayerBeyondLast(Layer::LayerBeyondLast(0));
        } else {
            const QStringList keywords{QStringLiteral("showNothing"), QStringLiteral("freezeLast"),
                                       QStringLiteral("cycleDrawings")};
            layer->setLayerBeyondLast(readValue(
                layerName, 0, SceneReader::tr("its setting for the frames after its last cell"), beyond,
                [&keywords](QStringView text) -> std::optional<Layer::LayerBeyondLast> {
                    const qsizetype at = keywords.indexOf(text);
                    return at < 0 ? std::nullopt : std::optional(Layer::LayerBeyondLast(at + 1));
                },
                layer->layerBeyondLast(),
                [&keywords](Layer::LayerBeyondLast setting) {
                    return QStringLiteral("\"%1\"").arg(keywords.value(int(setting) - 1));
                }));
        }
    }
    m_layerNames.insert(layer->identifier(), layerName);
    m_fileLayers.last() = m_scene->layerCount();
    m_scene->insertLayer(layer, m_scene->layerCount());
}

void SceneReaderPrivate::skipLayer(const QString &layerName)
{
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"drawing")
            advance();
        m_xml.skipCurrentElement();
        checkCancel();
    }
    markCut(layerName, 0, false);
}

QString SceneReaderPrivate::kindShown(int n)
{
    if (m_kindsShown)
        return m_kindsShown->value(n);
    // Each layer element of the first scene's lists of layers, in the order
    // readLayers() meets them: what its children show. Only a stroke layer
    // has a colour; the cells of a reference layer hold pictures, those of a
    // stroke layer drawings, but either may hold some pasted from the other.
    const QStringList layerPath{QStringLiteral("kl"), QStringLiteral("scene"), QStringLiteral("layers"),
                                QStringLiteral("layer")};
    struct Shown
    {
        bool colour = false;
        bool cells = false;
        bool sound = false;
        bool notes = false;
        int drawings = 0;
        int pictures = 0;
    } shown;
    m_kindsShown = QStringList();
    QXmlStreamReader xml(m_markupBytes);
    QStringList path;
    int scenes = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            if (path == layerPath) {
                QString kind;
                if (shown.sound)
                    kind = QStringLiteral("audio");
                else if (shown.colour || (shown.cells && shown.drawings >= shown.pictures))
                    kind = QStringLiteral("stroke");
                else if (shown.cells)
                    kind = QStringLiteral("reference");
                else if (shown.notes)
                    kind = QStringLiteral("annotation");
                m_kindsShown->append(kind);
            }
            if (!path.isEmpty())
                path.removeLast();
        } else if (token == QXmlStreamReader::StartElement) {
            path.append(xml.name().toString());
            const QStringView name = xml.name();
            if (path.size() == 2 && name == u"scene" && ++scenes > 1) {
                xml.skipCurrentElement();
                path.removeLast();
            } else if (path == layerPath) {
                shown = Shown();
            } else if (path.size() == 5 && path.first(4) == layerPath) {
                shown.colour = shown.colour || name == u"color";
                shown.cells = shown.cells || name == u"opacity" || name == u"color" || name == u"drawing";
                shown.sound = shown.sound || name == u"offsetFrames" || name == u"originalAudioData";
                shown.notes = shown.notes || name == u"image";
            } else if (path.size() == 6 && path.first(4) == layerPath && path.at(4) == u"drawing") {
                shown.drawings += name == u"strokes" ? 1 : 0;
                shown.pictures += name == u"image" ? 1 : 0;
            }
        }
    }
    return m_kindsShown->value(n);
}

bool SceneReaderPrivate::readFlag(const QString &layerName, int frame, const QString &what, QLatin1StringView name,
                                  const QString &set, const QString &unset, bool alwaysWritten)
{
    const QStringView text = attribute(name);
    // Given at all, even empty, the flag was set: the writer gives one
    // that is not set as "no", or not at all.
    return readValue(layerName, frame, what, text, flagOf, !text.isNull(),
                     [&](bool value) { return value ? set : unset; },
                     alwaysWritten ? Written::Always : Written::WhenSet);
}

void SceneReaderPrivate::readAudio(AudioLayer &layer, const QString &layerName)
{
    // A layer plays one sound, the first the file gives it (an element
    // without data gives none); any other is named, not read.
    int sounds = 0;
    bool given = false;
    QHash<QString, int> met;
    const QString offset = SceneReader::tr("its offset in frames");
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"originalAudioData" && sounds > 0) {
            if (sounds++ == 1)
                noteDamage(layerName, 0, SceneReader::tr("it holds more than one sound; only the first was read"));
            m_xml.skipCurrentElement();
        } else if (m_xml.name() == u"offsetFrames") {
            if (!isFirst(met, layerName, 0, offset))
                continue;
            // The layer keeps offsets in hundredths of a frame, within reach
            // of the sound.
            const QString text = readText();
            const double frames = readValue(layerName, 0, offset, text, numberOf, layer.offsetFrames(), shownNumber);
            layer.setOffsetFrames(frames);
            if (std::abs(layer.offsetFrames() - frames) > 1e-9)
                noteReplaced(layerName, 0, Replaced::Impossible, offset, text, shownNumber(layer.offsetFrames()));
        } else if (m_xml.name() == u"originalAudioData") {
            given = true;
            const QByteArray &bytes = readBase64Text();
            if (!bytes.isEmpty()) {
                ++sounds;
                layer.setOriginalAudioData(bytes);
                if (!layer.hasAudio())
                    noteDamage(layerName, 0, SceneReader::tr("its sound cannot be played: %1").arg(layer.errorString()));
                else if (!layer.warningString().isEmpty())
                    noteDamage(layerName, 0, SceneReader::tr("its sound is damaged: %1").arg(layer.warningString()));
            }
            // The sound is judged as its import judges it, by its own header
            // and samples: it reads whole where it plays to its end without a
            // word. Groups of four added or lost leave the groups around them
            // whole; where that puts samples out of step, the import says
            // so.
            notePayload(layerName, 0, layer.hasAudio() && layer.warningString().isEmpty());
        } else {
            m_xml.skipCurrentElement();
        }
        checkCancel();
    }
    markCut(layerName, 0, false);
    if (!met.contains(QStringLiteral("offsetFrames")))
        noteReplaced(layerName, 0, Replaced::Missing, offset, {}, shownNumber(layer.offsetFrames()));
    if (!given)
        noteDamage(layerName, 0, SceneReader::tr("its sound is missing"));
}

void SceneReaderPrivate::readAnnotation(AnnotationLayer &layer, const QString &layerName)
{
    bool blankLast = false;
    while (m_xml.readNextStartElement()) {
        if (m_xml.name() == u"image") {
            const int frame = layer.imageCount() + 1;
            const QByteArray &bytes = readBase64Text();
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
            const bool damaged =
                in.status() != QDataStream::Ok || (image.isNull() && (coded.width() != 0 || coded.height() != 0));
            if (damaged)
                noteDamage(layerName, frame, SceneReader::tr("its note cannot be read"));
            notePayload(layerName, frame, !damaged && in.atEnd());
            layer.appendImage(image);
            blankLast = !damaged && image.isNull();
        } else {
            m_xml.skipCurrentElement();
        }
        checkCancel();
    }
    markCut(layerName, 0, false);
    m_noteCounts.append({layerName, layer.imageCount(), blankLast});
}

void SceneReaderPrivate::readOpacity(VisualLayer &layer, const QString &layerName)
{
    // One that cannot be read, or that the layer cannot have, is that of a
    // new layer, which shows: an opacity below none would hide it.
    const QString what = SceneReader::tr("its opacity");
    const QString text = readText();
    const double fallback = layer.opacity();
    const double opacity = readValue(layerName, 0, what, text, numberOf, fallback, shownNumber);
    layer.setOpacity(opacity);
    if (layer.opacity() != opacity) {
        layer.setOpacity(fallback);
        noteReplaced(layerName, 0, Replaced::Impossible, what, text, shownNumber(fallback));
    }
}

std::shared_ptr<LayerItem> SceneReaderPrivate::readDrawing(VisualLayer &layer, const QString &layerName)
{
    const int frame = layer.frameCount() + 1;
    const QString type = attribute(QLatin1StringView("type")).toString();
    const QTransform offPegs = readOffPegs(layerName, frame);
    const bool keyDrawing = readFlag(layerName, frame, SceneReader::tr("its key-drawing mark"),
                                     QLatin1StringView("keyDrawing"), SceneReader::tr("a key drawing"),
                                     SceneReader::tr("not a key drawing"), false);

    std::shared_ptr<LayerItem> cell;
    if (type == u"clone" && layer.frameCount() > 0) {
        cell = std::make_shared<LayerItem>(layer.cells().constLast());
        m_xml.skipCurrentElement();
    } else if (type == u"original") {
        cell = readOriginal(layer, layerName, frame);
    } else if (type == u"distantClone") {
        cell = readDistantClone(layer, layerName, frame);
    } else {
        cell = readByContent(layer, layerName, frame, type);
    }
    cell->setOffPegsTransform(offPegs);
    cell->setKeyDrawing(keyDrawing);
    return cell;
}

std::shared_ptr<LayerItem> SceneReaderPrivate::readByContent(VisualLayer &layer, const QString &layerName, int frame,
                                                             QStringView kind)
{
    const bool identified = !attribute(QLatin1StringView("identifier")).isNull();
    Content content;
    std::shared_ptr<LayerItem> cell = readOriginal(layer, layerName, frame, &content);
    QString used;
    if (content.payload) {
        used = SceneReader::tr("an original drawing, as its content shows");
    } else if (content.original) {
        // The drawing comes with the original once every layer is in.
        const QUuid identifier = cell->identifier();
        cell = std::make_shared<LayerItem>(QSize());
        cell->setIdentifier(identifier);
        cell->setKind(LayerItem::DistantCloneKind);
        cell->setOriginal(*content.original);
        used = SceneReader::tr("a drawing shown from elsewhere, as its content shows");
    } else if (!content.children && !identified && layer.frameCount() > 0) {
        // As the writer writes a hold: nothing but its kind.
        cell = std::make_shared<LayerItem>(layer.cells().constLast());
        used = SceneReader::tr("a hold of the cell before it, as a cell without content is");
    }
    const QString problem = kind == u"clone"
        ? SceneReader::tr("it holds the cell before it, and there is none")
        : kind.isNull() ? SceneReader::tr("its kind is missing")
                        : SceneReader::tr("its kind \"%1\" cannot be read").arg(kind.toString());
    // What it was cannot be told: whatever it showed is lost.
    if (used.isEmpty())
        noteDamage(layerName, frame,
                   SceneReader::tr("%1, and its content shows no other, so it was left empty").arg(problem));
    else
        noteDamage(layerName, frame, SceneReader::tr("%1, so it is %2").arg(problem, used), true);
    return cell;
}

std::shared_ptr<LayerItem> SceneReaderPrivate::readOriginal(VisualLayer &layer, const QString &layerName, int frame,
                                                            Content *content)
{
    // A cell whose kind cannot be read may be a hold, which has none.
    const QUuid identifier = content && attribute(QLatin1StringView("identifier")).isNull()
        ? QUuid()
        : readIdentifier(layerName, frame, m_cellIdentifiers);
    const QUuid copyId = readValue(layerName, frame, SceneReader::tr("its drawing's copy id"),
                                   attribute(QLatin1StringView("copyId")), identifierOf, QUuid(),
                                   [](const QUuid &) { return SceneReader::tr("none"); }, Written::WhenSet);
    std::shared_ptr<LayerItem> cell = layer.newCell();
    // The cell keeps its identifier whatever becomes of its content, so
    // that the distant clones that name it still find it.
    if (!identifier.isNull())
        cell->setIdentifier(identifier);

    bool payload = false;
    bool morePayloads = false;
    QList<LayerItem::Key> distantClones;
    while (m_xml.readNextStartElement()) {
        if (content)
            content->children = true;
        // A cell shows one drawing, the first the file gives it; any other
        // is named, not read.
        if (payload && (m_xml.name() == u"strokes" || m_xml.name() == u"image")) {
            if (!morePayloads)
                noteDamage(layerName, frame,
                           SceneReader::tr("it holds more than one drawing; only the first was read"));
            morePayloads = true;
            m_xml.skipCurrentElement();
            continue;
        }
        // Each payload is read as what it holds, whatever the layer: a
        // drawing pasted into a layer of the other kind keeps its content.
        std::shared_ptr<Drawing> drawing;
        if (m_xml.name() == u"strokes") {
            drawing = readStrokes(layer.frameSize(), layerName, frame);
        } else if (m_xml.name() == u"image") {
            drawing = readImage(layerName, frame);
        } else {
            const QUuid linkLayer = SceneFormat::readIdentifier(attribute(QLatin1StringView("layer")));
            const QUuid linkItem = SceneFormat::readIdentifier(attribute(QLatin1StringView("drawing")));
            const bool linked = !linkLayer.isNull() && !linkItem.isNull();
            if (m_xml.name() == u"clone" && linked)
                distantClones.append({linkLayer, linkItem});
            else if (m_xml.name() == u"original" && linked && content && !content->original)
                content->original = LayerItem::Key(linkLayer, linkItem);
            m_xml.skipCurrentElement();
            continue;
        }
        payload = true;
        if (!copyId.isNull())
            drawing->setCopyId(copyId);
        cell->setDrawing(std::move(drawing));
    }
    if (content)
        content->payload = payload;
    if (!distantClones.isEmpty() && (payload || !content))
        m_listedClones.append({cell, distantClones, layerName, frame});
    if (!payload && !content)
        noteDamage(layerName, frame, SceneReader::tr("its drawing is missing"));
    return cell;
}

std::shared_ptr<Drawing> SceneReaderPrivate::readStrokes(QSize frameSize, const QString &layerName, int frame)
{
    const QByteArray &bytes = readBase64Text();
    auto drawing = std::make_shared<StrokeDrawing>(frameSize);

    // The size comes first: a drawing larger than any frame is refused
    // before anything is made for it.
    QDataStream head(bytes);
    SceneFormat::preparePayloadStream(head, SceneFormat::Payload::Strokes);
    QSize size;
    head >> size;
    if (head.status() != QDataStream::Ok) {
        noteDamage(layerName, frame, SceneReader::tr("its drawing is empty or cut short"));
        notePayload(layerName, frame, false);
        return drawing;
    }
    if (!isPossibleDrawingSize(size)) {
        noteDamage(layerName, frame,
                   (size.width() < 0 || size.height() < 0
                        ? SceneReader::tr("its drawing claims a size of %1x%2 pixels, and no side can be negative")
                        : SceneReader::tr("its drawing claims a size of %1x%2 pixels, larger than any frame"))
                       .arg(size.width())
                       .arg(size.height()));
        notePayload(layerName, frame, false);
        return drawing;
    }

    QDataStream in(bytes);
    SceneFormat::preparePayloadStream(in, SceneFormat::Payload::Strokes);
    // Hears of the collapsed strokes that lost their pictures.
    const DecodeBudget losses(DecodeBudget::unboundedBytes);
    // Drawn on, stamped, merged and resized as every other drawing of the
    // scene, it must have their frame; one that claims another is read at
    // the scene's frame straight away, never rendered at the one it claims.
    // A size in a file may have been damaged or edited by hand, while the
    // strokes are the drawing: those beyond the size it claims show as far
    // as the frame reaches.
    drawing->readFitted(in, frameSize, StrokeDrawing::InkBeyondClaim::Shown);
    const bool parsed = in.status() == QDataStream::Ok;
    if (!parsed)
        noteDamage(layerName, frame,
                   SceneReader::tr("its drawing is damaged; the strokes before the damage were kept"));
    if (losses.losses() > 0)
        noteDamage(layerName, frame, SceneReader::tr("some of its collapsed strokes cannot be read"));
    notePayload(layerName, frame, parsed && in.atEnd() && losses.losses() == 0);
    if (size.isValid() && size != frameSize)
        noteInkBeyond(*drawing, size, layerName, frame);
    return drawing;
}

// A drawing read for a frame of another size than it claims: the user hears
// where it shows ink that its own frame did not, and where ink it had may
// no longer show. Where the file gives the frame, ink beyond it never
// showed; where the frame is taken from elsewhere, ink beyond it may have.
// Either way the drawing keeps all its ink (a frame made large enough shows
// it again), so nothing of it was left out.
void SceneReaderPrivate::noteInkBeyond(const StrokeDrawing &drawing, QSize claimed, const QString &layerName,
                                       int frame)
{
    const QSize frameSize = drawing.size();
    // Each part of a frame that the other lacks, the corner they share once.
    const auto beyond = [](QSize from, QSize to) {
        QList<QRect> parts;
        if (from.width() > to.width())
            parts.append(QRect(to.width(), 0, from.width() - to.width(), from.height()));
        if (from.height() > to.height())
            parts.append(QRect(0, to.height(), std::min(from.width(), to.width()), from.height() - to.height()));
        return parts;
    };
    const QList<QRect> gained = beyond(frameSize, claimed);
    const auto inked = [&drawing](const QRect &part) { return !drawing.inkBounds(part).isNull(); };
    if (std::any_of(gained.cbegin(), gained.cend(), inked))
        noteDamage(layerName, frame,
                   SceneReader::tr("its drawing claims a size of %1x%2 pixels, and its ink beyond it shows in the "
                                   "%3x%4 frame")
                       .arg(claimed.width())
                       .arg(claimed.height())
                       .arg(frameSize.width())
                       .arg(frameSize.height()),
                   true);
    if (!m_frameGuessed)
        return;
    // Rendered where the strokes reach, within a budget for all drawings
    // together; past it, the user hears that nothing was measured.
    std::optional<bool> lost = false;
    for (const QRect &part : beyond(claimed, frameSize)) {
        const std::optional<bool> ink = drawing.hasInkIn(part, m_inkCheckPixelsLeft);
        if (ink.value_or(false)) {
            lost = true;
            break;
        }
        if (!ink)
            lost = std::nullopt;
    }
    if (lost == false)
        return;
    const QString problem = lost.has_value()
        ? SceneReader::tr("its drawing was made for a frame of %1x%2 pixels, and its ink beyond the %3x%4 frame "
                          "does not show")
        : SceneReader::tr("its drawing was made for a frame of %1x%2 pixels; whether it has ink beyond the %3x%4 "
                          "frame was not measured");
    noteDamage(layerName, frame,
               problem.arg(claimed.width()).arg(claimed.height()).arg(frameSize.width()).arg(frameSize.height()),
               true);
}

std::shared_ptr<Drawing> SceneReaderPrivate::readImage(const QString &layerName, int frame)
{
    const QByteArray &bytes = readBase64Text();
    QDataStream in(bytes);
    SceneFormat::preparePayloadStream(in, SceneFormat::Payload::Image);
    QImage image;
    in >> image;
    const bool parsed = in.status() == QDataStream::Ok;
    if (!parsed) {
        noteDamage(layerName, frame, SceneReader::tr("its picture cannot be read"));
        image = QImage();
    }
    notePayload(layerName, frame, parsed && in.atEnd());
    return std::make_shared<ImageDrawing>(image);
}

QUuid SceneReaderPrivate::readIdentifier(const QString &layerName, int frame, const QSet<QUuid> &taken)
{
    const QString what = SceneReader::tr("its identifier");
    const QString newOne = SceneReader::tr("a new one");
    const QStringView text = attribute(QLatin1StringView("identifier"));
    const QUuid identifier =
        readValue(layerName, frame, what, text, identifierOf, QUuid(), [&](const QUuid &) { return newOne; });
    // Each key names one cell: where a file gives two layers, or two cells
    // of a layer, one identifier, the first keeps it.
    if (!taken.contains(identifier))
        return identifier;
    noteReplaced(layerName, frame, Replaced::Taken, what, text, newOne);
    return {};
}

std::shared_ptr<LayerItem> SceneReaderPrivate::readDistantClone(VisualLayer &layer, const QString &layerName,
                                                                int frame)
{
    const QUuid identifier = readIdentifier(layerName, frame, m_cellIdentifiers);
    std::shared_ptr<LayerItem> cell;
    QHash<QString, int> met;
    while (m_xml.readNextStartElement()) {
        // The first original that names a cell is the one shown.
        if (m_xml.name() == u"original" && isFirst(met, layerName, frame, SceneReader::tr("the drawing it shows"))) {
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
        if (m_xml.tokenType() == QXmlStreamReader::StartElement)
            m_xml.skipCurrentElement();
    }
    // One that does not say what it shows keeps its place, empty.
    if (!cell) {
        noteDamage(layerName, frame,
                   SceneReader::tr("it shows a drawing from elsewhere without saying which, so it was left empty"));
        cell = layer.newCell();
        if (!identifier.isNull())
            cell->setIdentifier(identifier);
    }
    return cell;
}

QTransform SceneReaderPrivate::readOffPegs(const QString &layerName, int frame)
{
    // A part that cannot be read moves and turns nothing, as one absent; so
    // does a shift beyond where a drawing can be drawn, which would leave it
    // outside every frame. The writer gives all three or none.
    const Written written = hasAttribute(QLatin1StringView("xOffset")) || hasAttribute(QLatin1StringView("yOffset"))
            || hasAttribute(QLatin1StringView("rotationDeg"))
        ? Written::Always
        : Written::WhenSet;
    const auto part = [&](const QString &what, QLatin1StringView name, double farthest) -> std::optional<double> {
        const QStringView text = attribute(name);
        const double value = readValue(layerName, frame, what, text, numberOf, 0.0, shownNumber, written,
                                       [farthest](double read) { return std::abs(read) <= farthest; });
        return value != 0.0 ? std::optional<double>(value) : std::nullopt;
    };
    const double anyTurn = std::numeric_limits<double>::max();
    return SceneFormat::composeOffPegs(
        part(SceneReader::tr("its shift off the pegs across"), QLatin1StringView("xOffset"), Stroke::maximumCoordinate),
        part(SceneReader::tr("its shift off the pegs down"), QLatin1StringView("yOffset"), Stroke::maximumCoordinate),
        part(SceneReader::tr("its turn off the pegs"), QLatin1StringView("rotationDeg"), anyTurn));
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

// Where the first byte that does not begin a well-formed UTF-8 sequence
// stands; -1 where there is none.
qsizetype firstMisencoded(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype at = 0;
    while (at < size) {
        // A document left whole is nearly all payload: ASCII eight bytes at
        // a time.
        if (at + 8 <= size) {
            quint64 word;
            std::memcpy(&word, data + at, 8);
            if ((word & 0x8080808080808080) == 0) {
                at += 8;
                continue;
            }
        }
        const uchar lead = data[at];
        if (lead < 0x80) {
            ++at;
            continue;
        }
        // The bounds of the second byte keep out overlong forms, surrogates
        // and code points beyond U+10FFFF.
        int length = 0;
        uchar low = 0x80;
        uchar high = 0xbf;
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        } else {
            return at;
        }
        if (at + length > size || data[at + 1] < low || data[at + 1] > high)
            return at;
        for (int i = 2; i < length; ++i) {
            if (data[at + i] < 0x80 || data[at + i] > 0xbf)
                return at;
        }
        at += length;
    }
    return -1;
}

} // namespace

int SceneReader::read(QIODevice *device)
{
    const DocumentBytes document(device);
    const ScenePayloads payloads(document.bytes());
    QByteArrayView markup = payloads.markup();
    d->m_rootClosed = markup.contains("</kl");
    // The XML reader tells of bytes that are no UTF-8 where the block of
    // the document it decodes them in begins, so that what it read before
    // them would depend on how the document falls into blocks (and the
    // markup falls otherwise than the document). It is given the markup up
    // to them, and they are told of where they stand.
    const qsizetype misencoded = payloads.readsAsUtf8() ? firstMisencoded(markup) : -1;
    d->m_misencoded = misencoded >= 0;
    if (d->m_misencoded)
        markup.truncate(misencoded);
    // The XML reader keeps the device, but nothing is read from it once
    // read() has returned.
    d->m_markupBytes = QByteArray::fromRawData(markup.data(), markup.size());
    // The XML reader gives the text it is reading only once markup follows
    // it: a document cut short inside a text (a drawing's or a sound's) is
    // given the start of a tag at its end, so that the text read until the
    // cut is kept.
    const QByteArrayView tail = markup.sliced(markup.lastIndexOf('>') + 1);
    if (markup.contains("<kl") && !markup.contains("</kl") && !tail.contains('<') && !tail.trimmed().isEmpty())
        d->m_markupBytes = markup.toByteArray() + '<';
    d->m_markupDevice.close();
    d->m_markupDevice.setBuffer(&d->m_markupBytes);
    d->m_markupDevice.open(QIODevice::ReadOnly);
    d->m_payloads = &payloads;
    d->m_xml.setDevice(&d->m_markupDevice);
    const auto result = [this](int value) {
        d->m_cutShort = d->m_xml.hasError() && d->isCutShort();
        if (!d->m_cutShort && d->m_misencoded && d->m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            d->m_xml.raiseError(QCoreApplication::translate("QXmlStream", "Encountered incorrectly encoded content."));
        d->m_payloads = nullptr;
        d->m_markupDevice.close();
        d->m_markupBytes.clear();
        d->m_progress.reset();
        return value;
    };
    try {
        if (!d->m_xml.readNextStartElement())
            return result(d->m_xml.hasError() ? SceneFormat::Failed : SceneFormat::Done);
        if (d->m_xml.name() == u"kl" && d->attribute(QLatin1StringView("version")) == SceneFormat::Version) {
            QHash<QString, int> met;
            while (d->m_xml.readNextStartElement()) {
                if (d->m_xml.name() != u"scene" || !d->m_scene)
                    d->m_xml.skipCurrentElement();
                else if (d->isFirst(met, QString(), 0, tr("the scene")))
                    d->readScene();
            }
            d->markCut(QString(), 0, false);
            if (d->m_scene && met.isEmpty() && !d->m_xml.hasError())
                d->noteDamage(QString(), 0, tr("the file holds no scene"));
        } else {
            d->m_xml.raiseError(tr("The file is not a KL version 0.4 file"));
        }
    } catch (const ReadingCancelledException &) {
        return result(SceneFormat::Cancelled);
    }
    // A file cut short, or whose end was overwritten, keeps all that was
    // read before the cut; one note tells what could not be read.
    if (d->m_xml.hasError() && d->isCutShort()) {
        d->noteCut();
        return result(SceneFormat::Done);
    }
    return result(d->m_xml.hasError() ? SceneFormat::Failed : SceneFormat::Done);
}

QString SceneReader::errorString() const
{
    if (!d->m_xml.hasError() || d->m_cutShort)
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
