// Stand-in for the window's speed-dial opener, as far as the hold keys need
// it: this file goes as a whole when the controls bar's own code arrives,
// which does this and more.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"

#include "speeddial.h"

#include "actions/actionmanager.h"

#include <QAction>

namespace {

using A = KL::Action;

using MainWindowLookups::action;

} // namespace

void MainWindow::openSpeedDial(bool primary, bool hideAfterSelection)
{
    commitActiveStroke();
    UI::SpeedDial *dial = primary ? d->m_primarySpeedDial : d->m_secondarySpeedDial;
    dial->hideHint();
    action(primary ? A::PrimarySpeedDial : A::SecondarySpeedDial)->trigger();
    dial->setHideAfterSelection(hideAfterSelection);
}
