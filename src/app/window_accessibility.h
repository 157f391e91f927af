#pragma once

// What screen readers get of the window beyond Qt's own: the window itself as a window named by
// its title, whose children are its controls without the outlines, the line and the focus ring,
// which only decorate. Call it before the window's controls are made.
void installWindowAccessibility();
