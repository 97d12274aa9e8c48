#pragma once

#include "actions/actionmanager.h"

#include <QLatin1String>
#include <QPixmap>
#include <QPoint>
#include <QString>

#include <functional>

class QDrag;
class QMimeData;
class QMouseEvent;
class QObject;

namespace UI {

// The drag of an action, or of a tool-bar spacer, between the parts of the
// customise overlay: the action list, the spacer well, the speed-dial editors,
// the tool-bar editor and the recycle bin.
//
// The data is the entry's name as UTF-8 under MimeType: a KL::Action key name
// or "Spacer". Drags from the editors also carry the name as text. The data
// may come from anywhere, so targets take only what read() makes of it: data
// that is not exactly the name of a registered action (or "Spacer") is
// refused, and a refused drop changes nothing.
class ActionDrag
{
public:
    static constexpr QLatin1String MimeType{"application/x-kelvane-actions"};
    // Key names are short; longer data is not ours.
    static constexpr int MaxNameBytes = 256;

    struct Payload
    {
        bool valid = false;
        // Null for a spacer or for nothing valid.
        Model::ActionManager::ActionEntry *entry = nullptr;

        bool isSpacer() const { return valid && !entry; }
    };

    // Null data, data without the format, damaged bytes and unknown names
    // give an invalid payload.
    static Payload read(const QMimeData *data);
    static QMimeData *mimeData(const QString &name, bool withText);

    // The action's default icon on a light rounded square, 32 px at the
    // screen's pixel ratio; hot spot (16, 16).
    static QPixmap actionPixmap(const Model::ActionManager::ActionEntry &entry);
    // The spacer's art at its natural size; hot spot (16, 8).
    static QPixmap spacerPixmap();

    // Runs a drag of `name` with the given picture from `source` and returns
    // how it ended: QDrag::exec, unless a runner stands in.
    static Qt::DropAction exec(QObject *source, const QString &name, bool withText, const QPixmap &pixmap,
                               QPoint hotSpot, Qt::DropActions actions);

    // QDrag::exec needs a person at a real display. A runner takes its place
    // (tests deliver the drag's events to targets themselves and say how it
    // ended); an empty one puts QDrag::exec back.
    using Runner = std::function<Qt::DropAction(QDrag *drag, Qt::DropActions actions)>;
    static void setRunner(Runner runner);

    // How a drag source sees a drag begin: a left press, then a move with the
    // left button held over the application's drag distance. A press starts
    // one drag at most.
    class Gesture
    {
    public:
        void press(const QMouseEvent *event);
        // Whether this move starts the drag; the press is then spent.
        bool startsDrag(const QMouseEvent *event);
        QPointF pressPosition() const { return m_pressPosition; }

    private:
        QPointF m_pressPosition;
        bool m_pressed = false;
    };
};

} // namespace UI
