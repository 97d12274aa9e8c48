#include "timeline/textbubble.h"

#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <algorithm>

namespace UI {

namespace {

constexpr int PointerHeight = 5;
constexpr double PointerHalfWidth = 5.0;
constexpr double CornerRadius = 2.5;

QSize sizeForText(const QString &text)
{
    return QSize(7 * int(text.size()) + 12, 16);
}

} // namespace

class TextBubblePrivate
{
public:
    QString m_text;
    // In the widget's own coordinates; invalid until the first placeAt().
    QRectF m_bubbleRect;
    int m_pointerX = -1;
    QSize m_bubbleSize{12, 16};
};

TextBubble::TextBubble(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<TextBubblePrivate>())
{
    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(6);
    shadow->setOffset(0, 2);
    shadow->setColor(QColor(31, 31, 31, 180));
    setGraphicsEffect(shadow);
    // The owner shows it once placed.
    hide();
}

TextBubble::~TextBubble() = default;

void TextBubble::setText(const QString &text)
{
    d->m_text = text;
    d->m_bubbleSize = sizeForText(text);
    update();
}

void TextBubble::setNumber(int number)
{
    setText(QString::number(number));
}

QString TextBubble::text() const
{
    return d->m_text;
}

QSize TextBubble::bubbleSize() const
{
    return d->m_bubbleSize;
}

int TextBubble::pointerHeight()
{
    return PointerHeight;
}

void TextBubble::placeAt(const QRect &body, int x)
{
    const QRect geometry(QPoint(std::min(body.left(), x), body.top()),
                         QPoint(std::max(body.right(), x), body.bottom() + PointerHeight));
    d->m_bubbleRect = QRectF(body.translated(-geometry.topLeft()));
    d->m_pointerX = x - geometry.left();
    setGeometry(geometry);
    update();
}

void TextBubble::paintEvent(QPaintEvent *)
{
    const QRectF body = d->m_bubbleRect;
    if (!body.isValid())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 192));
    painter.drawRoundedRect(body, CornerRadius, CornerRadius);

    // The pointer's base slides along the bottom edge, clear of the rounded
    // corners, while its tip stays on x; a body too narrow for that keeps the
    // base centred on the tip.
    const double tip = d->m_pointerX;
    double baseLeft = tip - PointerHalfWidth;
    const double innerLeft = body.left() + CornerRadius;
    const double innerRight = body.right() - CornerRadius;
    if (innerRight - innerLeft >= 2 * PointerHalfWidth) {
        if (baseLeft + 2 * PointerHalfWidth > innerRight)
            baseLeft = innerRight - 2 * PointerHalfWidth;
        if (baseLeft < innerLeft)
            baseLeft = innerLeft;
    }
    QPainterPath pointer;
    pointer.moveTo(baseLeft, body.bottom());
    pointer.lineTo(baseLeft + 2 * PointerHalfWidth, body.bottom());
    pointer.lineTo(tip, body.bottom() + PointerHeight);
    pointer.closeSubpath();
    painter.drawPath(pointer);

    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(body.adjusted(0, 0, -1, -1), Qt::AlignCenter, d->m_text);
}

} // namespace UI
