#pragma once

#include <QWidget>

class QStackedWidget;
class QTabBar;

// A row of page tabs over a stack of pages. Making another page current,
// by the operator or in code, raises Click at once. A page can be switched
// off so that the operator cannot select it; switching off the current
// page leaves it current (it only becomes unselectable once left).
//
// The keys of every tab widget: Ctrl+Tab and Ctrl+PageDown to the next
// page, Ctrl+Shift+Tab and Ctrl+PageUp to the previous one, anywhere in the
// window and wrapping round; Left and Right on the focused tab row. Both
// pass over switched-off pages and raise Click as a mouse click does. A
// wheel over the tab row changes no page.
class TabControl : public QWidget
{
    Q_OBJECT

public:
    explicit TabControl(QWidget *parent = nullptr);

    QWidget *addPage(const QString &caption);
    int count() const;
    QWidget *page(int index) const;
    QString caption(int index) const;

    int tab() const { return m_current; }
    void setTab(int index);
    bool isTabEnabled(int index) const;
    void setTabEnabled(int index, bool enabled);

signals:
    void Click(int previousTab);

private:
    void step(int direction);
    void select(int index);
    void applyEnabledStates();

    QTabBar *m_bar = nullptr;
    QStackedWidget *m_stack = nullptr;
    QList<bool> m_enabled;
    int m_current = 0;
};
