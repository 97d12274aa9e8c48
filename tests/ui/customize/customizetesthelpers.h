#pragma once

// Helpers that the tests of the customise overlay and its editors share:
// action drag data, and a stand-in for QDrag::exec that records each drag
// and ends it as the test says.

#include "customize/actiondrag.h"

#include "support/widgetevents.h"

#include <QDrag>
#include <QImage>
#include <QList>
#include <QMimeData>
#include <QPixmap>

#include <functional>
#include <memory>

namespace CustomizeTest {

// A widget's own painting, over black: the editors paint no background.
inline QImage painted(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Pixels that differ between two pictures of one size.
inline int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    }
    return count;
}

inline std::unique_ptr<QMimeData> dragData(const QByteArray &bytes)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(UI::ActionDrag::MimeType, bytes);
    return data;
}

inline std::unique_ptr<QMimeData> dragData(const QString &name)
{
    return dragData(name.toUtf8());
}

// What a drag source handed to its QDrag.
struct DragRecord
{
    QByteArray data;
    bool hasText = false;
    QString text;
    Qt::DropActions actions;
    QSize pixmapSize;
    QPoint hotSpot;
};

// Runs the overlay's drags while it lives: records each, and ends it with
// what `end` returns for the drag's data and offered actions (a drop on a
// target through TestSupport::dropOn, say, or Qt::IgnoreAction for a drag
// let go where nothing takes it).
class DragRunner
{
public:
    using End = std::function<Qt::DropAction(const QMimeData *data, Qt::DropActions actions)>;

    explicit DragRunner(End end)
        : m_end(std::move(end))
    {
        UI::ActionDrag::setRunner([this](QDrag *drag, Qt::DropActions actions) {
            const QMimeData *data = drag->mimeData();
            m_drags.append({data->data(UI::ActionDrag::MimeType), data->hasText(), data->text(), actions,
                            drag->pixmap().deviceIndependentSize().toSize(), drag->hotSpot()});
            return m_end(data, actions);
        });
    }
    ~DragRunner() { UI::ActionDrag::setRunner({}); }

    void setEnd(End end) { m_end = std::move(end); }
    const QList<DragRecord> &drags() const { return m_drags; }

private:
    End m_end;
    QList<DragRecord> m_drags;
};

inline DragRunner::End dropAt(QWidget *target, QPointF at)
{
    return [target, at](const QMimeData *data, Qt::DropActions actions) {
        return TestSupport::dropOn(target, at, data, actions);
    };
}

inline Qt::DropAction letGo(const QMimeData *, Qt::DropActions)
{
    return Qt::IgnoreAction;
}

} // namespace CustomizeTest
