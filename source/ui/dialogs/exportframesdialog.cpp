#include "dialogs/exportframesdialog.h"

#include "dialogs/dialogforms.h"
#include "dialogs/exportdialogform.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QRadioButton>
#include <QSize>

namespace UI {

namespace {

constexpr char Context[] = "UI::ExportFramesDialog";

} // namespace

class ExportFramesDialog::ExportFramesDialogPrivate
{
public:
    explicit ExportFramesDialogPrivate(const Model::ExportFramesSettings &settings)
        : m_settings(settings)
    {
    }

    void setupUi(QDialog *dialog);

    Model::ExportFramesSettings m_settings;
    ExportDialogForm m_form;
    QRadioButton *m_excludeClones = nullptr;
    QRadioButton *m_includeClones = nullptr;
    QRadioButton *m_simpleSequence = nullptr;
    QCheckBox *m_combineLayers = nullptr;
    QCheckBox *m_makeAllLinesBlack = nullptr;
    QRadioButton *m_png = nullptr;
    QRadioButton *m_openExr = nullptr;
    QCheckBox *m_includeAlpha = nullptr;
    QCheckBox *m_exportAudio = nullptr;
};

void ExportFramesDialog::ExportFramesDialogPrivate::setupUi(QDialog *dialog)
{
    ExportDialogForm &form = m_form;
    form.setupFrame(dialog, Context, "UI__ExportFramesDialog", QSize(432, 431), "Export Frames", "Export Frames");
    form.addLayersRow(1);
    form.addLine(4, "line");
    form.addFramesRow(5);
    form.addLine(7, "line_2");
    form.addSectionLabel(8, "label_Clones", "Clones:");
    m_excludeClones = form.addRadioButton(8, 1, "radioButton_ExcludeClones",
                                          "Exclude Clones (numbers skipped in file sequence)", 3);
    m_includeClones = form.addRadioButton(9, 1, "radioButton_IncludeClones",
                                          "Include Local Clones (file names contain linkage)", 3);
    m_simpleSequence = form.addRadioButton(10, 1, "radioButton_SimpleUnbrokenSequence",
                                           "Simple Unbroken Sequence (clone info lost)", 3);
    form.addLine(12, "line_3");
    form.addSectionLabel(13, "label_Combine", "Combine:");
    m_combineLayers = form.addCheckBox(13, "checkBox_CombineLayers", "Combine Layers (merge into one)");
    m_makeAllLinesBlack = form.addCheckBox(14, "checkBox_MakeAllLinesBlack", "Make all lines black");
    form.addLine(16, "line_4");
    form.addSectionLabel(17, "label_Format", "Format:");
    m_png = form.addRadioButton(17, 1, "radioButton_PNG", "PNG");
    m_openExr = form.addRadioButton(17, 2, "radioButton_OpenEXR", "OpenEXR");
    m_includeAlpha = form.addCheckBox(18, "checkBox_IncludeAlpha", "Include Alpha (transparency)");
    form.addLine(19, "line_5");
    form.addSectionLabel(20, "label_Meta", "Meta:");
    m_exportAudio = form.addCheckBox(20, "checkBox_ExportAudio", "Export Audio (wav)");
    form.addLine(22, "line_6");
}

ExportFramesDialog::ExportFramesDialog(const Model::ExportFramesSettings &settings, QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint)
    , d(std::make_unique<ExportFramesDialogPrivate>(settings))
{
    d->setupUi(this);
    ExportDialogForm &form = d->m_form;
    colourSeparatorLines(this, form.lines);
    connect(form.buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(form.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    Model::ExportFramesSettings &record = d->m_settings;
    bindChoice(this, form.layerButtons(), record.layers);
    bindChoice(this, form.frameButtons(), record.frames);
    bindChoice(this, {d->m_excludeClones, d->m_includeClones, d->m_simpleSequence}, record.clones);
    bindCheckBox(d->m_combineLayers, record.combineLayers);
    bindCheckBox(d->m_makeAllLinesBlack, record.makeAllLinesBlack);
    bindChoice(this, {d->m_png, d->m_openExr}, record.imageFormat);
    bindCheckBox(d->m_includeAlpha, record.includeAlpha);
    d->m_exportAudio->setChecked(false);
    d->m_exportAudio->setEnabled(false);
}

ExportFramesDialog::~ExportFramesDialog() = default;

Model::ExportFramesSettings ExportFramesDialog::settings() const
{
    return d->m_settings;
}

void ExportFramesDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        colourSeparatorLines(this, d->m_form.lines);
    QDialog::changeEvent(event);
}

} // namespace UI
