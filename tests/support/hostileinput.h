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
#include <QPoint>
#include <QPointF>
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

// A collapsed picture of size pixels over rect, blank but for a byte of
// full ink at each point, given row by row. A point at or before the one
// written last in the same row goes back along the row to be written over
// it, as codes from outside may.
struct Picture
{
    QRect rect;
    QSize size;
    QList<QPoint> ink;
};

// The picture's run-length record, its codes written by hand: no image as
// large as it claims is ever made.
inline void writePicture(QDataStream &out, const Picture &picture)
{
    QByteArray codes;
    QDataStream code(&codes, QIODevice::WriteOnly);
    QPoint at(0, 0);
    for (const QPoint &ink : picture.ink) {
        if (ink.y() != at.y() || ink.x() < at.x()) {
            code << qint8(9) << qint32(ink.y() - at.y());
            at = QPoint(0, ink.y());
        }
        if (ink.x() > at.x())
            code << qint8(2) << qint32(ink.x() - at.x());
        code << qint8(3) << quint8(1) << quint8(255);
        at.setX(ink.x() + 1);
    }
    code << qint8(10);
    // A run-length picture's record is written at stream version 19.
    out << qint32(Model::Stroke::BitmapStrokeType) << picture.rect << Model::BitmapStroke::ImageTag;
    out.setVersion(19);
    out << qint32(picture.size.width()) << qint32(picture.size.height()) << codes;
}

// A marker stroke drawn in one go from one point to the other, as a quick
// drag leaves it: a straight segment however long.
inline void writeLine(QDataStream &out, QPointF from, QPointF to)
{
    Model::PenTool pen(Model::Tool::PenType::Marker);
    pen.setSizeRangeLimits(2.0, 6.0);
    Model::SingleStroke line(&pen);
    line.addPoint({from.x(), from.y(), 0.8, 0.0});
    line.addPoint({to.x(), to.y(), 0.8, 0.0});
    line.finish();
    out << qint32(Model::Stroke::SingleStrokeType);
    line.write(out);
}

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
        writeLine(out, QPointF(4.0, 8.0), QPointF(40.0, 26.0));
        QImage speck(4, 4, QImage::Format_Alpha8);
        speck.fill(255);
        out << qint32(Model::Stroke::BitmapStrokeType);
        Model::BitmapStroke(speck, QRect(drawing.frame.width() - 8, drawing.frame.height() - 8, 4, 4)).write(out);
    }
    for (int i = 0; i < drawing.pictures; ++i)
        writePicture(out, {QRect(QPoint(0, 0), drawing.frame), drawing.frame, {}});
    // The root's erase path, clip path and transform, and no cached picture.
    out << QPainterPath() << QPainterPath() << QTransform() << Model::BitmapStroke::NoImageTag;
    return bytes;
}

// A drawing record of frame holding one such stroke from one corner to the
// other, without a cached picture: a few hundred bytes whose box is the
// whole frame.
inline QByteArray diagonalRecord(QSize frame)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << frame << qint64(1);
    writeLine(out, QPointF(8.0, 8.0), QPointF(frame.width() - 8.0, frame.height() - 8.0));
    out << QPainterPath() << QPainterPath() << QTransform() << Model::BitmapStroke::NoImageTag;
    return bytes;
}

// A drawing record of frame holding the pictures under a root turned by
// degrees about the drawing's origin, without a cached picture.
inline QByteArray turnedDrawingRecord(QSize frame, const QList<Picture> &pictures, double degrees)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << frame << qint64(pictures.size());
    for (const Picture &picture : pictures)
        writePicture(out, picture);
    out << QPainterPath() << QPainterPath() << QTransform().rotate(degrees) << Model::BitmapStroke::NoImageTag;
    return bytes;
}

// The widest picture a record may hold, one row high, over a rectangle as
// wide as drawings reach, at the finest grain: a byte of ink in the middle
// of a full-HD frame, written twice.
inline Picture widestRow()
{
    const int left = 1 - Model::Stroke::maximumCoordinate;
    const QRect rect(left, 540, 2 * Model::Stroke::maximumCoordinate - 1, 1);
    const int grain = Model::BitmapStroke::maximumResolutionFactor;
    const QPoint ink((960 - left) * grain, 0);
    return {rect, QSize(rect.width() * grain, 1), {ink, ink}};
}

// The largest square picture a record may hold, at the finest grain over
// the top left of a full-HD frame, with two pixels of ink in it.
inline Picture largestSquare()
{
    return {QRect(0, 0, 2048, 2048), QSize(16384, 16384), {QPoint(1000, 1000), QPoint(15000, 8000)}};
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

// A scene document of one stroke layer, "Ink", in a scene of frame (none
// given for QSize()), whose cells are originals of the drawing records in
// order.
inline QByteArray sceneDocument(QSize frame, const QList<QByteArray> &drawings)
{
    QString cells;
    for (int i = 0; i < drawings.size(); ++i) {
        cells += QStringLiteral("<drawing type=\"original\" identifier=\"%1\"><strokes>%2</strokes></drawing>")
                     .arg(identifier(100 + i), QString::fromLatin1(drawings.at(i).toBase64()));
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE kl>\n<kl version=\"0.4\">"
                          "<scene %1totalNumberOfDrawings=\"%2\"><layers>"
                          "<ordering>0</ordering><layer identifier=\"%3\" name=\"Ink\" visible=\"yes\" type=\"stroke\">"
                          "%4</layer></layers></scene></kl>\n")
        .arg(frame.isValid()
                 ? QStringLiteral("frameWidth=\"%1\" frameHeight=\"%2\" ").arg(frame.width()).arg(frame.height())
                 : QString())
        .arg(drawings.size())
        .arg(identifier(1), cells)
        .toUtf8();
}

} // namespace HostileInput
