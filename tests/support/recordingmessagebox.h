#pragma once

#include "platform/messagebox.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <functional>

// Test double: records every box and closes it at once, after running an
// optional hook that stands for what happens while the box is open.
class RecordingMessageBox : public MessageBox
{
public:
    struct Shown
    {
        QString text;
        int style = 0;
        QString title;
        int64_t time = 0;
    };

    explicit RecordingMessageBox(std::function<int64_t()> now = {})
        : m_now(std::move(now))
    {
    }

    void show(const QString &text, int style, const QString &title) override
    {
        m_shown.append({text, style, title, m_now ? m_now() : 0});
        if (whileOpen)
            whileOpen(text);
    }

    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const
    {
        QStringList list;
        for (const Shown &box : m_shown)
            list.append(box.text);
        return list;
    }
    void clear() { m_shown.clear(); }

    std::function<void(const QString &)> whileOpen;

private:
    std::function<int64_t()> m_now;
    QList<Shown> m_shown;
};
