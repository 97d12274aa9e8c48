#pragma once

#include <QSize>
#include <QWidget>

#include <memory>

namespace UI {

class TextBubblePrivate;

// A small dark speech bubble with a pointer below it, showing a short value
// next to what is being dragged. It is a child of the widget that owns it and
// stays hidden until the owner places and shows it.
//
// The bubble's body size follows the length of the text (7 px a character
// plus 12, by 16), not the font, so that a value changing under a drag does
// not make the bubble jitter. The widget is the body plus the 5 px pointer
// below it, widened when the pointer's tip lies beside the body.
class TextBubble : public QWidget
{
    Q_OBJECT

public:
    explicit TextBubble(QWidget *parent);
    ~TextBubble() override;

    void setText(const QString &text);
    void setNumber(int number);
    QString text() const;
    // The size the owner should give the body.
    QSize bubbleSize() const;
    static int pointerHeight();
    // body: the wanted body rectangle in the parent's coordinates; x: the
    // parent x of the pointer's tip. Moves and resizes the widget; the owner
    // shows it.
    void placeAt(const QRect &body, int x);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<TextBubblePrivate> d;
};

} // namespace UI
