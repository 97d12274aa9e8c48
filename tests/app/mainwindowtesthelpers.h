#pragma once

// The main window as the program starts it, with a scripted user, for the
// tests of the window and of its scene commands.

#include "application.h"
#include "autosavemanager.h"
#include "mainwindow.h"
#include "runrecords.h"
#include "startup.h"

#include "scene/klscene.h"
#include "scene/scene.h"
#include "support/scripteddialogs.h"
#include "support/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QUndoCommand>
#include <QUndoStack>

#include <memory>

namespace MainWindowTest {

using TestSupport::ScriptedDialogs;

// Ends a run as a kill does: what it keeps on the disk of its run stays as
// it was while it ran.
template<typename Run>
void endAsIfKilled(std::unique_ptr<Run> run)
{
    const QDir runs(RunRecords::folder());
    QMap<QString, QByteArray> left;
    for (const QString &name : runs.entryList(QDir::Files))
        left.insert(name, TestSupport::fileContents(runs.filePath(name)));
    run.reset();
    for (auto file = left.cbegin(); file != left.cend(); ++file)
        if (!QFileInfo::exists(runs.filePath(file.key()))
            || TestSupport::fileContents(runs.filePath(file.key())) != file.value())
            QVERIFY(TestSupport::writeFileContents(runs.filePath(file.key()), file.value()));
}

// One window as main() makes it, with a scripted user.
struct Started
{
    ScriptedDialogs *dialogs = nullptr;
    std::unique_ptr<MainWindow> window;
};

// Builds, connects and shows the window as the start-up does, without
// letting the event loop turn.
inline Started startWindow(const QStringList &files)
{
    Started started;
    auto dialogs = std::make_unique<ScriptedDialogs>();
    started.dialogs = dialogs.get();
    started.window = std::make_unique<MainWindow>(std::move(dialogs));
    auto *application = qobject_cast<Application *>(QCoreApplication::instance());
    Startup::connectApplication(*application, *started.window, files);
    started.window->show();
    return started;
}

// The same, after the event loop's first turn has opened a scene.
inline Started startWindowWithScene()
{
    Started started = startWindow({});
    for (int turns = 0; turns < 100 && !Model::KLScene::current(); ++turns)
        QCoreApplication::processEvents();
    return started;
}

inline Model::Scene *currentScene()
{
    Model::KLScene *klscene = Model::KLScene::current();
    return klscene ? klscene->scene() : nullptr;
}

// An edit that changes nothing but the undo stack's clean state.
inline void editScene()
{
    currentScene()->undoStack()->push(new QUndoCommand(QStringLiteral("Test edit")));
}

inline QMenu *menuTitled(QMenuBar *bar, const QString &title)
{
    const QList<QAction *> entries = bar->actions();
    for (QAction *entry : entries) {
        if (entry->menu() && entry->menu()->title() == title)
            return entry->menu();
    }
    return nullptr;
}

inline QAction *entryWithText(const QMenu *menu, const QString &text)
{
    const QList<QAction *> entries = menu->actions();
    for (QAction *entry : entries) {
        if (entry->text() == text)
            return entry;
        if (entry->menu()) {
            if (QAction *found = entryWithText(entry->menu(), text))
                return found;
        }
    }
    return nullptr;
}

// The window's autosave on a clock the test moves by hand. The event loop
// does not turn between the steps of a test, so the timers never fire by
// themselves: fire() plays their expiry.
struct Autosave
{
    explicit Autosave(MainWindow *window)
        : manager(window->findChild<AutosaveManager *>())
    {
        manager->setClock([this] { return now; });
    }

    QTimer *timer(const char *name) const { return manager->findChild<QTimer *>(QLatin1StringView(name)); }
    bool waiting() const { return timer("autosaveTimer")->isActive(); }
    bool polling() const { return timer("retryTimer")->isActive(); }

    static void fire(QTimer *timer)
    {
        timer->stop();
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    }
    void intervalEnds() { fire(timer("autosaveTimer")); }
    void secondLater()
    {
        now += 1000;
        fire(timer("retryTimer"));
    }

    AutosaveManager *manager;
    qint64 now = 1'700'000'000'000;
};

} // namespace MainWindowTest
