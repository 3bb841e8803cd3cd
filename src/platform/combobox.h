#pragma once

#include <QComboBox>

// An editable drop-down list. Click comes only from the operator choosing
// an entry: from the open list, or by stepping with the arrow keys while
// the list has the keyboard focus. A wheel notch never changes the list
// (the page under it gets the wheel), and typed text raises nothing: its
// readers take the text. listIndex() is the chosen entry's position, or -1
// once the list was cleared, its text set in code or typed by the operator.
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
    void hidePopup() override;
    // Wide enough to show the longest entry whole in the text field.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void Click();
    // The list is about to drop down, in time to bring its entries up to date.
    void popupAboutToShow();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void activatedBy(int index);
    int widthForEntries() const;

    int m_listIndex = -1;
    // Set while Qt's activation comes from the open list or an arrow key;
    // any other activation (typed text on Enter or focus loss) is ignored.
    bool m_operatorChoice = false;
};
