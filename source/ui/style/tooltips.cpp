#include "style/tooltips.h"

#include <QHelpEvent>
#include <QToolTip>

namespace UI {

bool answerToolTip(QHelpEvent *event, const QString &text)
{
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(event->globalPos(), text);
    }
    return true;
}

} // namespace UI
