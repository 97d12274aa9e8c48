#pragma once

// Scenes, progress stand-ins, folder listings and failing writes for the
// export tests.

#include "drawings/imagedrawing.h"
#include "layers/strokelayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "strokes/bitmapstroke.h"
#include "strokes/floatingselection.h"
#include "support/cellpattern.h"
#include "support/testfiles.h"
#include "support/fakeprogress.h"
#include "support/filesizelimit.h"
#include "tools/toolmanager.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QObject>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <tinyexr.h>

#include <memory>
#include <vector>

namespace ExportTest {

using CellPattern::FrameSize;

using TestSupport::FakeProgress;
using TestSupport::FileSizeLimit;

// A scene of layers written "Name=cells" in the letters of CellPattern, top
// layer first, on frames of CellPattern's size; frame 1 of the top layer is
// active. "ref:" before the cells makes a reference layer, '~' before the
// name a hidden layer, "#rrggbb" after it a stroke layer of that colour whose
// originals carry dots (addDots).
inline void addDots(Model::Scene &scene, int layer, const QColor &colour, uchar coverage);
inline void build(Model::Scene &scene, const QStringList &layers)
{
    QStringList patterns;
    for (const QString &layer : layers)
        patterns.append(layer.section(u'=', 1));
    scene.setFrameSize(FrameSize, KL::FitMode::FitModeStretch);
    CellPattern::build(scene, patterns);
    for (int i = 0; i < layers.size(); ++i) {
        QString name = layers.at(i).section(u'=', 0, 0);
        if (name.contains(u'#'))
            addDots(scene, i, QColor(u'#' + name.section(u'#', 1)), 255);
        name = name.section(u'#', 0, 0);
        const bool hidden = name.startsWith(u'~');
        scene.setLayerName(i, hidden ? name.mid(1) : name);
        scene.setLayerVisible(i, !hidden);
    }
}

inline int layerNamed(const Model::Scene &scene, const QString &name)
{
    for (int i = 0; i < scene.layerCount(); ++i) {
        if (scene.layerName(i) == name)
            return i;
    }
    return -1;
}

// Cells that show the drawing of another, written "Ink3=Rough2": frame 3 of
// Ink shows the drawing of frame 2 of Rough.
inline void makeDistantClones(Model::Scene &scene, const QStringList &links)
{
    const QRegularExpression link(QStringLiteral("^(\\w+?)(\\d+)=(\\w+?)(\\d+)$"));
    for (const QString &text : links) {
        const QRegularExpressionMatch match = link.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        CellPattern::makeDistantClone(scene, layerNamed(scene, match.captured(1)), match.captured(2).toInt(),
                                      layerNamed(scene, match.captured(3)), match.captured(4).toInt());
    }
}

// Where an original of frame f carries its mark, so that each frame can be
// told apart in a picture.
inline QRect dotOfFrame(int frame)
{
    return QRect((frame % 10) * 6, 4 + (frame / 10) * 6, 4, 4);
}

// Gives every original of a stroke layer the dot of its frame at coverage,
// in colour.
inline void addDots(Model::Scene &scene, int layer, const QColor &colour, uchar coverage = 255)
{
    auto *strokes = qobject_cast<Model::StrokeLayer *>(scene.layerAt(layer).get());
    QVERIFY(strokes);
    scene.setLayerColor(layer, colour);
    for (int frame = 1; frame <= strokes->frameCount(); ++frame) {
        if (!strokes->isOriginal(frame))
            continue;
        QImage mark(dotOfFrame(frame).size(), QImage::Format_Alpha8);
        mark.fill(coverage);
        QVERIFY(strokes->addStroke(frame, std::make_unique<Model::BitmapStroke>(mark, dotOfFrame(frame))));
    }
}

// A picture that PNG cannot squeeze: random pixels.
inline QImage noise(QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    return image;
}

// Puts a picture into a reference layer's cell.
inline void setPicture(Model::Scene &scene, int layer, int frame, const QImage &picture)
{
    QVERIFY(!scene.setDrawing(layer, frame, std::make_shared<Model::ImageDrawing>(picture), false).isEmpty());
}

// Where a piece cut out with the cutter floats when an export starts: over a
// reference layer's cell, on the row after its layer's last drawing, the
// same with that layer linked to another.
enum class Floating {
    OverReference,
    AfterLast,
    AfterLastLinked,
};

// Ink and Rough, two stroke layers of two drawings with their dots, above a
// reference layer of two pictures; a piece cut out of Ink's second drawing
// around its dot, moved down and to the right. The piece is left floating
// over the paper of the handle, made current, with the active cell where
// where says; or, when stamped, put down first where the window's stamp puts
// it from the cell it was cut from, or from the row after the last drawing.
inline void buildFloatingPiece(Model::KLScene &handle, Floating where, bool stamped)
{
    Model::Scene &scene = *handle.scene();
    build(scene, {QStringLiteral("Ink=AB"), QStringLiteral("Rough=AB"), QStringLiteral("Paper=ref:AB")});
    addDots(scene, 0, Qt::darkRed);
    addDots(scene, 1, Qt::darkBlue);
    QImage picture(FrameSize, QImage::Format_ARGB32_Premultiplied);
    picture.fill(QColor(200, 230, 200));
    setPicture(scene, 2, 1, picture);
    setPicture(scene, 2, 2, picture);
    if (where == Floating::AfterLastLinked) {
        QVERIFY(scene.setLayerLinked(0, true));
        QVERIFY(scene.setLayerLinked(1, true));
    }

    QVERIFY(scene.setActiveFrameAndLayer(2, 0, Model::Scene::ClampToDrawings));
    QPainterPath around;
    around.addRect(QRectF(dotOfFrame(2).adjusted(-2, -2, 2, 2)));
    std::unique_ptr<Model::FloatingSelection> piece = scene.activeDrawingContent(around);
    QVERIFY(piece);
    QVERIFY(!scene.cutPath(0, 2, around).isEmpty());
    Model::FloatingSelection::Transform placement = piece->transform();
    placement.third = QTransform::fromTranslate(-20, -24);
    piece->setTransform(placement);

    const bool afterLast = where != Floating::OverReference;
    if (stamped) {
        if (afterLast)
            QVERIFY(!scene.addBlankDrawing(0, 2).isEmpty());
        QVERIFY(scene.addStroke(0, afterLast ? 3 : 2, piece->stamp()));
    } else {
        handle.setFloatingSelection(std::move(piece));
        Model::KLScene::setCurrent(&handle);
        Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::FloatingSelection);
    }
    if (afterLast)
        QVERIFY(scene.setActiveFrameAndLayer(3, 0, Model::Scene::AllowFrameAfterLast));
    else
        QVERIFY(scene.setActiveFrameAndLayer(2, 2, Model::Scene::ClampToDrawings));
}

// The file size past which FileSizeLimit makes writes fail in the tests.
inline constexpr rlim_t FullDiskLimit = 4096;

// Ink over a picture layer, three frames: the images of frames 1 and 2
// compress to a few hundred bytes, the picture of frame 3 is noise that no
// PNG squeezes below FullDiskLimit (and an OpenEXR frame never fits).
inline void buildSceneTooLargeAtFrame3(Model::Scene &scene)
{
    build(scene, {"Ink=ABC", "Paper=ref:__X"});
    addDots(scene, 0, Qt::red);
    setPicture(scene, 1, 3, noise(FrameSize, 7));
}

// Every entry below root, relative and sorted, hidden ones included and
// links not followed; folders end in '/'.
inline QStringList entriesBelow(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        entries.append(QDir(root).relativeFilePath(it.filePath())
                       + (info.isDir() && !info.isSymLink() ? QStringLiteral("/") : QString()));
    }
    entries.sort();
    return entries;
}

using TestSupport::fileContents;
using TestSupport::writeFileContents;

// An OpenEXR file as tinyexr's own loader reads it: the stored pixel type of
// each channel, and the values as floats.
struct ExrFile
{
    QString error;
    int width = 0;
    int height = 0;
    QStringList channels;
    QList<int> storedTypes;
    std::vector<std::vector<float>> planes;

    float value(const QString &channel, QPoint at) const
    {
        const qsizetype c = channels.indexOf(channel);
        return c < 0 ? -1.0f : planes.at(size_t(c)).at(size_t(at.y()) * size_t(width) + size_t(at.x()));
    }
};

inline ExrFile readExr(const QString &path)
{
    ExrFile file;
    const QByteArray name = QFile::encodeName(path);
    EXRVersion version;
    if (ParseEXRVersionFromFile(&version, name.constData()) != TINYEXR_SUCCESS) {
        file.error = QStringLiteral("not an OpenEXR file");
        return file;
    }
    EXRHeader header;
    InitEXRHeader(&header);
    const char *message = nullptr;
    if (ParseEXRHeaderFromFile(&header, &version, name.constData(), &message) != TINYEXR_SUCCESS) {
        file.error = QString::fromUtf8(message);
        FreeEXRErrorMessage(message);
        return file;
    }
    for (int c = 0; c < header.num_channels; ++c) {
        file.channels.append(QString::fromLatin1(header.channels[c].name));
        file.storedTypes.append(header.pixel_types[c]);
        header.requested_pixel_types[c] = TINYEXR_PIXELTYPE_FLOAT;
    }
    EXRImage image;
    InitEXRImage(&image);
    if (LoadEXRImageFromFile(&image, &header, name.constData(), &message) != TINYEXR_SUCCESS) {
        file.error = QString::fromUtf8(message);
        FreeEXRErrorMessage(message);
        FreeEXRHeader(&header);
        return file;
    }
    file.width = image.width;
    file.height = image.height;
    const size_t pixels = size_t(image.width) * size_t(image.height);
    for (int c = 0; c < image.num_channels; ++c) {
        const auto *values = reinterpret_cast<const float *>(image.images[c]);
        file.planes.emplace_back(values, values + pixels);
    }
    FreeEXRImage(&image);
    FreeEXRHeader(&header);
    return file;
}

} // namespace ExportTest

Q_DECLARE_METATYPE(ExportTest::Floating)
