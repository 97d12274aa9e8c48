#pragma once

#include "kl.h"

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QAction;
class QUndoGroup;

namespace Model {

// The registry of every user command: one QAction per KL::Action, made once at
// start-up and owned (as Qt children) by the manager for the rest of the run.
// Menus, the tool bar, the speed dials and the main window look actions up
// here and connect to them; a few actions that only change a preference are
// wired to Model::Settings by the registry itself, and their check marks
// follow the preferences' change signals.
//
// Invariants: at most one entry per key, NoAction is never registered, and
// every registered action carries the dynamic property "KLActionName" with
// its key name, by which customisation and drag data identify it.
//
// Lookups never fail hard: an unknown key or name gives null, and Qt calls on
// a null action do nothing. Only a miss for a real key writes a debug line.
//
// GUI thread only.
class ActionManager : public QObject
{
    Q_OBJECT

public:
    // What the registry keeps beside each action: the wording and icon it was
    // made with, so that a text variant can be switched back, and the
    // untranslated "selection" wording (translated only when applied, with a
    // plural count).
    struct ActionEntry
    {
        QAction *action = nullptr;
        KL::Action id = KL::Action::NoAction;
        QString defaultText;
        QIcon defaultIcon;
        std::optional<QString> alternateText;
        std::optional<QIcon> alternateIcon;
    };

    // Created empty on first use; lives until the process's static objects
    // are destroyed.
    static ActionManager *instance();
    ~ActionManager() override;

    // Makes every action but Undo and Redo; once, after the preferences are
    // loaded, because the check marks of several actions start from them.
    void createActions();
    // Registers the undo group's Undo and Redo actions; nothing for null.
    void createUndoRedoActions(QUndoGroup *group);

    ActionEntry *klAction(KL::Action id) const;
    QAction *action(KL::Action id) const;
    // Key names as stored in preferences and drag data; an unknown name
    // gives null silently.
    QAction *actionByName(const QString &name) const;
    ActionEntry *actionEntry(const QString &name) const;

    // Variant 0 restores the default wording and icon, variant 1 shows the
    // alternate wording (translated with `n` as the plural count) and, where
    // there is one, the alternate icon. Does nothing for an action without an
    // alternate wording.
    void setActionTextVariant(KL::Action id, int variant, int n);
    // Tooltips show the first shortcut; call after changing shortcuts or the
    // icon text.
    void updateToolTip(KL::Action id);

    // Around long modal work (export, save as): remember each action's
    // enabled state, disable everything, and later put the states back.
    void disableAllActions();
    void restoreAllActions();

protected:
    // Only instance() makes the shared registry; tests derive to get a fresh
    // one.
    ActionManager();

private:
    QAction *createAction(KL::Action id, const QString &text);
    QAction *createAction(KL::Action id, const QString &text, const QKeySequence &shortcut);
    QAction *createAction(KL::Action id, const QString &text, const QList<QKeySequence> &shortcuts);
    QAction *createAction(KL::Action id, const QIcon &icon, const QString &text);
    QAction *createAction(KL::Action id, const QIcon &icon, const QString &text, const QKeySequence &shortcut);
    QAction *createAction(KL::Action id, const QIcon &icon, const QString &text,
                          const QList<QKeySequence> &shortcuts);
    QAction *registerAction(KL::Action id, QAction *action, const QList<QKeySequence> &shortcuts);

    // The builders, in the order createActions() runs them.
    void createFileActions();
    void createDrawingActions();
    void createDrawingToolActions();
    void createPlaybackActions();
    void createViewActions();
    void createXSheetActions();
    void createSelectionActions();
    void createPaintLayerActions();
    void createWindowActions();
    void createHelpActions();
    void createOptionsActions();

    // Check marks that follow the preferences.
    void syncGridType(KL::GridType type);
    void syncThumbnailSize(KL::ThumbnailSize size);
    void syncTransparencyType(KL::TransparencyType type);
    void syncAutoSave();
    void syncUIScale(int percent);

    class ActionManagerPrivate;
    std::unique_ptr<ActionManagerPrivate> d;
};

} // namespace Model
