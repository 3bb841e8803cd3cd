#include "platform/singleinstance.h"

#include <QFile>
#include <QStandardPaths>

#include <cstdio>

namespace {

void reportNoLock(const QString &why)
{
    std::fprintf(stderr, "alarm-host-tester: %s; not checking for another running copy\n",
                 QFile::encodeName(why).constData());
}

} // namespace

SingleInstance::SingleInstance(const QString &lockPath)
    : m_path(lockPath)
{
}

bool SingleInstance::anotherRunning()
{
    if (m_checked)
        return m_another;
    m_checked = true;

    if (m_path.isEmpty()) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (dir.isEmpty()) {
            reportNoLock(QStringLiteral("no runtime directory for the lock file"));
            return false;
        }
        m_path = dir + QStringLiteral("/alarm-host-tester.lock");
    }
    m_lock = std::make_unique<QLockFile>(m_path);
    // Only a dead owner makes the lock stale, never its age: a tool left
    // running for days still holds it.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return false;

    // Qt judges a lock by the process and the host name it names, so it
    // keeps one left empty by a run killed while making it, or written under
    // the machine's former name. Removing it succeeds only when no live copy
    // holds it.
    if (m_lock->error() == QLockFile::LockFailedError
        && (!m_lock->removeStaleLockFile() || !m_lock->tryLock(0))) {
        m_another = m_lock->error() == QLockFile::LockFailedError;
    }
    if (!m_another && !m_lock->isLocked())
        reportNoLock(QStringLiteral("cannot make the lock file ") + m_path);
    return m_another;
}
