#pragma once

#include <QObject>

#include <memory>

class AutosaveManagerPrivate;

// The timing and the ring of numbered backups of the current scene.
//
// This one keeps the configuration the main window gives it (interval, ring
// size, whether it runs) and the changes-pending flag, but starts no timer
// and so never asks for a backup: writing backups needs the scene writer.
class AutosaveManager : public QObject
{
    Q_OBJECT

public:
    explicit AutosaveManager(QObject *parent = nullptr);
    ~AutosaveManager() override;

    int intervalMinutes() const;
    int maxBackups() const;
    bool isRunning() const;
    bool hasChangesToBackUp() const;

    void setIntervalMinutes(int minutes);
    void setMaxBackups(int count);
    void start();
    void reset();
    void markSceneChanged();

Q_SIGNALS:
    void autosaveTimeout();
    void autosaveReminderTimeout();

private:
    std::unique_ptr<AutosaveManagerPrivate> d;
};
