#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// Tells whether another copy of the program runs for this user, by a lock
// file in the user's runtime directory. A lock that no live copy holds (left
// behind by a crashed run, or under the machine's former name) is taken
// over; a lock that cannot be made at all (no runtime directory, a full or
// read-only one) is reported on standard error and does not stop the
// program.
class SingleInstance
{
public:
    // An empty path stands for the user's runtime directory, looked up at
    // the first question.
    explicit SingleInstance(const QString &lockPath = {});

    bool anotherRunning();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_checked = false;
    bool m_another = false;
};
