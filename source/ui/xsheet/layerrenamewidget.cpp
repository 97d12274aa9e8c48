#include "xsheet/layerrenamewidget.h"

#include "style/tooltips.h"
#include "xsheet/shadoweffect.h"

#include <QColor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPalette>

namespace UI {

namespace {

bool isConfirmKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

LayerRenameWidget::LayerRenameWidget(QWidget *parent)
    : QLineEdit(parent)
{
    setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    QPalette colours = palette();
    colours.setBrush(QPalette::All, QPalette::Text, QColor(QStringLiteral("#FFFFFF")));
    setPalette(colours);
    // The application's style draws it as a layer name editor.
    setProperty("X-Sheet layer rename", true);
    setFocusPolicy(Qt::ClickFocus);
    setGraphicsEffect(new ShadowEffect(this));
}

LayerRenameWidget::~LayerRenameWidget() = default;

bool LayerRenameWidget::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape) {
            m_cancelling = true;
            close();
            m_cancelling = false;
            event->accept();
            return true;
        }
        if (isConfirmKey(key)) {
            Q_EMIT renamed(text());
            close();
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::ShortcutOverride: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape || isConfirmKey(key)) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::ToolTip:
        return answerToolTip(static_cast<QHelpEvent *>(event), tr("Set Layer Name"));
    default:
        break;
    }
    return QLineEdit::event(event);
}

void LayerRenameWidget::focusOutEvent(QFocusEvent *event)
{
    if (!m_cancelling)
        Q_EMIT renamed(text());
    close();
    QLineEdit::focusOutEvent(event);
}

} // namespace UI
