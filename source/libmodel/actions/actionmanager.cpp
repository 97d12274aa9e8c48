#include "actions/actionmanager.h"

#include <QAction>
#include <QDebug>
#include <QMetaEnum>
#include <QUndoGroup>
#include <QVariant>

#include <map>

namespace Model {

namespace {

const char *const ActionNameProperty = "KLActionName";
const char *const WasEnabledProperty = "WasEnabled";

QMetaEnum actionEnum()
{
    return QMetaEnum::fromType<KL::Action>();
}

KL::Action actionFromName(const QString &name)
{
    bool ok = false;
    const int value = actionEnum().keyToValue(name.toLatin1().constData(), &ok);
    return ok ? static_cast<KL::Action>(value) : KL::Action::NoAction;
}

// The tooltip shows the first shortcut only: the others are alternatives the
// user rarely needs to be told about. The icon text is used rather than the
// text so that mnemonics and trailing ellipses stay out of the tooltip.
void applyToolTipRule(QAction *action)
{
    const QList<QKeySequence> shortcuts = action->shortcuts();
    if (shortcuts.isEmpty()) {
        action->setToolTip(action->iconText());
        return;
    }
    action->setToolTip(ActionManager::tr("%1 [%2]", "Tooltip with shortcut")
                           .arg(action->iconText(), shortcuts.first().toString(QKeySequence::NativeText)));
}

void setApplicationShortcuts(QAction *action, const QList<QKeySequence> &shortcuts)
{
    if (shortcuts.isEmpty())
        return;
    action->setShortcuts(shortcuts);
    action->setShortcutContext(Qt::ApplicationShortcut);
}

} // namespace

class ActionManager::ActionManagerPrivate
{
public:
    explicit ActionManagerPrivate(ActionManager *manager)
        : q(manager)
    {
    }

    // The one way into the map. A second registration of a key replaces the
    // first; the replaced action is deleted later because callers may still
    // be inside one of its signals.
    void insertAction(KL::Action id, QAction *action)
    {
        const char *key = actionEnum().valueToKey(static_cast<int>(id));
        if (!key || !*key) {
            qDebug() << "Model::ActionManager::ActionManagerPrivate::insertAction"
                     << "Tried to add unnamed action";
            return;
        }
        action->setProperty(ActionNameProperty, QString::fromLatin1(key));

        const auto existing = m_entries.find(id);
        if (existing != m_entries.end()) {
            qDebug() << "Model::ActionManager::ActionManagerPrivate::insertAction"
                     << "Replacing action" << key;
            if (existing->second->action)
                existing->second->action->deleteLater();
            m_entries.erase(existing);
        }

        auto entry = std::make_unique<ActionEntry>();
        entry->action = action;
        entry->id = id;
        entry->defaultText = action->text();
        entry->defaultIcon = action->icon();
        m_entries.emplace(id, std::move(entry));
    }

    // Entries by key value, so that whole-registry passes run in key order.
    // Held by pointer: lookups hand out pointers to entries.
    std::map<KL::Action, std::unique_ptr<ActionEntry>> m_entries;
    ActionManager *const q;
};

ActionManager *ActionManager::instance()
{
    static ActionManager manager;
    return &manager;
}

ActionManager::ActionManager()
    : d(std::make_unique<ActionManagerPrivate>(this))
{
}

// The entries go with `d`; their actions and the groups are children and go
// with the QObject.
ActionManager::~ActionManager() = default;

void ActionManager::createActions()
{
    createFileActions();
    createDrawingActions();
    createDrawingToolActions();
    createPlaybackActions();
    createViewActions();
    createXSheetActions();
    createSelectionActions();
    createPaintLayerActions();
    createWindowActions();
    createHelpActions();
    createOptionsActions();
}

void ActionManager::createUndoRedoActions(QUndoGroup *group)
{
    if (!group)
        return;

    // The undo group keeps the text ("&Undo" and the command's text) and the
    // enabled state of these actions up to date.
    QAction *undo = group->createUndoAction(this, tr("&Undo"));
    undo->setIcon(QIcon(QStringLiteral(":/icons/Undo_icon.svg")));
    registerAction(KL::Action::Undo, undo, QKeySequence::keyBindings(QKeySequence::Undo));

    QAction *redo = group->createRedoAction(this, tr("&Redo"));
    redo->setIcon(QIcon(QStringLiteral(":/icons/Redo_icon.svg")));
    registerAction(KL::Action::Redo, redo, QKeySequence::keyBindings(QKeySequence::Redo));
}

ActionManager::ActionEntry *ActionManager::klAction(KL::Action id) const
{
    const auto found = d->m_entries.find(id);
    if (found != d->m_entries.end())
        return found->second.get();
    if (id != KL::Action::NoAction)
        qDebug() << "Model::ActionManager::klAction" << "action not found"
                 << actionEnum().valueToKey(static_cast<int>(id));
    return nullptr;
}

QAction *ActionManager::action(KL::Action id) const
{
    const ActionEntry *entry = klAction(id);
    return entry ? entry->action : nullptr;
}

QAction *ActionManager::actionByName(const QString &name) const
{
    return action(actionFromName(name));
}

ActionManager::ActionEntry *ActionManager::actionEntry(const QString &name) const
{
    return klAction(actionFromName(name));
}

void ActionManager::setActionTextVariant(KL::Action id, int variant, int n)
{
    ActionEntry *entry = klAction(id);
    if (!entry || !entry->alternateText || !entry->action)
        return;

    if (variant == 0) {
        entry->action->setText(entry->defaultText);
        entry->action->setIcon(entry->defaultIcon);
    } else if (variant == 1) {
        entry->action->setText(tr(entry->alternateText->toUtf8().constData(), nullptr, n));
        if (entry->alternateIcon)
            entry->action->setIcon(*entry->alternateIcon);
    }
    applyToolTipRule(entry->action);
}

void ActionManager::updateToolTip(KL::Action id)
{
    if (const ActionEntry *entry = klAction(id); entry && entry->action)
        applyToolTipRule(entry->action);
}

void ActionManager::disableAllActions()
{
    for (const auto &[id, entry] : d->m_entries) {
        if (!entry->action)
            continue;
        entry->action->setProperty(WasEnabledProperty, entry->action->isEnabled());
        entry->action->setEnabled(false);
    }
}

void ActionManager::restoreAllActions()
{
    // An action registered after disableAllActions() has no remembered state
    // and ends disabled, like the others until the work is over.
    for (const auto &[id, entry] : d->m_entries) {
        if (entry->action)
            entry->action->setEnabled(entry->action->property(WasEnabledProperty).toBool());
    }
}

QAction *ActionManager::createAction(KL::Action id, const QString &text)
{
    return registerAction(id, new QAction(text, this), {});
}

QAction *ActionManager::createAction(KL::Action id, const QString &text, const QKeySequence &shortcut)
{
    return createAction(id, text, shortcut.isEmpty() ? QList<QKeySequence>() : QList<QKeySequence>{shortcut});
}

QAction *ActionManager::createAction(KL::Action id, const QString &text, const QList<QKeySequence> &shortcuts)
{
    return registerAction(id, new QAction(text, this), shortcuts);
}

QAction *ActionManager::createAction(KL::Action id, const QIcon &icon, const QString &text)
{
    return registerAction(id, new QAction(icon, text, this), {});
}

QAction *ActionManager::createAction(KL::Action id, const QIcon &icon, const QString &text,
                                     const QKeySequence &shortcut)
{
    return createAction(id, icon, text,
                        shortcut.isEmpty() ? QList<QKeySequence>() : QList<QKeySequence>{shortcut});
}

QAction *ActionManager::createAction(KL::Action id, const QIcon &icon, const QString &text,
                                     const QList<QKeySequence> &shortcuts)
{
    return registerAction(id, new QAction(icon, text, this), shortcuts);
}

QAction *ActionManager::registerAction(KL::Action id, QAction *action, const QList<QKeySequence> &shortcuts)
{
    setApplicationShortcuts(action, shortcuts);
    applyToolTipRule(action);
    d->insertAction(id, action);
    return action;
}

} // namespace Model
