#pragma once

#include <QString>

namespace Model {

// The program's help pages on the web, in one place for the Help menu and
// the tutorial dialog.
enum class HelpPage {
    BasicOverview,
    VideoTutorials,
    KeyboardShortcuts,
    QuestionsAnswers,
};

// The page's address. The addresses of pages with prose are translatable
// (context "Model::ActionManager"), so that a translation can point to pages
// in its own language; the list of shortcuts is the same for all.
QString helpPageAddress(HelpPage page);

// Hands the page to the user's web browser (QDesktopServices::openUrl, which
// tests redirect with setUrlHandler). Whether a browser opened is not known.
void openHelpPage(HelpPage page);

} // namespace Model
