#include "dialogs/tutorialdialog.h"

#include "dialogs/tutoriallinkbutton.h"
#include "style/uiresources.h"

#include "actions/helppages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace UI {

// The dialog's widgets, built in code with fixed object names.
class TutorialDialogForm
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    TutorialLinkButton *linkButton_1 = nullptr;
    TutorialLinkButton *linkButton_2 = nullptr;
    TutorialLinkButton *linkButton_3 = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QCheckBox *checkBox_dontShowAgain = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("UI__TutorialDialog"));
        dialog->resize(513, 381);
        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setSpacing(0);
        verticalLayout->setSizeConstraint(QLayout::SetFixedSize);
        verticalLayout->setContentsMargins(0, 0, 0, 0);
        for (TutorialLinkButton **button : {&linkButton_1, &linkButton_2, &linkButton_3}) {
            *button = new TutorialLinkButton(dialog);
            (*button)->setText(QStringLiteral("..."));
            verticalLayout->addWidget(*button);
        }
        linkButton_1->setObjectName(QStringLiteral("linkButton_1"));
        linkButton_2->setObjectName(QStringLiteral("linkButton_2"));
        linkButton_3->setObjectName(QStringLiteral("linkButton_3"));
        horizontalLayout = new QHBoxLayout;
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        horizontalLayout->setContentsMargins(12, 12, 12, 12);
        checkBox_dontShowAgain = new QCheckBox(TutorialDialog::tr("Don't show this again"), dialog);
        checkBox_dontShowAgain->setObjectName(QStringLiteral("checkBox_dontShowAgain"));
        buttonBox = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
        buttonBox->setObjectName(QStringLiteral("buttonBox"));
        horizontalLayout->addWidget(checkBox_dontShowAgain);
        horizontalLayout->addWidget(buttonBox);
        verticalLayout->addLayout(horizontalLayout);
        QObject::connect(buttonBox, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    }
};

TutorialDialog::TutorialDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<TutorialDialogForm>())
{
    registerUiResources();
    ui->setupUi(this);
    setWindowTitle(tr("How to animate with %1").arg(QCoreApplication::applicationName()));
    ui->verticalLayout->setSpacing(0);

    struct Link
    {
        TutorialLinkButton *button;
        QString title;
        QString description;
        const char *picture;
        Model::HelpPage page;
    };
    const Link links[] = {
        {ui->linkButton_1, tr("Basic Overview"), tr("Kelvane\n- at a glance"), "BasicOverview",
         Model::HelpPage::BasicOverview},
        {ui->linkButton_2, tr("Video Tutorials"),
         tr("How to animate with Kelvane.\nLearn everything from the basics to the advanced."), "VideoTutorials",
         Model::HelpPage::VideoTutorials},
        {ui->linkButton_3, tr("Shortcut Keys"), tr("Get efficient workflow with your\nfavorite keyboard shortcuts!"),
         "ShortcutKeys", Model::HelpPage::KeyboardShortcuts},
    };
    for (const Link &link : links) {
        const QString name = QLatin1String(link.picture);
        link.button->setTitle(link.title);
        link.button->setDescription(link.description);
        link.button->setImages(QStringLiteral(":/how_to_animate/%1Graphic.png").arg(name),
                               QStringLiteral(":/how_to_animate/%1DottedBox.png").arg(name));
        const Model::HelpPage page = link.page;
        connect(link.button, &QAbstractButton::clicked, this, [page] { Model::openHelpPage(page); });
    }
}

TutorialDialog::~TutorialDialog() = default;

bool TutorialDialog::dontShowAgain() const
{
    return ui->checkBox_dontShowAgain->isChecked();
}

void TutorialDialog::setDontShowAgain(bool dontShow)
{
    ui->checkBox_dontShowAgain->setChecked(dontShow);
}

} // namespace UI
