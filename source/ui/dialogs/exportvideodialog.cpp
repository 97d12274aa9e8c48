#include "dialogs/exportvideodialog.h"

#include "dialogs/dialogforms.h"
#include "dialogs/exportdialogform.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSize>

#include <cmath>

namespace UI {

namespace {

constexpr char Context[] = "UI::ExportVideoDialog";
// Beyond this the encoders run out of memory or refuse the size.
constexpr double MaximumOutputPixels = 150'000'000.0;

using Format = Model::ExportVideoSettings::VideoFormat;

bool carriesAlpha(const Model::ExportVideoSettings &settings)
{
    return settings.videoFormat == Model::ExportVideoSettings::ProRes;
}

bool carriesAudio(const Model::ExportVideoSettings &settings)
{
    return settings.audioAvailable && settings.videoFormat != Model::ExportVideoSettings::GIF;
}

// Shows a choice that the chosen format may not carry; the record keeps the
// user's own choice either way, so the box must not write back.
void showChoice(QCheckBox *box, bool usable, bool chosen)
{
    const QSignalBlocker blocker(box);
    box->setEnabled(usable);
    box->setChecked(usable && chosen);
}

} // namespace

class ExportVideoDialog::ExportVideoDialogPrivate
{
public:
    ExportVideoDialogPrivate(const Model::ExportVideoSettings &settings, const QSize &frameSize)
        : m_settings(settings)
        , m_frameSize(frameSize)
    {
    }

    void setupUi(QDialog *dialog);
    void formatChosen(Format format);
    void refillScaleList();
    void scaleChosen();
    void showResolution();

    Model::ExportVideoSettings m_settings;
    QSize m_frameSize;
    ExportDialogForm m_form;
    QRadioButton *m_mp4 = nullptr;
    QRadioButton *m_gif = nullptr;
    QRadioButton *m_proRes = nullptr;
    QCheckBox *m_includeAlpha = nullptr;
    QCheckBox *m_includeAudio = nullptr;
    QComboBox *m_scale = nullptr;
    QLabel *m_resolution = nullptr;
    QWidget *m_dialog = nullptr;
};

void ExportVideoDialog::ExportVideoDialogPrivate::setupUi(QDialog *dialog)
{
    m_dialog = dialog;
    ExportDialogForm &form = m_form;
    form.setupFrame(dialog, Context, "UI__ExportVideoDialog", QSize(472, 297), "Export Movie Clip",
                    "Export Movie Clip");
    form.addLayersRow(1);
    form.addLine(4, "line");
    form.addFramesRow(5);
    form.addLine(7, "line_2");
    form.addSectionLabel(10, "label_Format", "Format:");
    m_mp4 = form.addRadioButton(10, 1, "radioButton_MP4", "MP4 (H.264)");
    m_gif = form.addRadioButton(10, 2, "radioButton_GIF", "GIF");
    m_proRes = form.addRightmostRadioButton(10, 3, "radioButton_Prores", "MOV (ProRes)");
    m_includeAlpha = form.addCheckBox(11, "checkBox_IncludeAlpha", "Include Alpha (transparency)");
    m_includeAudio = form.addCheckBox(12, "checkBox_IncludeAudio", "Include Audio");
    form.addLine(13, "line_4");

    auto *scaleLabel = new QLabel(form.text("Scale:"), dialog);
    scaleLabel->setObjectName(QStringLiteral("label"));
    scaleLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form.gridLayout->addWidget(scaleLabel, 14, 0);
    m_scale = new QComboBox(dialog);
    m_scale->setObjectName(QStringLiteral("comboBoxScale"));
    form.gridLayout->addWidget(m_scale, 14, 1);
    m_resolution = new QLabel(QStringLiteral("800 x 600"), dialog);
    m_resolution->setObjectName(QStringLiteral("labelResolution"));
    form.gridLayout->addWidget(m_resolution, 14, 2, 1, 2);
    form.addLine(15, "line_3");
}

void ExportVideoDialog::ExportVideoDialogPrivate::formatChosen(Format format)
{
    m_settings.videoFormat = format;
    showChoice(m_includeAlpha, carriesAlpha(m_settings), m_settings.includeAlpha);
    showChoice(m_includeAudio, carriesAudio(m_settings), m_settings.includeAudio);
    refillScaleList();
}

void ExportVideoDialog::ExportVideoDialogPrivate::refillScaleList()
{
    const QSignalBlocker blocker(m_scale);
    m_scale->clear();
    // GIF frames are kept whole in memory while the palette is built.
    const bool gif = m_settings.videoFormat == Model::ExportVideoSettings::GIF;
    for (const int percent : {400, 200, 100, 50, 25}) {
        if (gif && percent > 100)
            continue;
        const double factor = percent * 0.01;
        if (m_frameSize.width() * factor * m_frameSize.height() * factor >= MaximumOutputPixels)
            continue;
        m_scale->addItem(QStringLiteral("%1%").arg(percent), percent);
    }

    int current = m_scale->findData(m_settings.scalePercent);
    if (current < 0)
        current = m_scale->findData(100);
    if (current < 0 && m_scale->count() > 0)
        current = 0;
    m_scale->setCurrentIndex(current);
    if (current >= 0)
        m_settings.scalePercent = m_scale->itemData(current).toInt();
    showResolution();
}

void ExportVideoDialog::ExportVideoDialogPrivate::scaleChosen()
{
    m_settings.scalePercent = m_scale->currentData().toInt();
    showResolution();
}

void ExportVideoDialog::ExportVideoDialogPrivate::showResolution()
{
    const auto scaled = [this](int length) {
        return int(std::lround(double(length) * m_settings.scalePercent / 100.0));
    };
    const QSize size(scaled(m_frameSize.width()), scaled(m_frameSize.height()));
    if (!size.isValid()) {
        m_resolution->clear();
        return;
    }
    const QLocale locale = m_dialog->locale();
    m_resolution->setText(QCoreApplication::translate(Context, "%1 x %2", "resolution (width x height)")
                              .arg(locale.toString(size.width()), locale.toString(size.height())));
}

ExportVideoDialog::ExportVideoDialog(const Model::ExportVideoSettings &settings, const QSize &frameSize,
                                     QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint)
    , d(std::make_unique<ExportVideoDialogPrivate>(settings, frameSize))
{
    d->setupUi(this);
    ExportDialogForm &form = d->m_form;
    colourSeparatorLines(this, form.lines);
    connect(form.buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(form.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    Model::ExportVideoSettings &record = d->m_settings;
    bindChoice(this, form.layerButtons(), record.layers);
    bindChoice(this, form.frameButtons(), record.frames);
    // Button ids are the enumeration's values, whatever the order on screen.
    QButtonGroup *formats = choiceGroup(this, {d->m_gif, d->m_mp4, d->m_proRes});
    d->m_includeAudio->setEnabled(record.audioAvailable);
    d->m_includeAudio->setChecked(record.audioAvailable && record.includeAudio);
    connect(d->m_includeAlpha, &QCheckBox::toggled, this,
            [this](bool checked) { d->m_settings.includeAlpha = checked; });
    connect(d->m_includeAudio, &QCheckBox::toggled, this,
            [this](bool checked) { d->m_settings.includeAudio = checked; });
    onChoice(formats, [this](int format) { d->formatChosen(Format(format)); });
    // Runs the format's handler, which sets the boxes and fills the scale list.
    checkChoice(formats, record.videoFormat);

    d->m_resolution->setEnabled(false);
    d->refillScaleList();
    connect(d->m_scale, &QComboBox::currentIndexChanged, this, [this] { d->scaleChosen(); });
}

ExportVideoDialog::~ExportVideoDialog() = default;

Model::ExportVideoSettings ExportVideoDialog::settings() const
{
    return d->m_settings;
}

Model::ExportVideoSettings ExportVideoDialog::exportSettings() const
{
    Model::ExportVideoSettings carried = d->m_settings;
    carried.includeAlpha = carried.includeAlpha && carriesAlpha(carried);
    carried.includeAudio = carried.includeAudio && carriesAudio(carried);
    return carried;
}

void ExportVideoDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        colourSeparatorLines(this, d->m_form.lines);
    QDialog::changeEvent(event);
}

} // namespace UI
