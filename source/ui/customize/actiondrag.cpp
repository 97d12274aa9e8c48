#include "customize/actiondrag.h"

#include "style/uiresources.h"
#include "tools/toolbarlayout.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QIcon>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

ActionDrag::Runner &currentRunner()
{
    static ActionDrag::Runner current;
    return current;
}

} // namespace

ActionDrag::Payload ActionDrag::read(const QMimeData *data)
{
    if (!data || !data->hasFormat(MimeType))
        return {};
    const QByteArray bytes = data->data(MimeType);
    if (bytes.isEmpty() || bytes.size() > MaxNameBytes)
        return {};
    // Names are identifiers. The registry looks them up as C strings, so a
    // zero, or anything else, after a name must not pass for the name.
    const auto isNameByte = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    };
    if (!std::all_of(bytes.cbegin(), bytes.cend(), isNameByte))
        return {};
    const QString name = QString::fromLatin1(bytes);
    if (name == ToolBarLayout::SpacerName)
        return {true, nullptr};
    Model::ActionManager::ActionEntry *entry = Model::ActionManager::instance()->actionEntry(name);
    if (!entry || !entry->action)
        return {};
    return {true, entry};
}

QMimeData *ActionDrag::mimeData(const QString &name, bool withText)
{
    auto *data = new QMimeData;
    if (withText)
        data->setText(name);
    data->setData(MimeType, name.toUtf8());
    return data;
}

QPixmap ActionDrag::actionPixmap(const Model::ActionManager::ActionEntry &entry)
{
    const qreal ratio = qApp->devicePixelRatio();
    const int side = int(ratio * 32);
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(234, 231, 229, 192));
        painter.drawRoundedRect(QRectF(pixmap.rect()), 25, 25, Qt::RelativeSize);
        entry.defaultIcon.paint(&painter, pixmap.rect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
    }
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QPixmap ActionDrag::spacerPixmap()
{
    registerUiResources();
    QSvgRenderer art(QStringLiteral(":/customize/iconSpacerNoLine.svg"));
    const qreal ratio = qApp->devicePixelRatio();
    const QSize natural = art.defaultSize();
    QPixmap pixmap(int(std::lround(natural.width() * ratio)), int(std::lround(natural.height() * ratio)));
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        art.render(&painter, QRectF(pixmap.rect()));
    }
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

Qt::DropAction ActionDrag::exec(QObject *source, const QString &name, bool withText, const QPixmap &pixmap,
                                QPoint hotSpot, Qt::DropActions actions)
{
    auto *drag = new QDrag(source);
    drag->setMimeData(mimeData(name, withText));
    drag->setPixmap(pixmap);
    drag->setHotSpot(hotSpot);
    if (!currentRunner())
        return drag->exec(actions);
    const Qt::DropAction result = currentRunner()(drag, actions);
    // As QDrag::exec leaves it.
    drag->deleteLater();
    return result;
}

void ActionDrag::setRunner(Runner runner)
{
    currentRunner() = std::move(runner);
}

void ActionDrag::Gesture::press(const QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressPosition = event->position();
    m_pressed = true;
}

bool ActionDrag::Gesture::startsDrag(const QMouseEvent *event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton)
        || (event->position() - m_pressPosition).manhattanLength() < QApplication::startDragDistance())
        return false;
    m_pressed = false;
    return true;
}

} // namespace UI
