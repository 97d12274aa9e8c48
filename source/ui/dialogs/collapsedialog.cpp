#include "dialogs/collapsedialog.h"

#include "dialogs/dialogforms.h"
#include "style/uiresources.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace UI {

namespace {

constexpr char Context[] = "UI::CollapseDialog";
const QString HelpPage = QStringLiteral("https://kelvane.org/help/lineengine/");

QString text(const char *source)
{
    return QCoreApplication::translate(Context, source);
}

} // namespace

class CollapseDialog::CollapseDialogPrivate
{
public:
    void setupUi(QDialog *dialog);

    QLabel *m_image = nullptr;
    QFrame *m_line = nullptr;
    QCheckBox *m_collapseAutomatically = nullptr;
    QDialogButtonBox *m_buttonBox = nullptr;
};

void CollapseDialog::CollapseDialogPrivate::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("UI__CollapseDialog"));
    dialog->resize(400, 300);
    dialog->setModal(true);
    dialog->setWindowTitle(text("Dialog"));

    auto *grid = new QGridLayout(dialog);
    grid->setObjectName(QStringLiteral("gridLayout"));
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->setVerticalSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnStretch(0, 1);

    registerUiResources();
    m_image = new QLabel(dialog);
    m_image->setObjectName(QStringLiteral("imageLabel"));
    m_image->setPixmap(QPixmap(QStringLiteral(":/dialogs/CollapseGraphic@2x.png")));
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setMargin(24);
    grid->addWidget(m_image, 0, 0);

    auto *question = new QVBoxLayout();
    question->setObjectName(QStringLiteral("verticalLayout_2"));
    question->setSpacing(6);
    question->setContentsMargins(12, 24, 12, 12);
    auto *heading = new QLabel(text("Collapse the<br/>current drawing?"), dialog);
    heading->setObjectName(QStringLiteral("label_2"));
    QFont bold = heading->font();
    bold.setWeight(QFont::Bold);
    heading->setFont(bold);
    heading->setWordWrap(true);
    question->addWidget(heading);
    question->addWidget(separatorLine("line_2", Qt::Horizontal, dialog));
    auto *whatsThis = new QLabel(text("What's this? <a href=\"%1\">Read here</a>").arg(HelpPage), dialog);
    whatsThis->setObjectName(QStringLiteral("whatsThisLabel"));
    whatsThis->setTextFormat(Qt::RichText);
    whatsThis->setOpenExternalLinks(true);
    question->addWidget(whatsThis);
    question->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));
    grid->addLayout(question, 0, 1);

    m_line = separatorLine("line", Qt::Horizontal, dialog);
    grid->addWidget(m_line, 2, 0, 1, 2);

    auto *checkRow = new QHBoxLayout();
    checkRow->setObjectName(QStringLiteral("horizontalLayout"));
    checkRow->setContentsMargins(12, 12, 12, 12);
    m_collapseAutomatically = new QCheckBox(text("Collapse automatically"), dialog);
    m_collapseAutomatically->setObjectName(QStringLiteral("collapseAutomaticallyCheckBox"));
    checkRow->addWidget(m_collapseAutomatically);
    grid->addLayout(checkRow, 3, 0);

    auto *buttonRow = new QHBoxLayout();
    buttonRow->setObjectName(QStringLiteral("horizontalLayout_2"));
    buttonRow->setContentsMargins(12, 12, 12, 12);
    m_buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, dialog);
    m_buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonRow->addWidget(m_buttonBox);
    grid->addLayout(buttonRow, 3, 1);
}

CollapseDialog::CollapseDialog(QWidget *parent)
    : QDialog(parent, Qt::CustomizeWindowHint)
    , d(std::make_unique<CollapseDialogPrivate>())
{
    d->setupUi(this);
    connect(d->m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(d->m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    colourSeparatorLines(this, {d->m_line});
    QPushButton *collapse = d->m_buttonBox->button(QDialogButtonBox::Ok);
    collapse->setText(tr("Collapse"));
    collapse->setDefault(true);
}

CollapseDialog::~CollapseDialog() = default;

bool CollapseDialog::collapseAutomatically() const
{
    return d->m_collapseAutomatically->isChecked();
}

void CollapseDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        colourSeparatorLines(this, {d->m_line});
    QDialog::changeEvent(event);
}

} // namespace UI
