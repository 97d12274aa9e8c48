#include "xsheet/audiogizmo.h"

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
    // The value, the two choices and the gizmo's own title.
    static const char *const texts[] = {QT_TR_NOOP("Current Setting"), QT_TR_NOOP("Offset Audio by dragging"),
                                        QT_TR_NOOP("Lock Audio in place"),
                                        QT_TR_NOOP("Choose whether to lock audio offset")};
    const char *text = twoChoiceText(row, texts);
    return text ? tr(text) : QString();
}

quint64 AudioGizmo::shownValue() const
{
    return quint64(d->m_locked);
}

} // namespace UI
