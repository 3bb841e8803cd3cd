#pragma once

#include <QLockFile>
#include <QString>

// Tells whether another copy of the program runs, by a lock file in the
// temporary directory. A lock left behind by a crashed run is taken over.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &lockPath = defaultLockPath());

    bool anotherRunning();

    static QString defaultLockPath();

private:
    QLockFile m_lock;
    bool m_checked = false;
    bool m_another = false;
};
