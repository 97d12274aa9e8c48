#pragma once

// What the build's SVG renderers share: one picture drawn at one size.

#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>
#include <QSvgRenderer>

// Renders the whole SVG into a transparent image of `size` and saves it as
// PNG; false when the file cannot be written.
inline bool writeRendering(QSvgRenderer &renderer, QSize size, const QString &path)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image.save(path);
}
