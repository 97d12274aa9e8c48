#pragma once

#include <QString>

class QHelpEvent;

namespace UI {

// Answers a tool-tip event of a custom-painted widget that shows the tips of
// its own parts: shows `text` at the event's global position, or, with no
// text, hides any tip and leaves the event unaccepted. Returns true, for the
// widget's event() to return: the event is handled either way.
bool answerToolTip(QHelpEvent *event, const QString &text);

} // namespace UI
