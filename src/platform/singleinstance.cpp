#include "platform/singleinstance.h"

#include <QDir>

SingleInstance::SingleInstance(const QString &lockPath)
    : m_lock(lockPath)
{
    // Only a dead owner makes the lock stale, never its age: a tool left
    // running for days still holds it.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::anotherRunning()
{
    if (!m_checked) {
        m_checked = true;
        m_another = !m_lock.tryLock(0);
    }
    return m_another;
}

QString SingleInstance::defaultLockPath()
{
    return QDir::temp().filePath(QStringLiteral("alarm-host-tester.lock"));
}
