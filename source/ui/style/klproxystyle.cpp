#include "style/klproxystyle.h"

#include "customize/actionslist.h"
#include "xsheet/xsheetfooter.h"

#include "settings/settings.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>

namespace UI {

namespace {

constexpr char XSheetScrollBarProperty[] = "X-Sheet ScrollBar";
constexpr char XSheetHeaderProperty[] = "X-Sheet Header";
constexpr char LayerRenameProperty[] = "X-Sheet layer rename";

bool hasProperty(const QWidget *widget, const char *name)
{
    return widget && widget->property(name).toBool();
}

enum class ScrollBarLook {
    Platform,
    XSheet,
    ActionsList,
};

// Which of the program's scroll bars a complex control is, if any.
ScrollBarLook scrollBarLook(QStyle::ComplexControl control, const QStyleOptionComplex *option,
                            const QWidget *widget)
{
    if (control != QStyle::CC_ScrollBar || !qstyleoption_cast<const QStyleOptionSlider *>(option))
        return ScrollBarLook::Platform;
    if (hasProperty(widget, XSheetScrollBarProperty))
        return ScrollBarLook::XSheet;
    if (hasProperty(widget, ActionsList::ScrollBarStyleProperty))
        return ScrollBarLook::ActionsList;
    return ScrollBarLook::Platform;
}

// Width 2 from a solid brush: square caps and bevel joins, Qt's defaults.
QPen widePen(const QColor &color)
{
    return QPen(QBrush(color), 2.0);
}

// Top to bottom over the rectangle, one pixel down: the band's lighter edge
// meets the line drawn along its top.
QLinearGradient verticalGradient(const QRect &rect, const QColor &top, const QColor &bottom)
{
    QLinearGradient gradient(0, rect.top() + 1, 0, rect.bottom() + 1);
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, bottom);
    return gradient;
}

// The track of a horizontal exposure-sheet bar and the corner beside it
// share this band.
void paintWarmBand(QPainter *painter, const QRect &rect)
{
    painter->fillRect(rect, verticalGradient(rect, QColor(106, 102, 98), QColor(86, 82, 79)));
}

// A shadow strip at one end of a vertical bar: darkest at the bar's end.
void paintEndShadow(QPainter *painter, const QRect &strip, qreal endY, qreal innerY)
{
    QLinearGradient gradient(0, endY, 0, innerY);
    gradient.setColorAt(0.0, QColor(0, 0, 0, 67));
    gradient.setColorAt(0.5, QColor(0, 0, 0, 15));
    gradient.setColorAt(1.0, QColor(0, 0, 0, 0));
    painter->fillRect(strip, gradient);
}

QString withVisibleShortcutAmpersands(const QString &text)
{
    const qsizetype tab = text.lastIndexOf(u'\t');
    if (tab < 0)
        return text;
    QString shortcut = text.mid(tab);
    shortcut.replace(QStringLiteral("&"), QStringLiteral("&&"));
    return text.left(tab) + shortcut;
}

} // namespace

KLProxyStyle::KLProxyStyle(QStyle *style)
    : QProxyStyle(style)
{
}

void KLProxyStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                 const QWidget *widget) const
{
    switch (element) {
    case PE_FrameLineEdit:
        if (hasProperty(widget, LayerRenameProperty))
            return;
        break;
    case PE_PanelLineEdit:
        if (hasProperty(widget, XSheetHeaderProperty))
            return;
        if (hasProperty(widget, LayerRenameProperty)) {
            painter->save();
            const QColor color(0x78, 0x75, 0x71);
            painter->setPen(color);
            painter->setBrush(color);
            painter->setRenderHint(QPainter::Antialiasing);
            painter->drawRoundedRect(option->rect, 4.0, 4.0);
            painter->restore();
            return;
        }
        break;
    case PE_PanelScrollAreaCorner: {
        painter->save();
        paintWarmBand(painter, option->rect);
        painter->setPen(widePen(QColor(113, 109, 105)));
        painter->drawLine(option->rect.topLeft(), option->rect.topRight());
        painter->restore();
        return;
    }
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void KLProxyStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                               const QWidget *widget) const
{
    switch (element) {
    case CE_MenuItem:
        if (const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option)) {
            // Only the shortcut part: an ampersand before the tab still
            // marks the mnemonic.
            QStyleOptionMenuItem copy(*item);
            copy.text = withVisibleShortcutAmpersands(item->text);
            QProxyStyle::drawControl(element, &copy, painter, widget);
            return;
        }
        break;
    case CE_Splitter: {
        const QRect &rect = option->rect;
        painter->save();
        painter->fillRect(QRectF(rect), QColor(132, 128, 124));
        QPen pen = widePen(QColor(64, 64, 64));
        painter->setPen(pen);
        painter->drawLine(rect.topLeft(), rect.bottomLeft());
        painter->drawLine(rect.topRight(), rect.bottomRight());
        pen.setColor(QColor(60, 56, 52));
        painter->setPen(pen);
        painter->drawLine(rect.topLeft(), rect.topRight());
        pen.setColor(QColor(80, 80, 80));
        pen.setWidthF(1.0);
        painter->setPen(pen);
        painter->setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect).center();
        painter->drawLine(centre - QPointF(0, 6), centre + QPointF(0, 6));
        painter->restore();
        return;
    }
    case CE_HeaderEmptyArea:
        if (hasProperty(widget, XSheetHeaderProperty)) {
            // The two bands of the column heads, continued to the edge.
            const QRect &rect = option->rect;
            const int iconBand = int(28 * Model::Settings::instance()->UIScale());
            const QRect upper(rect.left(), rect.top(), rect.width(), iconBand);
            const QRect lower = rect.adjusted(0, iconBand, 0, 0);
            painter->save();
            painter->fillRect(upper, verticalGradient(upper, QColor(100, 96, 92), QColor(116, 112, 108)));
            painter->fillRect(lower, verticalGradient(lower, QColor(92, 88, 84), QColor(116, 112, 108)));
            painter->setPen(QColor(60, 56, 52));
            const qreal left = rect.left();
            const qreal right = rect.left() + rect.width();
            for (const qreal y : {rect.top() + 0.5, rect.top() + rect.height() - 0.5, lower.top() + 0.5})
                painter->drawLine(QPointF(left, y), QPointF(right, y));
            painter->restore();
            return;
        }
        if (const auto *footer = qobject_cast<const XSheetFooter *>(widget)) {
            footer->paintEmptyArea(painter, option->rect);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void KLProxyStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                      const QWidget *widget) const
{
    const ScrollBarLook look = scrollBarLook(control, option, widget);
    if (look == ScrollBarLook::Platform) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }

    const auto *slider = qstyleoption_cast<const QStyleOptionSlider *>(option);
    const bool xsheet = look == ScrollBarLook::XSheet;
    const QRect &rect = option->rect;
    painter->save();
    QColor handleColor(43, 41, 39, 128);
    if (xsheet) {
        if (slider->orientation == Qt::Vertical) {
            painter->fillRect(rect, QColor(115, 112, 108));
            painter->setPen(widePen(QColor(122, 118, 114)));
            painter->drawLine(QPoint(0, 0), QPoint(0, rect.height()));
            constexpr int ShadowHeight = 32;
            paintEndShadow(painter, QRect(rect.left(), rect.top(), rect.width(), ShadowHeight), rect.top(),
                           rect.top() + ShadowHeight);
            const int bottomEdge = rect.top() + rect.height();
            paintEndShadow(painter, QRect(rect.left(), bottomEdge - ShadowHeight, rect.width(), ShadowHeight),
                           bottomEdge, bottomEdge - ShadowHeight);
        } else {
            paintWarmBand(painter, rect);
            painter->setPen(widePen(QColor(113, 109, 105)));
            painter->drawLine(QPoint(0, 0), QPoint(rect.width(), 0));
        }
        handleColor = QColor(0, 0, 0, 64);
    }

    const QRect handle = subControlRect(CC_ScrollBar, option, SC_ScrollBarSlider, widget);
    const qreal radius = xsheet ? 4.0 : std::min(handle.width() / 2.0, handle.height() / 2.0);
    painter->setPen(Qt::NoPen);
    painter->setBrush(handleColor);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->drawRoundedRect(handle, radius, radius);
    painter->restore();
}

QRect KLProxyStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                                   const QWidget *widget) const
{
    const ScrollBarLook look = scrollBarLook(control, option, widget);
    if (look == ScrollBarLook::Platform)
        return QProxyStyle::subControlRect(control, option, subControl, widget);

    const auto *slider = qstyleoption_cast<const QStyleOptionSlider *>(option);
    const bool xsheet = look == ScrollBarLook::XSheet;
    const QRect &rect = option->rect;
    const bool horizontal = slider->orientation == Qt::Horizontal;
    const int length = horizontal ? rect.width() : rect.height();

    // As long as the visible part is of the whole, with no minimum. The
    // product is taken in 64 bits: page steps and ranges may be large.
    int handleLength = length;
    const qint64 span = qint64(slider->maximum) - slider->minimum + slider->pageStep;
    if (slider->maximum != slider->minimum && span > 0)
        handleLength = int(std::clamp<qint64>(qint64(slider->pageStep) * length / span, 0, length));
    const int position = sliderPositionFromValue(slider->minimum, slider->maximum, slider->sliderPosition,
                                                 length - handleLength, slider->upsideDown);

    switch (subControl) {
    case SC_ScrollBarAddLine:
    case SC_ScrollBarSubLine:
    case SC_ScrollBarFirst:
    case SC_ScrollBarLast:
        return QRect();
    case SC_ScrollBarSlider:
        if (xsheet) {
            return horizontal ? QRect(position + 2, 4, handleLength - 4, rect.height() - 8)
                              : QRect(4, position + 2, rect.width() - 8, handleLength - 4);
        }
        return horizontal ? QRect(position, 0, handleLength, rect.height())
                          : QRect(0, position, rect.width(), handleLength);
    case SC_ScrollBarGroove:
        return rect;
    default:
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    }
}

int KLProxyStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    if (metric == PM_ScrollBarExtent) {
        if (hasProperty(widget, XSheetScrollBarProperty))
            return QProxyStyle::pixelMetric(metric, option, widget) + 2;
        if (hasProperty(widget, ActionsList::ScrollBarStyleProperty))
            return QProxyStyle::pixelMetric(metric, option, widget) - 8;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QPixmap KLProxyStyle::generatedIconPixmap(QIcon::Mode iconMode, const QPixmap &pixmap,
                                          const QStyleOption *option) const
{
    Q_UNUSED(iconMode);
    Q_UNUSED(option);
    return pixmap;
}

} // namespace UI
