#include "importcommands.h"

#include "commandconventions.h"
#include "drawings/drawing.h"
#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "scene/scene.h"
#include "systemmemory.h"

#include <QCollator>
#include <QColorSpace>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace Commands {

namespace {

QString importText(const char *sourceText)
{
    return QObject::tr(sourceText, "Commands::Import");
}

std::shared_ptr<Model::LayerItem> originalItem(const QImage &image, const QString &name)
{
    auto item = std::make_shared<Model::LayerItem>(image);
    item->drawing()->setName(name);
    return item;
}

// Names as a person reads them: runs of digits compare by their numbers
// (a2 before a10), the rest by the user's language. The collator's own
// numeric mode is not enough: in the C locale it compares plain text.
bool readsBefore(const QCollator &collator, const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digits = a.at(i).isDigit();
        qsizetype ie = i;
        qsizetype je = j;
        while (ie < a.size() && a.at(ie).isDigit() == digits)
            ++ie;
        while (je < b.size() && b.at(je).isDigit() == digits)
            ++je;
        if (digits != b.at(j).isDigit())
            return collator.compare(a.mid(i), b.mid(j)) < 0;
        QStringView x = QStringView(a).mid(i, ie - i);
        QStringView y = QStringView(b).mid(j, je - j);
        int order = 0;
        if (digits) {
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            order = x.size() != y.size() ? (x.size() < y.size() ? -1 : 1) : x.compare(y);
        } else {
            order = collator.compare(x, y);
        }
        if (order != 0)
            return order < 0;
        i = ie;
        j = je;
    }
    return a.size() - i < b.size() - j;
}

bool wasCancelled(const QObject *progress)
{
    return progress && progress->property("wasCanceled").toBool();
}

} // namespace

void sortNumberedNames(QStringList &names)
{
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(),
              [&collator](const QString &a, const QString &b) { return readsBefore(collator, a, b); });
}

// Reference layer

class ImportNewReferenceLayerPrivate
{
public:
    // Why reading stopped; the layer is then dropped.
    enum class Outcome {
        Read,
        Failed,
        Cancelled,
    };

    Outcome read(QStringList files);
    Outcome fail(const QString &message)
    {
        m_errorString = message;
        return Outcome::Failed;
    }
    Outcome tooLong(const QString &fileName)
    {
        return fail(QObject::tr("\"%1\" would make the layer longer than %2 frames.",
                                "Commands::ImportNewReferenceLayer")
                        .arg(fileName)
                        .arg(ImportNewReferenceLayer::maximumFrameCount));
    }
    Outcome readFile(const QString &path);
    // One more cell, refused beyond the most frames an import may make.
    bool append(std::shared_ptr<Model::LayerItem> item, const QString &fileName);
    int frameCount() const { return m_layer ? m_layer->frameCount() : 0; }

    Model::Scene *m_scene = nullptr;
    qint32 m_index = -1;
    QString m_name;
    // Held while the layer is out of the scene.
    std::shared_ptr<Model::ReferenceLayer> m_layer;
    ViewState m_view;
    FrameRange m_newRange;
    QString m_errorString;

    // While reading.
    QPointer<QObject> m_progress;
    qint32 m_numberPosition = -1;
    qint32 m_firstNumber = -1;
    std::shared_ptr<Model::LayerItem> m_blank;
    std::shared_ptr<Model::LayerItem> m_previous;
    double m_bytes = 0.0;
    // "name: why" of each file that held no picture.
    QStringList m_skipped;
};

ImportNewReferenceLayerPrivate::Outcome ImportNewReferenceLayerPrivate::read(QStringList files)
{
    sortNumberedNames(files);

    m_layer = std::make_shared<Model::ReferenceLayer>(m_scene->frameSize(), m_scene);
    while (m_layer->frameCount() > 0)
        m_layer->takeCell(0);
    m_layer->setName(m_name);

    if (m_progress) {
        m_progress->setProperty("labelText", importText("Importing frames..."));
        m_progress->setProperty("minimumDuration", 2000);
        m_progress->setProperty("maximum", int(files.size()));
    }
    QImage white(10, 10, QImage::Format_RGB32);
    white.fill(Qt::white);
    m_blank = originalItem(white, importText("Inserted blank"));
    m_previous = m_blank;

    for (qsizetype i = 0; i < files.size(); ++i) {
        if (m_progress)
            m_progress->setProperty("value", int(i));
        if (wasCancelled(m_progress))
            return Outcome::Cancelled;
        const Outcome outcome = readFile(files.at(i));
        if (outcome != Outcome::Read)
            return outcome;
    }
    if (m_progress)
        m_progress->setProperty("value", int(files.size()));
    return Outcome::Read;
}

ImportNewReferenceLayerPrivate::Outcome ImportNewReferenceLayerPrivate::readFile(const QString &path)
{
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    if (m_numberPosition != -1 && m_firstNumber != -1) {
        bool isNumber = false;
        const qint64 number = info.completeBaseName().mid(m_numberPosition).toLongLong(&isNumber, 10);
        if (isNumber && number - m_firstNumber >= ImportNewReferenceLayer::maximumFrameCount)
            return tooLong(fileName);
        // A gap in the numbering holds the image before it; a sequence that
        // starts late starts with a blank.
        while (isNumber && number > frameCount() + m_firstNumber) {
            if (frameCount() == 0)
                m_layer->insertCell(0, m_blank);
            else
                m_layer->insertCell(frameCount(), std::make_shared<Model::LayerItem>(m_previous));
        }
    }

    QImageReader reader(path);
    reader.setAutoTransform(true);
    // A picture too large to hold is refused before it is decoded.
    const QSize announced = reader.size();
    const double limit = double(QImageReader::allocationLimit()) * 1024 * 1024;
    const auto tooLarge = [&](QSize size) {
        return limit > 0 && double(size.width()) * size.height() * 4 > limit;
    };
    const auto refuseSize = [&](QSize size) {
        return fail(QObject::tr("\"%1\" is too large to import: %2 × %3 pixels.", "Commands::ImportNewReferenceLayer")
                        .arg(fileName)
                        .arg(size.width())
                        .arg(size.height()));
    };
    if (announced.isValid() && tooLarge(announced))
        return refuseSize(announced);

    QImage image = reader.read();
    // A file that holds no picture is left out; the others still make the
    // layer, and the caller names what was left out.
    if (image.isNull()) {
        m_skipped.append(QStringLiteral("%1: %2").arg(fileName, reader.errorString()));
        return Outcome::Read;
    }
    // Pictures of any size: the layer fits each into the frame as it paints.
    for (; !image.isNull(); image = reader.read()) {
        if (tooLarge(image.size()))
            return refuseSize(image.size());
        m_bytes += double(image.sizeInBytes());
        if (!Model::fitsInMemory(m_bytes))
            return fail(QObject::tr("These images would need more memory than this computer has.",
                                    "Commands::ImportNewReferenceLayer"));
        // Pictures without a colour space of their own are taken as sRGB.
        if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
            QImage converted = image.convertedToColorSpace(QColorSpace::SRgb);
            if (!converted.isNull())
                image = std::move(converted);
        }
        auto item = originalItem(image, fileName);
        if (!append(item, fileName))
            return Outcome::Failed;
        m_previous = std::move(item);
        if (wasCancelled(m_progress))
            return Outcome::Cancelled;
    }
    return Outcome::Read;
}

bool ImportNewReferenceLayerPrivate::append(std::shared_ptr<Model::LayerItem> item, const QString &fileName)
{
    if (frameCount() >= ImportNewReferenceLayer::maximumFrameCount) {
        tooLong(fileName);
        return false;
    }
    m_layer->insertCell(frameCount(), std::move(item));
    return true;
}

ImportNewReferenceLayer::ImportNewReferenceLayer(Model::Scene *scene, QStringList files, QObject *progress,
                                                 int numberPosition, int firstNumber, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<ImportNewReferenceLayerPrivate>())
{
    if (!scene || files.isEmpty()) {
        setObsolete(true);
        return;
    }
    setText(importText("Import Frames"));
    d->m_scene = scene;
    d->m_name = scene->nextLayerNumber();
    d->m_view = ViewState::of(scene);
    d->m_progress = progress;
    d->m_numberPosition = numberPosition;
    d->m_firstNumber = firstNumber;

    const bool read = d->read(std::move(files)) == ImportNewReferenceLayerPrivate::Outcome::Read;
    d->m_progress = nullptr;
    d->m_blank.reset();
    d->m_previous.reset();
    if (read && d->frameCount() == 0 && !d->m_skipped.isEmpty())
        d->m_errorString = QObject::tr("None of the files can be read as a picture:\n\n%1",
                                       "Commands::ImportNewReferenceLayer")
                               .arg(d->m_skipped.join(QLatin1Char('\n')));
    if (!read || d->frameCount() == 0) {
        d->m_layer.reset();
        setObsolete(true);
        return;
    }
    d->m_newRange = {1, std::max(d->m_view.range.last, d->frameCount())};
}

ImportNewReferenceLayer::~ImportNewReferenceLayer() = default;

QString ImportNewReferenceLayer::errorString() const
{
    return d->m_errorString;
}

QStringList ImportNewReferenceLayer::skippedFiles() const
{
    return d->m_skipped;
}

void ImportNewReferenceLayer::perform()
{
    Model::Scene *scene = d->m_scene;
    if (!scene || !d->m_layer)
        return;
    d->m_index = insertLayerAt(scene, d->m_layer, scene->layerCount(), positionOfLayer(scene, scene->activeLayerIdx()));
    scene->setFrameRange(d->m_newRange.first, d->m_newRange.last, d->m_view.activeFrame, d->m_index);
    d->m_layer.reset();
}

void ImportNewReferenceLayer::undo()
{
    Model::Scene *scene = d->m_scene;
    if (!scene || d->m_index < 0)
        return;
    d->m_view.restore(scene);
    d->m_layer = std::static_pointer_cast<Model::ReferenceLayer>(scene->removeLayerAt(d->m_index));
}

// Audio layer

class ImportNewAudioLayerPrivate
{
public:
    // Hands the held layer to the scene and holds the one it replaces; with
    // no audio layer in the scene the held one joins it, and goes again.
    void exchange(bool redo)
    {
        if (!m_scene)
            return;
        if (m_index >= 0) {
            if (m_held)
                m_held = m_scene->replaceLayer(m_index, m_held);
        } else if (redo && m_held) {
            m_inserted = m_scene->insertLayer(m_held, m_scene->layerCount());
            m_held.reset();
        } else if (!redo && m_inserted >= 0) {
            m_held = m_scene->removeLayerAt(m_inserted);
        }
    }

    Model::Scene *m_scene = nullptr;
    qint32 m_index = -1;
    qint32 m_inserted = -1;
    std::shared_ptr<Model::Layer> m_held;
    QString m_errorString;
    QString m_warningString;
};

ImportNewAudioLayer::ImportNewAudioLayer(Model::Scene *scene, const QString &path, QObject *progress,
                                         QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<ImportNewAudioLayerPrivate>())
{
    if (!scene || path.isEmpty()) {
        setObsolete(true);
        return;
    }
    setText(importText("Import Audio"));
    d->m_scene = scene;
    d->m_index = scene->audioLayerIdx();
    auto layer = std::make_shared<Model::AudioLayer>(scene);
    if (progress) {
        progress->setProperty("labelText", importText("Importing audio..."));
        progress->setProperty("minimumDuration", 2000);
    }
    if (!layer->loadAudioFile(path, progress)) {
        d->m_errorString = layer->errorString();
        setObsolete(true);
        return;
    }
    d->m_warningString = layer->warningString();
    d->m_held = std::move(layer);
}

ImportNewAudioLayer::~ImportNewAudioLayer() = default;

QString ImportNewAudioLayer::errorString() const
{
    return d->m_errorString;
}

QString ImportNewAudioLayer::warningString() const
{
    return d->m_warningString;
}

void ImportNewAudioLayer::perform()
{
    d->exchange(true);
}

void ImportNewAudioLayer::undo()
{
    d->exchange(false);
}

// Audio offset

class SetAudioOffsetPrivate
{
public:
    static QString textFor(double offset)
    {
        return std::abs(offset) <= 1e-12 ? historyText("Remove Audio Offset", "Commands::SetAudioOffset")
                                         : historyText("Set Audio Offset", "Commands::SetAudioOffset");
    }

    Model::Scene *m_scene = nullptr;
    double m_new = 0.0;
    double m_old = 0.0;
};

SetAudioOffset::SetAudioOffset(Model::Scene *scene, double offset, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SetAudioOffsetPrivate>())
{
    setText(SetAudioOffsetPrivate::textFor(offset));
    d->m_scene = scene;
    d->m_new = offset;
    if (scene)
        d->m_old = scene->audioOffset();
    // Without a sound layer there is no offset to keep.
    if (!scene || !scene->isAudioLayer(scene->audioLayerIdx()) || fuzzyEqual(d->m_new, d->m_old))
        setObsolete(true);
}

SetAudioOffset::~SetAudioOffset() = default;

void SetAudioOffset::perform()
{
    if (d->m_scene && !isObsolete())
        d->m_scene->setAudioOffset(d->m_new);
}

void SetAudioOffset::undo()
{
    if (d->m_scene && !isObsolete())
        d->m_scene->setAudioOffset(d->m_old);
}

int SetAudioOffset::id() const
{
    return SetAudioOffsetId;
}

bool SetAudioOffset::mergeWith(const QUndoCommand *other)
{
    const auto *later = dynamic_cast<const SetAudioOffset *>(other);
    if (!later)
        return false;
    d->m_new = later->d->m_new;
    setText(SetAudioOffsetPrivate::textFor(d->m_new));
    if (fuzzyEqual(d->m_new, d->m_old))
        setObsolete(true);
    return true;
}

} // namespace Commands
