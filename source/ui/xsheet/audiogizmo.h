#pragma once

#include "xsheet/gizmo.h"

namespace UI {

class AudioGizmoPrivate;

// The gizmo of the audio column: whether the sound's offset is locked
// against dragging in the column. Unlocked at first.
class AudioGizmo : public Gizmo
{
    Q_OBJECT

public:
    explicit AudioGizmo(QWidget *parent = nullptr);
    ~AudioGizmo() override;

    bool isAudioOffsetLocked() const;
    // Announces only a change.
    void setAudioOffsetLocked(bool locked);

Q_SIGNALS:
    void audioOffsetLockedChanged(bool locked);

protected:
    quint64 shownValue() const override;
    void paintSectionIcon(QPainter *painter, const QRectF &rect, int row) override;
    QString sectionText(int row) const override;

private:
    std::unique_ptr<AudioGizmoPrivate> d;
};

} // namespace UI
