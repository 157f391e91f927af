#pragma once

// What screen readers get of the window beyond Qt's own: the window itself as a window named by
// its title, whose children are its controls without the outlines, the line and the focus ring,
// which only decorate; and drop-down lists named by their own name, with the chosen entry as
// their value and as the selected entry of their list, where Qt names them by that entry. Call
// it before the window's controls are made, so that every control is shown this way.
void installWindowAccessibility();
