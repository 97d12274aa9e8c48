#include "autosavemanager.h"

class AutosaveManagerPrivate
{
public:
    int m_intervalMinutes = 15;
    int m_maxBackups = 3;
    bool m_running = false;
    bool m_changesPending = false;
};

AutosaveManager::AutosaveManager(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<AutosaveManagerPrivate>())
{
}

AutosaveManager::~AutosaveManager() = default;

int AutosaveManager::intervalMinutes() const
{
    return d->m_intervalMinutes;
}

int AutosaveManager::maxBackups() const
{
    return d->m_maxBackups;
}

bool AutosaveManager::isRunning() const
{
    return d->m_running;
}

bool AutosaveManager::hasChangesToBackUp() const
{
    return d->m_changesPending;
}

void AutosaveManager::setIntervalMinutes(int minutes)
{
    d->m_intervalMinutes = minutes;
}

void AutosaveManager::setMaxBackups(int count)
{
    d->m_maxBackups = count;
}

void AutosaveManager::start()
{
    d->m_running = true;
}

void AutosaveManager::reset()
{
    d->m_changesPending = false;
}

void AutosaveManager::markSceneChanged()
{
    d->m_changesPending = true;
}
