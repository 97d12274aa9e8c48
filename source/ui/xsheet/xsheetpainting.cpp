// The exposure sheet's painting: the grid of cells with thumbnails, holds,
// key drawings, annotations and the sound column, what stands below each
// layer's last frame, the current cell and the selection.

#include "xsheet/xsheet.h"

#include "xsheet/xsheet_p.h"
#include "xsheet/xsheetheader.h"

#include "layers/annotationlayer.h"
#include "layers/layer.h"
#include "scene/framerangemodel.h"
#include "scene/scenemodel.h"

#include <QBitArray>
#include <QItemSelectionModel>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPolygon>
#include <QRegion>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <vector>

namespace UI {

namespace {

using Role = Model::SceneModel::Role;

// What painting reads of one column, once per paint event.
struct Column
{
    int logical = -1;
    // The cell area: left edge and width.
    int x = 0;
    int w = 0;
    int kind = 0;
    bool visual = false;
    bool drawing = false;
    // The frame after the layer's last cell.
    int end = 0;
    int beyondLast = 0;
};

// What painting reads of one row, once per paint event.
struct Row
{
    bool flagged = false;
    bool backlight = false;
    bool offPegs = false;
    int offPegsLayer = -1;
};

QSize devicePixels(QSizeF size, double dpr)
{
    return QSize(int(std::lround(size.width() * dpr)), int(std::lround(size.height() * dpr)));
}

// image, made at device pixels, drawn at its own size from point: the
// painter maps it back onto device pixels one to one.
void drawUnscaled(QPainter &painter, QPointF point, const QImage &image, double dpr)
{
    painter.drawImage(QRectF(point, QSizeF(image.size()) / dpr), image);
}

QColor withAlpha(QColor color, float alpha)
{
    color.setAlphaF(alpha);
    return color;
}

// Fills, with fill, the parts of cell that picture, which lies centred in
// it, leaves bare.
template<typename Fill>
void fillAround(const QRect &cell, const QRect &picture, Fill fill)
{
    if (picture.left() > cell.left()) {
        fill(QRect(QPoint(cell.left(), cell.top()), QPoint(picture.left() - 1, cell.bottom())));
        fill(QRect(QPoint(picture.right() + 1, cell.top()), QPoint(cell.right(), cell.bottom())));
    }
    if (picture.top() > cell.top()) {
        fill(QRect(QPoint(picture.left(), cell.top()), QPoint(picture.right(), picture.top() - 1)));
        fill(QRect(QPoint(picture.left(), picture.bottom() + 1), QPoint(picture.right(), cell.bottom())));
    }
}

void fillWithGradient(QPainter &painter, const QRect &rect, QLinearGradient gradient)
{
    gradient.setStart(rect.topLeft());
    gradient.setFinalStop(rect.bottomLeft());
    painter.fillRect(rect, gradient);
}

} // namespace

void XSheet::paintEvent(QPaintEvent *event)
{
    Model::FrameRangeModel *model = d->m_model;
    const XSheetHeader *header = d->m_header;
    const int columnCount = header->count();
    QPainter painter(viewport());
    const QRegion region = event->region();
    if (!model || columnCount == 0) {
        for (const QRect &rect : region)
            painter.fillRect(rect, palette().brush(QPalette::Window));
        return;
    }

    const double dpr = viewport()->devicePixelRatioF();
    const int rh = d->m_rowHeight;
    const int h = rh - d->m_cellTopInset;
    const int voff = verticalOffset();
    const int rowCount = model->rowCount();
    const int first = model->firstFrame();
    const int last = model->lastFrame();
    const int maximum = model->maximumFrameNumber();
    QItemSelectionModel *selection = selectionModel();
    const QModelIndex current = currentIndex();

    // The rows that any rect of the region touches, and what each row and
    // column says; cells, strips and symbols are painted once per event
    // even when the region is made of several rects.
    // The row after the last one holds no cell; a rect wholly below the
    // rows meets none.
    const auto rowRange = [this, rowCount](const QRect &rect) {
        const int top = rowAt(rect.top());
        const int bottom = rowAt(rect.bottom());
        if (top < 0)
            return std::pair<int, int>(1, 0);
        return std::pair<int, int>(top, bottom < 0 ? rowCount - 1 : std::min(bottom, rowCount - 1));
    };
    const auto columnRange = [header, columnCount](const QRect &rect) {
        const int left = header->visualIndexAt(rect.left());
        const int right = header->visualIndexAt(rect.right());
        return std::pair<int, int>(left < 0 ? 0 : left, right < 0 ? columnCount - 1 : right);
    };
    const std::pair<int, int> allRows = rowRange(region.boundingRect());
    const int rowBase = allRows.first;
    const int rowSpan = std::max(0, allRows.second - rowBase + 1);

    std::vector<Column> columns(static_cast<size_t>(columnCount));
    for (int visual = 0; visual < columnCount; ++visual) {
        Column &c = columns[size_t(visual)];
        c.logical = header->logicalIndex(visual);
        c.x = header->sectionViewportPosition(c.logical) + d->m_cellLeftInset;
        c.w = header->sectionSize(c.logical) - d->m_cellWidthInset;
        c.kind = columnKind(c.logical);
        c.visual = columnData(c.logical, Role::VisualLayerRole).toBool();
        c.drawing = columnData(c.logical, Role::DrawLayerRole).toBool();
        c.end = columnData(c.logical, Role::FrameCountRole).toInt();
        c.beyondLast = columnData(c.logical, Role::BeyondLastRole).toInt();
    }
    std::vector<Row> rows(static_cast<size_t>(rowSpan));
    for (int i = 0; i < rowSpan; ++i) {
        const int r = rowBase + i;
        Row &row = rows[size_t(i)];
        row.flagged = model->headerData(r, Qt::Vertical, Role::ScrubFrameRole).toBool();
        row.backlight = model->headerData(r, Qt::Vertical, Role::BacklightFrameRole).toBool();
        row.offPegs = r < rowCount && model->isOffPegsAt(r, &row.offPegsLayer);
    }
    const auto rowInfo = [&rows, rowBase](int r) -> const Row & { return rows[size_t(r - rowBase)]; };

    // Pass 1: background, and the pattern below layers shorter than the
    // scene that says what they show beyond their last drawing.
    for (const QRect &rect : region) {
        painter.fillRect(rect, palette().brush(QPalette::Window));
        painter.setRenderHint(QPainter::Antialiasing);
        const std::pair<int, int> visuals = columnRange(rect);
        for (int visual = visuals.first; visual <= visuals.second; ++visual) {
            const Column &c = columns[size_t(visual)];
            if (!c.visual || c.end == maximum + 1 || header->isSectionHidden(c.logical))
                continue;
            const QRectF area = QRectF(QPointF(c.x, (c.end - first) * rh - voff + d->m_topMargin),
                                       QPointF(c.x + c.w, (rowCount - 1) * rh + d->m_topMargin - voff))
                & QRectF(rect);
            if (area.isEmpty())
                continue;
            painter.save();
            painter.setClipRect(area, Qt::IntersectClip);
            painter.setPen(QPen(d->m_beyondLineColor, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
            painter.setBrush(Qt::NoBrush);
            const double cx = c.x + c.w / 2.0;
            if (c.beyondLast == Model::Layer::FreezeLastDrawing) {
                painter.drawLine(QPointF(cx, area.top()), QPointF(cx, area.bottom()));
            } else if (c.beyondLast == Model::Layer::CycleDrawings) {
                for (double y = 50 * (int(std::lround(area.top())) / 50); y <= area.bottom(); y += 50) {
                    painter.drawLine(QPointF(cx + 4, y), QPointF(cx - 4, y));
                    painter.drawLine(QPointF(cx - 4, y), QPointF(cx + 4, y + 50));
                }
            }
            painter.restore();
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    }

    // Pass 2: the cells, column by column.
    const QModelIndex target = d->m_frameDragActive ? model->dragTargetIndex() : current;
    const QModelIndexList related = model->distantCloneIndexes(target);
    QRect targetRect;
    bool targetIsClone = false;
    bool targetIsAfterLast = false;
    QBitArray paintedCells(rowSpan * columnCount);
    QBitArray paintedStrips(columnCount);
    QPixmap keySymbol;
    const QRect cellsArea(0, 0, header->length() - header->offset(), contentHeight() - voff);

    // A cell's fills lie on the bare background; at an opacity below 1
    // each of their pixels would be blended. The colour that blend gives is
    // worked out once on a single pixel and filled opaque, with the same
    // result.
    const QBrush window = palette().brush(QPalette::Window);
    const bool plainWindow = window.style() == Qt::SolidPattern && window.color().alpha() == 255;
    struct Blend
    {
        QRgba64 colour;
        double opacity;
        QColor result;
    };
    std::vector<Blend> blends;
    const auto fillBare = [&](const QRect &rect, const QColor &colour) {
        const double opacity = painter.opacity();
        if (!plainWindow) {
            painter.fillRect(rect, colour);
            return;
        }
        const QRgba64 key = colour.rgba64();
        auto known = std::find_if(blends.begin(), blends.end(),
                                  [&](const Blend &b) { return b.colour == key && b.opacity == opacity; });
        if (known == blends.end()) {
            QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
            pixel.fill(window.color());
            QPainter probe(&pixel);
            probe.setOpacity(opacity);
            probe.fillRect(pixel.rect(), colour);
            probe.end();
            known = blends.insert(blends.end(), {key, opacity, pixel.pixelColor(0, 0)});
        }
        painter.setOpacity(1.0);
        painter.fillRect(rect, known->result);
        painter.setOpacity(opacity);
    };

    for (const QRect &rect : region) {
        const QRect cut = rect & cellsArea;
        const std::pair<int, int> visuals = columnRange(cut);
        const std::pair<int, int> span = rowRange(cut);
        for (int visual = cut.isEmpty() ? columnCount : visuals.first; visual <= visuals.second; ++visual) {
            const Column &c = columns[size_t(visual)];
            if (header->isSectionHidden(c.logical))
                continue;
            double opacity = 0.65;
            if (c.logical == current.column() && c.visual)
                opacity = 0.85;
            if (c.kind == Model::Layer::AudioLayerType || c.kind == Model::Layer::AnnotationLayerType)
                opacity = 0.1;
            painter.setOpacity(opacity);
            painter.setPen(Qt::NoPen);
            painter.setBrush(d->m_highlightColorWeak);

            if (first > 1 && !paintedStrips.testBit(visual)) {
                paintedStrips.setBit(visual);
                fillWithGradient(painter, QRect(c.x, d->m_topMargin - voff - rh, c.w, h), d->m_cellGradientDown);
            }

            const QSize pictureSize = model->frameSize().scaled(QSize(c.w, h), Qt::KeepAspectRatio);
            const int w5 = c.w / 5;
            const QPolygon cloneEnd({QPoint(w5, -d->m_cellTopInset), QPoint(c.w - w5, -d->m_cellTopInset),
                                     QPoint(c.w - w5, h - 8), QPoint(c.w / 2, h - 3), QPoint(w5, h - 8)});

            for (int r = span.first; r <= span.second; ++r) {
                const int bit = (r - rowBase) * columnCount + visual;
                if (paintedCells.testBit(bit))
                    continue;
                paintedCells.setBit(bit);
                const Row &row = rowInfo(r);
                const int top = rowTop(r);
                if (row.flagged) {
                    painter.setOpacity(0.25);
                    painter.fillRect(QRect(c.x - d->m_cellLeftInset, top, c.w + d->m_cellWidthInset, rh + d->m_cellTopInset),
                                     palette().brush(QPalette::Highlight));
                }
                const QModelIndex index = model->index(r, c.logical);
                if (!index.isValid())
                    continue;
                // Over the flagged row's band the background is not bare.
                const auto bare = [&](const QRect &area, const QColor &colour) {
                    if (row.flagged)
                        painter.fillRect(area, colour);
                    else
                        fillBare(area, colour);
                };

                // Each step below sets what it changes of the painter and
                // puts back the composition mode and antialiasing; saving
                // and restoring the whole state per cell costs more than
                // painting most cells.
                const QRect cell(c.x, top + d->m_cellTopInset, c.w, h);
                const bool clone = index.data(Role::CloneRole).toBool();
                const bool afterLast = index.data(Role::FrameAfterLastRole).toBool();
                QColor fill = d->m_baseColor;
                if (index.data(Role::DistantCloneRole).toBool())
                    fill = d->m_highlightColor;
                else if (clone)
                    fill = d->m_highlightColorStrong;
                const QColor around = withAlpha(fill, 0.9f);
                if (index == target) {
                    targetRect = cell;
                    targetIsClone = clone;
                    targetIsAfterLast = afterLast;
                }
                painter.setOpacity(index == target || related.contains(index) ? 1.0 : opacity);

                if (c.visual) {
                    if (!afterLast) {
                        QRect picture(QPoint(), pictureSize);
                        picture.moveCenter(cell.center());
                        fillAround(cell, picture, [&](const QRect &part) { bare(part, around); });
                        bare(picture, fill);
                        const QImage thumbnail = model->thumbnail(index, devicePixels(cell.size(), dpr));
                        if (!thumbnail.isNull()) {
                            const QSizeF size = QSizeF(thumbnail.size()) / dpr;
                            if (!c.drawing)
                                painter.setCompositionMode(QPainter::CompositionMode_Multiply);
                            drawUnscaled(painter, QRectF(cell).center() - QPointF(size.width(), size.height()) / 2,
                                         thumbnail, dpr);
                            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
                        }
                    }
                } else if (c.kind == Model::Layer::AnnotationLayerType) {
                    if (!afterLast)
                        bare(cell, Qt::white);
                    const QSize size = devicePixels(QSizeF(c.w, rh), dpr);
                    const QImage note = d->m_strokeEngine.hasActiveStroke() && c.logical == d->m_annotationColumn
                        ? liveAnnotation(index, size)
                        : model->thumbnail(index, size);
                    if (!note.isNull()) {
                        painter.setOpacity(1.0);
                        drawUnscaled(painter, cell.topLeft(), note, dpr);
                    }
                } else if (c.kind == Model::Layer::AudioLayerType) {
                    const QRect slot(c.x + 1, cell.y(), c.w - 2, rh);
                    const QImage wave = model->thumbnail(index, devicePixels(slot.size(), dpr));
                    if (!wave.isNull()) {
                        if (!afterLast)
                            bare(cell, Qt::white);
                        if (!row.flagged) {
                            painter.setOpacity(0.5);
                            drawUnscaled(painter, slot.topLeft(), wave, dpr);
                        } else {
                            // The flagged row shows the sound in full but
                            // for the rows under the cell's bottom edge.
                            const int bottom = int(std::lround(d->m_cellTopInset * dpr));
                            const QRectF upper(0, 0, wave.width(), wave.height() - bottom);
                            const QRectF lower(0, wave.height() - bottom, wave.width(), bottom);
                            painter.setOpacity(1.0);
                            painter.drawImage(QRectF(slot.topLeft(), upper.size() / dpr), wave, upper);
                            painter.setOpacity(0.5);
                            painter.drawImage(QRectF(QPointF(slot.left(), slot.bottom() + 1 - bottom / dpr),
                                                     lower.size() / dpr),
                                              wave, lower);
                        }
                    }
                }

                if (c.visual && clone) {
                    const QModelIndex next = model->index(r + 1, c.logical);
                    if (next.isValid() && next.data(Role::CloneRole).toBool()) {
                        painter.fillRect(QRect(c.x + w5, cell.y() - d->m_cellTopInset, c.w - 2 * w5, h + d->m_cellTopInset),
                                         d->m_highlightColorWeak);
                    } else {
                        painter.fillRect(QRect(c.x, cell.bottom() - 2, c.w, 3), d->m_highlightColorWeak);
                        painter.setRenderHint(QPainter::Antialiasing);
                        painter.setPen(Qt::NoPen);
                        painter.setBrush(d->m_highlightColorWeak);
                        painter.drawPolygon(cloneEnd.translated(cell.topLeft()));
                        painter.setRenderHint(QPainter::Antialiasing, false);
                    }
                }

                if (row.offPegs) {
                    painter.fillRect(cell, d->m_greenTint);
                    if (row.offPegsLayer == c.logical) {
                        painter.setRenderHint(QPainter::Antialiasing);
                        painter.setPen(d->m_greenTint);
                        painter.drawLine(cell.topLeft(), cell.bottomRight());
                        painter.drawLine(cell.topRight(), cell.bottomLeft());
                        painter.setRenderHint(QPainter::Antialiasing, false);
                    }
                }

                if (index.data(Role::KeyDrawingRole).toBool()) {
                    const QSize size = cell.size().expandedTo(QSize(37, 21));
                    if (keySymbol.isNull() || keySymbol.deviceIndependentSize() != QSizeF(size))
                        keySymbol = d->m_keySymbolIcon.pixmap(size, dpr);
                    const QSizeF drawn = keySymbol.deviceIndependentSize();
                    painter.setOpacity(1.0);
                    painter.drawPixmap(QRectF(QRectF(cell).center() - QPointF(drawn.width(), drawn.height()) / 2, drawn),
                                       keySymbol, QRectF(keySymbol.rect()));
                }

                if (afterLast) {
                    if (c.end - 1 > last)
                        fillWithGradient(painter, cell, d->m_cellGradientUp);
                    painter.setPen(d->dashedPen());
                    painter.setBrush(Qt::NoBrush);
                    painter.drawRect(QRectF(cell).adjusted(0.5, 0.5, -0.5, -0.5));
                }

                if (selection && selection->isSelected(index)) {
                    painter.setCompositionMode(QPainter::CompositionMode_Difference);
                    painter.fillRect(cell, Qt::white);
                    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
                    if (clone)
                        painter.fillRect(QRect(c.x + w5, cell.y() - 1, c.w - 2 * w5, 1), QColor(72, 82, 92));
                }
            }
        }

        // Column decorations, each within this rect only.
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        for (int visual = visuals.first; visual <= visuals.second && !cut.isEmpty(); ++visual) {
            const Column &c = columns[size_t(visual)];
            if (header->isSectionHidden(c.logical))
                continue;
            painter.setOpacity(1.0);
            if (c.kind == Model::Layer::ReferenceLayerType || c.kind == Model::Layer::DrawLayerType) {
                // A band from the middle of the icon as wide as the cells,
                // standing at the top of the viewport and upside down at
                // its bottom.
                const QIcon &icon = c.kind == Model::Layer::DrawLayerType ? d->m_layerPaintIcon : d->m_layerRefIcon;
                const QSize iconSize = c.kind == Model::Layer::DrawLayerType ? d->m_layerPaintIconSize : d->m_layerRefIconSize;
                const QPixmap band = icon.pixmap(iconSize, dpr);
                const QRectF source((iconSize.width() - c.w) / 2 * dpr, 0, c.w * dpr, iconSize.height() * dpr);
                painter.drawPixmap(QRectF(c.x, 0, c.w, iconSize.height()), band, source);
                painter.save();
                painter.translate(c.x + c.w, viewport()->height());
                painter.rotate(180);
                painter.drawPixmap(QRectF(0, 0, c.w, iconSize.height()), band, source);
                painter.restore();
            }
            if (d->m_showBeyondButtons && c.visual && first <= c.end && c.end <= last + 1) {
                QColor color = d->m_buttonColor;
                if (d->m_hoveredBeyondColumn == c.logical)
                    color = d->m_pressedBeyondColumn == c.logical ? d->m_buttonPressedColor : d->m_buttonHoverColor;
                const QPointF centre = beyondButtonCentre(c.logical);
                painter.setRenderHint(QPainter::Antialiasing);
                painter.setPen(Qt::NoPen);
                painter.setBrush(color);
                painter.drawPath(d->m_beyondButtonPath.translated(centre));
                painter.setBrush(Qt::NoBrush);
                painter.setPen(QPen(d->m_buttonGlyphColor, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin));
                if (c.beyondLast == Model::Layer::ShowNothing)
                    painter.drawPath(d->m_minusPath.translated(centre));
                else if (c.beyondLast == Model::Layer::FreezeLastDrawing)
                    painter.drawPath(d->m_plusBarPath.translated(centre));
                else if (c.beyondLast == Model::Layer::CycleDrawings)
                    painter.drawPath(d->m_dotPath.translated(centre));
                painter.setRenderHint(QPainter::Antialiasing, false);
            }
            if (c.kind == Model::Layer::AudioLayerType) {
                const int after = rowTop(last - first + 1);
                if (model->audioStartsAfterLastRow()) {
                    const QSize size = d->m_chevronIconSize;
                    painter.drawPixmap(QPoint(c.x + (c.w - size.width()) / 2, after + (h - size.height()) / 2),
                                       d->m_chevronIcon.pixmap(size, dpr));
                } else if (model->hasAudioAfterLastRow()) {
                    const QSize size(c.w, int(0.8 * h));
                    painter.setOpacity(0.25);
                    painter.drawPixmap(QPoint(c.x, after + d->m_cellTopInset + (h - size.height()) / 2),
                                       d->m_waveformIcon.pixmap(size, dpr));
                }
            }
        }
        painter.restore();

        // The ends of the frame range, and a line above every eighth frame.
        painter.setOpacity(1.0);
        painter.setPen(QPen(Qt::black, 3.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        const double lineEnd = std::min<double>(header->length() - d->m_cellWidthInset - header->offset(), rect.right());
        if (first >= 2) {
            const double y = d->m_topMargin - voff - 0.5;
            painter.drawLine(QPointF(rect.left(), y), QPointF(lineEnd, y));
        }
        if (last < maximum) {
            const double y = (last - first + 2) * rh + d->m_topMargin - voff + 1.5;
            painter.drawLine(QPointF(rect.left(), y), QPointF(lineEnd, y));
        }
        painter.setPen(QPen(QColor(17, 17, 17), 1));
        const std::pair<int, int> painted = rowRange(rect);
        for (int r = painted.first; r <= painted.second && r < last - first + 2; ++r) {
            const int frame = first + r;
            if (frame % 8 == 1 && frame != 1) {
                const double y = r * rh + d->m_topMargin - voff + 0.5;
                painter.drawLine(QPointF(rect.left(), y), QPointF(viewport()->width(), y));
            }
        }
    }

    // Pass 3: the backlight symbols at the left edge.
    QBitArray paintedSymbols(rowSpan);
    const QPixmap backlight = d->m_backlightSymbolIcon.pixmap(d->m_backlightSymbolIconSize, dpr);
    for (const QRect &rect : region) {
        const std::pair<int, int> span = rowRange(rect);
        for (int r = span.first; r <= span.second; ++r) {
            const QRect symbol = backlightSymbolRect(r);
            if (paintedSymbols.testBit(r - rowBase) || !rowInfo(r).backlight || !symbol.intersects(rect))
                continue;
            paintedSymbols.setBit(r - rowBase);
            painter.drawPixmap(symbol.topLeft(), backlight);
        }
    }

    // Pass 4: the frame around the current cell, or where a drag would
    // put the dragged one.
    if (targetRect.isValid()) {
        painter.setOpacity(1.0);
        painter.setBrush(Qt::NoBrush);
        const QRectF around = QRectF(targetRect).adjusted(-0.5, -0.5, 0.5, 0.5);
        painter.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.drawRect(around);
        if (targetIsClone) {
            painter.setPen(QPen(QColor(255, 236, 216), 1));
            painter.drawRect(around);
        }
        if (targetIsAfterLast) {
            painter.setOpacity(0.85);
            painter.setPen(d->dashedPen());
            painter.drawRect(QRectF(targetRect).adjusted(0.5, 0.5, -0.5, -0.5));
        }
    }

    // Pass 5: the shadows at the top and bottom of the viewport.
    painter.setOpacity(1.0);
    for (const QRect &rect : region) {
        painter.fillRect(d->m_topShadowRect & QRectF(rect), d->m_topShadowGradient);
        painter.fillRect(d->m_bottomShadowRect & QRectF(rect), d->m_bottomShadowGradient);
    }
}

QImage XSheet::liveAnnotation(const QModelIndex &index, QSize size) const
{
    const Model::SingleStroke *stroke = d->m_strokeEngine.activeStroke();
    QImage note = index.data(Role::AnnotationImageRole).value<QImage>();
    if (stroke)
        note = d->noteWithStroke(note, index.row() - d->m_annotationTopRow, *stroke);
    return Model::AnnotationLayer::colouredNote(note, size);
}

} // namespace UI
