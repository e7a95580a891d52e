// What wx does not reach of the toolkit's widgets: minimum sizes, the progress
// bar's height, and what assistive technology is told about a widget.
// Window thread only.
#pragma once

#include <wx/window.h>

#include "tidewell/ui/resources.h"

namespace tidewell::ui::wxb::native {

// The least height the toolkit can draw the widget in; 0 when it does not say.
int minimumHeight(wxWindow* widget);

// A progress bar whose trough and fill take the widget's whole height (the
// theme's bar is a few pixels high whatever the widget's size).
void fillHeight(wxWindow* progressBar, int height);

// Gives the widget its accessible object now, in the role the template asks for;
// a status text labels no other control.
void describe(wxWindow* widget, AccessibleRole role);

// Not drawn, still in the accessible tree: stands in for text painted by hand.
void drawNothing(wxWindow* widget);

}  // namespace tidewell::ui::wxb::native
