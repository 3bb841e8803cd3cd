#pragma once

#include <QComboBox>

// An editable drop-down list. Click comes only from the operator choosing
// an entry. listIndex() is the chosen entry's position, or -1 once the
// list was cleared, its text set in code or typed by the operator.
class ComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit ComboBox(QWidget *parent = nullptr);

    QString text() const { return currentText(); }
    void setText(const QString &text);
    int listIndex() const { return m_listIndex; }
    int listCount() const { return count(); }
    void clearList();
    void addEntry(const QString &entry);
    // The operator's choice of entry `index`, as from the drop-down.
    void choose(int index);
    void showPopup() override;

signals:
    void Click();
    // The list is about to drop down, in time to bring its entries up to date.
    void popupAboutToShow();

private:
    int m_listIndex = -1;
};
