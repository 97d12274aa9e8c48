#pragma once

namespace UI {

// One flag for the whole program: false while a press of a hold key (Space,
// Z) waits to be told apart as a tap or a hold, true otherwise. The main
// window writes it; the paper starts no pen or eraser stroke, outline or
// selection edit while it is false, so that a key held for a temporary tool
// never leaves a dot of ink behind.
bool holdKeyResolved();
void setHoldKeyResolved(bool resolved);

} // namespace UI
