#pragma once

#include <QProxyStyle>

namespace UI {

// The application's widget style: the platform's own, except for the few
// elements that the program paints in its dark, warm grey. Widgets opt in
// through boolean dynamic properties that their owners set:
//
// - "X-Sheet ScrollBar": a track without arrows, with shadows at its ends
//   and a rounded translucent handle; two pixels thicker than the platform's.
// - "ActionsList ScrollBar": only a pill-shaped handle, no track; eight
//   pixels thinner.
// - "X-Sheet Header": the empty area beside the last layer column, in two
//   bands like the column heads; its line edits get no panel.
// - "X-Sheet Footer": the footer paints its empty area itself.
// - "X-Sheet layer rename": a rounded field without a frame.
//
// Everywhere: splitter handles with a grip line, scroll-area corners in the
// warm grey, menu shortcuts that show their ampersands, and icons that look
// the same disabled as enabled.
//
// Scroll bars of either kind have no arrow buttons and no minimum handle
// length: the handle is as long as the visible part of the content is of the
// whole. The style keeps no state.
class KLProxyStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // Null wraps the platform's default style.
    explicit KLProxyStyle(QStyle *style = nullptr);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option, SubControl subControl,
                         const QWidget *widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
    QPixmap generatedIconPixmap(QIcon::Mode iconMode, const QPixmap &pixmap,
                                const QStyleOption *option) const override;
};

} // namespace UI
