#include "combobox.h"

#include <QLineEdit>

ComboBox::ComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Typed text stays as typed: no completion from the list.
    setCompleter(nullptr);
    connect(this, &QComboBox::activated, this, &ComboBox::choose);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_listIndex = -1; });
}

void ComboBox::setText(const QString &text)
{
    const QSignalBlocker blocker(this);
    setEditText(text);
    m_listIndex = -1;
}

void ComboBox::clearList()
{
    const QSignalBlocker blocker(this);
    clear();
    m_listIndex = -1;
}

void ComboBox::addEntry(const QString &entry)
{
    // Adding the first entry would select it and replace the shown text.
    const QString shown = currentText();
    const QSignalBlocker blocker(this);
    addItem(entry);
    setEditText(shown);
}

void ComboBox::choose(int index)
{
    if (index < 0 || index >= count())
        return;
    {
        const QSignalBlocker blocker(this);
        setCurrentIndex(index);
        setEditText(itemText(index));
    }
    m_listIndex = index;
    emit Click();
}

void ComboBox::showPopup()
{
    emit popupAboutToShow();
    QComboBox::showPopup();
}
