#pragma once

#include <array>

class CheckBox;
class ComboBox;
class CommandButton;
class Lamp;
class QGroupBox;
class TabControl;
class TextBox;
class UpDown;

// The widgets the handlers reach, by their names; control arrays are
// indexed as the handlers index them. Each widget's objectName is its name
// here, with "_k" appended for element k of an array (Check1_3); the labels,
// lines and frames no handler touches carry their names only as objectName.
struct Form1Widgets
{
    TabControl *SSTab1 = nullptr;

    QGroupBox *Frame3 = nullptr;  // manual outputs, page 0
    QGroupBox *Frame10 = nullptr; // manual outputs, page 1
    QGroupBox *Frame7 = nullptr;  // linkage outputs, page 4

    std::array<Lamp *, 8> Shape1{};  // inputs 1..8, page 0
    std::array<Lamp *, 16> Shape2{}; // 0..7 outputs on page 0, 8..15 outputs on page 1
    std::array<Lamp *, 16> Shape3{}; // inputs 1..16, page 1

    std::array<CheckBox *, 8> Check1{}; // manual outputs, page 0
    std::array<CheckBox *, 8> Check2{}; // linkage row of the chosen input, page 4
    CheckBox *Check3 = nullptr;         // linkage on
    CheckBox *Check4 = nullptr;         // reset time adjustable
    std::array<CheckBox *, 8> Check5{}; // manual outputs, page 1

    CommandButton *Command1 = nullptr;         // start linkage
    std::array<CommandButton *, 2> Command2{}; // cancel linkage, per host page
    CommandButton *Command3 = nullptr;         // confirm the channel's row
    CommandButton *Command4 = nullptr;         // clear the table
    CommandButton *Command6 = nullptr;         // default table
    std::array<CommandButton *, 2> Command7{}; // lock, per host page
    std::array<CommandButton *, 2> Command8{}; // reset, per host page

    ComboBox *Combo1 = nullptr; // port
    ComboBox *Combo2 = nullptr; // address
    ComboBox *Combo3 = nullptr; // poll period
    ComboBox *Combo4 = nullptr; // host model
    ComboBox *Combo5 = nullptr; // input channel

    TextBox *Text1 = nullptr; // filter time, tenths of a second
    TextBox *Text2 = nullptr; // reset time, seconds
    UpDown *UpDown1 = nullptr;
    UpDown *UpDown2 = nullptr;
    UpDown *UpDown3 = nullptr;
};
