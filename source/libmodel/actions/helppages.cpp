#include "actions/helppages.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

namespace Model {

QString helpPageAddress(HelpPage page)
{
    switch (page) {
    case HelpPage::BasicOverview:
        return QCoreApplication::translate("Model::ActionManager", "https://kelvane.org/help/basic-overview");
    case HelpPage::VideoTutorials:
        return QCoreApplication::translate("Model::ActionManager", "https://kelvane.org/help/video-tutorials");
    case HelpPage::KeyboardShortcuts:
        return QStringLiteral("https://kelvane.org/help/keyboard-shortcuts");
    case HelpPage::QuestionsAnswers:
        return QCoreApplication::translate("Model::ActionManager", "https://kelvane.org/help/questions-and-answers");
    }
    return QString();
}

void openHelpPage(HelpPage page)
{
    QDesktopServices::openUrl(QUrl(helpPageAddress(page), QUrl::TolerantMode));
}

} // namespace Model
