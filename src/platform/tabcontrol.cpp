#include "platform/tabcontrol.h"

#include <QKeySequence>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

// Pages change on a click or from the keyboard only: a wheel notch passing
// over the tabs would open the port and switch outputs off, or probe it.
class TabRow : public QTabBar
{
public:
    using QTabBar::QTabBar;

protected:
    void wheelEvent(QWheelEvent *event) override { event->ignore(); }
};

} // namespace

TabControl::TabControl(QWidget *parent)
    : QWidget(parent)
    , m_bar(new TabRow(this))
    , m_stack(new QStackedWidget(this))
{
    m_bar->setUsesScrollButtons(false);
    m_bar->setExpanding(true);
    m_bar->setDrawBase(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_bar);
    layout->addWidget(m_stack, 1);
    m_stack->setFrameShape(QFrame::StyledPanel);
    connect(m_bar, &QTabBar::currentChanged, this, &TabControl::select);

    const struct
    {
        QKeyCombination key;
        int direction;
    } keys[] = {
        {Qt::CTRL | Qt::Key_Tab, 1},
        {Qt::CTRL | Qt::Key_PageDown, 1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, -1},
        {Qt::CTRL | Qt::Key_PageUp, -1},
    };
    for (const auto &key : keys) {
        auto *shortcut = new QShortcut(QKeySequence(key.key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this,
                [this, direction = key.direction] { step(direction); });
    }
}

QWidget *TabControl::addPage(const QString &caption)
{
    auto *page = new QWidget(m_stack);
    m_stack->addWidget(page);
    {
        const QSignalBlocker blocker(m_bar);
        m_bar->addTab(caption);
        m_bar->setCurrentIndex(m_current);
    }
    m_enabled.append(true);
    return page;
}

int TabControl::count() const
{
    return m_stack->count();
}

QWidget *TabControl::page(int index) const
{
    return m_stack->widget(index);
}

QString TabControl::caption(int index) const
{
    return m_bar->tabText(index);
}

void TabControl::setTab(int index)
{
    if (index < 0 || index >= count() || index == m_current)
        return;
    {
        const QSignalBlocker blocker(m_bar);
        m_bar->setCurrentIndex(index);
    }
    select(index);
}

bool TabControl::isTabEnabled(int index) const
{
    return index >= 0 && index < m_enabled.size() && m_enabled[index];
}

void TabControl::setTabEnabled(int index, bool enabled)
{
    if (index < 0 || index >= m_enabled.size())
        return;
    m_enabled[index] = enabled;
    applyEnabledStates();
}

// The next selectable page in that direction, round the end of the row.
void TabControl::step(int direction)
{
    const int pages = count();
    for (int distance = 1; distance < pages; ++distance) {
        const int index = ((m_current + direction * distance) % pages + pages) % pages;
        if (isTabEnabled(index)) {
            setTab(index);
            return;
        }
    }
}

void TabControl::select(int index)
{
    if (index == m_current)
        return;
    const int previous = m_current;
    m_current = index;
    m_stack->setCurrentIndex(index);
    applyEnabledStates();
    emit Click(previous);
}

// QTabBar moves away from a current tab that gets disabled, so the current
// one stays enabled in the bar until it is left.
void TabControl::applyEnabledStates()
{
    const QSignalBlocker blocker(m_bar);
    for (int i = 0; i < m_enabled.size(); ++i)
        m_bar->setTabEnabled(i, m_enabled[i] || i == m_current);
    if (m_bar->currentIndex() != m_current)
        m_bar->setCurrentIndex(m_current);
}
