#pragma once

#include "form/form1widgets.h"

class QWidget;

// Builds the whole widget tree of the window into `form`: the one place
// where widgets are created, captioned, filled and given their start state.
// Returns the widgets the handlers reach.
Form1Widgets buildForm1Widgets(QWidget *form);
