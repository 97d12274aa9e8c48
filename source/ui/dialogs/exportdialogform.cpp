#include "dialogs/exportdialogform.h"

#include "dialogs/dialogforms.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSize>
#include <QVBoxLayout>

namespace UI {

namespace {

constexpr int Indent = 39;
constexpr int Margin = 12;

} // namespace

void ExportDialogForm::setupFrame(QDialog *dialog, const char *context, const char *objectName, const QSize &size,
                                  const char *title, const char *okText)
{
    m_dialog = dialog;
    m_context = context;
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QLatin1String(objectName));
    dialog->resize(size);
    dialog->setWindowTitle(text(title));

    verticalLayout = new QVBoxLayout(dialog);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout = new QGridLayout();
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setContentsMargins(0, Margin, 0, 0);
    verticalLayout->addLayout(gridLayout);

    auto *buttonRow = new QHBoxLayout();
    buttonRow->setObjectName(QStringLiteral("horizontalLayout_Buttons"));
    buttonRow->setContentsMargins(Margin, Margin, Margin, Margin);
    buttonBox = new QDialogButtonBox(dialog);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttonBox->button(QDialogButtonBox::Ok)->setText(text(okText));
    buttonRow->addWidget(buttonBox);
    verticalLayout->addLayout(buttonRow);
}

QLabel *ExportDialogForm::addSectionLabel(int row, const char *objectName, const char *source)
{
    auto *label = new QLabel(text(source), m_dialog);
    label->setObjectName(QLatin1String(objectName));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *box = new QHBoxLayout();
    box->setContentsMargins(Indent, 0, 0, 0);
    box->addWidget(label);
    gridLayout->addLayout(box, row, 0);
    return label;
}

QFrame *ExportDialogForm::addLine(int row, const char *objectName)
{
    QFrame *line = separatorLine(objectName, Qt::Horizontal, m_dialog);
    gridLayout->addWidget(line, row, 0, 1, 4);
    lines.append(line);
    return line;
}

QRadioButton *ExportDialogForm::addRadioButton(int row, int column, const char *objectName, const char *source,
                                               int columnSpan)
{
    auto *button = new QRadioButton(text(source), m_dialog);
    button->setObjectName(QLatin1String(objectName));
    gridLayout->addWidget(button, row, column, 1, columnSpan);
    return button;
}

QRadioButton *ExportDialogForm::addRightmostRadioButton(int row, int column, const char *objectName,
                                                        const char *source)
{
    auto *button = new QRadioButton(text(source), m_dialog);
    button->setObjectName(QLatin1String(objectName));
    auto *box = new QHBoxLayout();
    box->setContentsMargins(0, 0, Indent, 0);
    box->addWidget(button);
    gridLayout->addLayout(box, row, column);
    return button;
}

QCheckBox *ExportDialogForm::addCheckBox(int row, const char *objectName, const char *source)
{
    auto *box = new QCheckBox(text(source), m_dialog);
    box->setObjectName(QLatin1String(objectName));
    gridLayout->addWidget(box, row, 1, 1, 3);
    return box;
}

void ExportDialogForm::addLayersRow(int row)
{
    label_Layers = addSectionLabel(row, "label_Layers", "Layers:");
    radioButton_AllLayers = addRadioButton(row, 1, "radioButton_AllLayers", "All Layers");
    radioButton_VisibleLayers = addRadioButton(row, 2, "radioButton_VisibleLayers", "Visible Layers");
    radioButton_ActiveLayerOnly = addRightmostRadioButton(row, 3, "radioButton_ActiveLayerOnly", "Active Layer Only");
}

void ExportDialogForm::addFramesRow(int row)
{
    label_Frames = addSectionLabel(row, "label_Frames", "Frames:");
    radioButton_AllFrames = addRadioButton(row, 1, "radioButton_AllFrames", "All Frames");
    radioButton_RangeOnly = addRadioButton(row, 2, "radioButton_RangeOnly", "Range Only");
}

QList<QAbstractButton *> ExportDialogForm::layerButtons() const
{
    return {radioButton_AllLayers, radioButton_VisibleLayers, radioButton_ActiveLayerOnly};
}

QList<QAbstractButton *> ExportDialogForm::frameButtons() const
{
    return {radioButton_AllFrames, radioButton_RangeOnly};
}

QPushButton *ExportDialogForm::okButton() const
{
    return buttonBox->button(QDialogButtonBox::Ok);
}

QString ExportDialogForm::text(const char *source) const
{
    return QCoreApplication::translate(m_context, source);
}

} // namespace UI
