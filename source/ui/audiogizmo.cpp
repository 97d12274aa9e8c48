#include "audiogizmo.h"

#include <QSvgRenderer>

namespace UI {

class AudioGizmoPrivate
{
public:
    QSvgRenderer m_lock{QStringLiteral(":/xsheet/gizmo_lock.svg")};
    QSvgRenderer m_arrows{QStringLiteral(":/xsheet/gizmo_arrows.svg")};
    bool m_locked = false;
};

AudioGizmo::AudioGizmo(QWidget *parent)
    : Gizmo(parent)
    , d(std::make_unique<AudioGizmoPrivate>())
{
    setSectionCount(2);
    connect(this, &Gizmo::sectionSelected, this,
            [this](GizmoSC sc) { setAudioOffsetLocked(sc != Section1); });
}

AudioGizmo::~AudioGizmo() = default;

bool AudioGizmo::isAudioOffsetLocked() const
{
    return d->m_locked;
}

void AudioGizmo::setAudioOffsetLocked(bool locked)
{
    if (locked == d->m_locked)
        return;
    d->m_locked = locked;
    update();
    Q_EMIT audioOffsetLockedChanged(locked);
}

void AudioGizmo::paintSectionIcon(QPainter *painter, const QRectF &rect, int row)
{
    paintTwoChoiceIcon(painter, rect, row, d->m_arrows, d->m_lock, d->m_locked);
}

QString AudioGizmo::sectionText(int row) const
{
    switch (row) {
    case CurrentSection:
        return tr("Current Setting");
    case Section1:
        return tr("Offset Audio by dragging");
    case Section2:
        return tr("Lock Audio in place");
    case NoSection:
        return tr("Choose whether to lock audio offset");
    default:
        return QString();
    }
}

} // namespace UI
