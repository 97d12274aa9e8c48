#pragma once

// Drawings of a few hundred bytes that claim far more than they hold: drawing
// records whose frame is the largest a scene may have, or whose collapsed
// strokes hold pictures as large, and clipboard records and scene documents
// made of them. The tests, the fuzz corpora and the HostileInput benchmarks
// build them here, so that all three meet the same bytes.

#include "strokes/bitmapstroke.h"
#include "strokes/singlestroke.h"
#include "strokes/stroke.h"
#include "tools/pentool.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QPainterPath>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTransform>
#include <QUuid>

namespace HostileInput {

// The largest side a scene's frame may have.
inline constexpr int CapSide = 8192;
inline const QSize CapFrame(CapSide, CapSide);

// The contents of one drawing record.
struct Drawing
{
    // The frame the record claims.
    QSize frame;
    // A short pen line near the top left corner, and a speck of collapsed
    // ink in the claimed frame's far corner: whatever renders the whole
    // claimed frame pays for all of it.
    bool ink = true;
    // Collapsed strokes each holding a blank picture over the whole claimed
    // frame, at one picture pixel per drawing pixel: a dozen bytes of
    // run-length code each, and frame width times height once decoded.
    int pictures = 0;
};

// A drawing record as scene files embed it and the clipboard carries it
// (big-endian, single-precision floats), without a cached picture, so that
// the reader makes one.
inline QByteArray drawingRecord(const Drawing &drawing)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << drawing.frame << qint64((drawing.ink ? 2 : 0) + drawing.pictures);
    if (drawing.ink) {
        Model::PenTool pen(Model::Tool::PenType::Marker);
        pen.setSizeRangeLimits(2.0, 6.0);
        Model::SingleStroke line(&pen);
        line.addPoint({4.0, 8.0, 0.8, 0.0});
        line.addPoint({40.0, 26.0, 0.8, 0.0});
        line.finish();
        out << qint32(Model::Stroke::SingleStrokeType);
        line.write(out);
        QImage speck(4, 4, QImage::Format_Alpha8);
        speck.fill(255);
        out << qint32(Model::Stroke::BitmapStrokeType);
        Model::BitmapStroke(speck, QRect(drawing.frame.width() - 8, drawing.frame.height() - 8, 4, 4)).write(out);
    }
    for (int i = 0; i < drawing.pictures; ++i) {
        out << qint32(Model::Stroke::BitmapStrokeType) << QRect(QPoint(0, 0), drawing.frame)
            << Model::BitmapStroke::ImageTag;
        // A run-length picture's record is written at stream version 19.
        out.setVersion(19);
        out << qint32(drawing.frame.width()) << qint32(drawing.frame.height()) << QByteArray("\x0a", 1);
    }
    // The root's erase path, clip path and transform, and no cached picture.
    out << QPainterPath() << QPainterPath() << QTransform() << Model::BitmapStroke::NoImageTag;
    return bytes;
}

// The copy id of the n-th drawing of a record: fixed, so that the bytes
// are the same at every build.
inline QUuid copyId(int n)
{
    return QUuid(quint32(0x43000000 + n), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 0);
}

// A clipboard record of a stroke layer's cells, one original per drawing
// record.
inline QByteArray clipboardRecord(const QList<QByteArray> &drawings)
{
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    out << qint32(1) << qint32(drawings.size());
    for (int i = 0; i < drawings.size(); ++i) {
        QByteArray block;
        QDataStream head(&block, QIODevice::WriteOnly);
        head << qint32(0) << copyId(i) << qint8(1);
        block += drawings.at(i);
        out.writeBytes(block.constData(), uint(block.size()));
    }
    return record;
}

inline QString identifier(int n)
{
    return QStringLiteral("{00000000-0000-4000-8000-%1}").arg(n, 12, 10, QLatin1Char('0'));
}

// A scene document of one stroke layer, "Ink", in a scene of frame, whose
// cells are originals of the drawing records in order.
inline QByteArray sceneDocument(QSize frame, const QList<QByteArray> &drawings)
{
    QString cells;
    for (int i = 0; i < drawings.size(); ++i) {
        cells += QStringLiteral("<drawing type=\"original\" identifier=\"%1\"><strokes>%2</strokes></drawing>")
                     .arg(identifier(100 + i), QString::fromLatin1(drawings.at(i).toBase64()));
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE kl>\n<kl version=\"0.4\">"
                          "<scene frameWidth=\"%1\" frameHeight=\"%2\" totalNumberOfDrawings=\"%3\"><layers>"
                          "<ordering>0</ordering><layer identifier=\"%4\" name=\"Ink\" visible=\"yes\" type=\"stroke\">"
                          "%5</layer></layers></scene></kl>\n")
        .arg(frame.width())
        .arg(frame.height())
        .arg(drawings.size())
        .arg(identifier(1), cells)
        .toUtf8();
}

} // namespace HostileInput
