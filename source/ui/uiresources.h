#pragma once

namespace UI {

// Registers the art of the tool bar, speed dials, controls bar, tool
// pockets, tool settings, paper and exposure sheet. The trees are linked
// into every program that uses these widgets and normally register
// themselves; the widgets ask for them anyway, so that they never depend on
// the linker keeping the registration. Cheap to repeat.
void registerUiResources();

} // namespace UI
