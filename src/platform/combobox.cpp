#include "platform/combobox.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

ComboBox::ComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Typed text stays as typed: no completion from the list.
    setCompleter(nullptr);
    // A wheel passing over the list must not take the keyboard focus.
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, &ComboBox::activatedBy);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_listIndex = -1; });
}

void ComboBox::setText(const QString &text)
{
    const QSignalBlocker blocker(this);
    // The arrow keys step on from the entry shown, if the text is one.
    if (const int shown = findText(text); shown >= 0)
        setCurrentIndex(shown);
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

// The open list closes before it reports the entry chosen in it.
void ComboBox::hidePopup()
{
    m_operatorChoice = view()->isVisible();
    QComboBox::hidePopup();
    // A choice is reported before control returns to the event loop; a list
    // closed without one must not leave the next activation armed.
    QMetaObject::invokeMethod(
        this, [this] { m_operatorChoice = false; }, Qt::QueuedConnection);
}

void ComboBox::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    m_operatorChoice =
        !(event->modifiers() & Qt::AltModifier)
        && (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown);
    QComboBox::keyPressEvent(event);
    m_operatorChoice = false;
}

void ComboBox::focusOutEvent(QFocusEvent *event)
{
    m_operatorChoice = false;
    QComboBox::focusOutEvent(event);
}

void ComboBox::wheelEvent(QWheelEvent *event)
{
    event->ignore();
}

void ComboBox::activatedBy(int index)
{
    if (!m_operatorChoice)
        return;
    m_operatorChoice = false;
    choose(index);
}

QSize ComboBox::sizeHint() const
{
    QSize hint = QComboBox::sizeHint();
    hint.setWidth(std::max(hint.width(), widthForEntries()));
    return hint;
}

QSize ComboBox::minimumSizeHint() const
{
    QSize hint = QComboBox::minimumSizeHint();
    hint.setWidth(std::max(hint.width(), widthForEntries()));
    return hint;
}

// Qt sizes a list for its entries' text alone, but the text field keeps
// 2 px each side of the text and 1 px for the cursor: the longest entry
// would scroll its first character out of sight.
int ComboBox::widthForEntries() const
{
    int longest = 0;
    for (int i = 0; i < count(); ++i)
        longest = std::max(longest, fontMetrics().horizontalAdvance(itemText(i)));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.rect = QRect(0, 0, 1000, QComboBox::sizeHint().height());
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return longest + 2 * 2 + 1 + option.rect.width() - field.width();
}

void ComboBox::showPopup()
{
    emit popupAboutToShow();
    QComboBox::showPopup();
}
