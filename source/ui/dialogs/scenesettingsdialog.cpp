#include "dialogs/scenesettingsdialog.h"

#include "dialogs/boundeddoublevalidator.h"
#include "dialogs/boundedintvalidator.h"
#include "dialogs/scenesettingsdelegates.h"
#include "dialogs/scenesettingsmodels.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>

namespace UI {

namespace {

constexpr int MaximumFrameSide = 8192;
constexpr double MinimumFrameRate = 0.1;
constexpr double MaximumFrameRate = 60.0;
constexpr int MaximumInitialFrames = 10000;

const QStringList FrameSizePresets = {
    QStringLiteral("Small Square|512|512"),
    QStringLiteral("Large Square|1024|1024"),
    QStringLiteral("---"),
    QStringLiteral("720p HD (16:9)|1280|720"),
    QStringLiteral("1080p HD (16:9)|1920|1080"),
    QStringLiteral("---"),
    QStringLiteral("2K|2048|1024"),
    QStringLiteral("4K Ultra HD|3840|2160"),
    QStringLiteral("4K Digital Cinema|4096|2160"),
    QStringLiteral("---"),
    QStringLiteral("Horizontal Pan Example|5000|1080"),
    QStringLiteral("Vertical Pan Example|1920|5000"),
    QStringLiteral("---"),
    QStringLiteral("Custom|width|height"),
};

const QStringList FrameRatePresets = {
    QStringLiteral("Cinema (on threes)|8"),
    QStringLiteral("---"),
    QStringLiteral("Cinema (on twos)|12"),
    QStringLiteral("PAL Video (on twos)|12.5"),
    QStringLiteral("NTSC Video (on twos)|15"),
    QStringLiteral("---"),
    QStringLiteral("Cinema|24"),
    QStringLiteral("PAL Video|25"),
    QStringLiteral("NTSC Video|30"),
    QStringLiteral("---"),
    QStringLiteral("Cinema (high)|48"),
    QStringLiteral("PAL Video (high)|50"),
    QStringLiteral("NTSC Video (high)|60"),
    QStringLiteral("---"),
    QStringLiteral("Custom|"),
};

template<typename T>
T *named(T *object, const char *name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

QSpacerItem *expandingSpacer()
{
    return new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
}

QLabel *boldLabel(const char *name)
{
    QLabel *label = named(new QLabel, name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLineEdit *numberEdit(const char *name)
{
    QLineEdit *edit = named(new QLineEdit, name);
    edit->setFixedWidth(45);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return edit;
}

QFrame *separatorLine(const char *name)
{
    QFrame *frame = named(new QFrame, name);
    frame->setFrameShape(QFrame::HLine);
    frame->setFrameShadow(QFrame::Plain);
    return frame;
}

// A grid cell: the widgets in a row, right-aligned in the label column,
// left-aligned elsewhere.
QHBoxLayout *cell(QGridLayout *grid, int row, int column, std::initializer_list<QWidget *> widgets, int columnSpan = 1)
{
    auto *layout = new QHBoxLayout;
    if (column == 0) {
        layout->setContentsMargins(39, 0, 9, 0);
        layout->addItem(expandingSpacer());
    }
    for (QWidget *widget : widgets)
        layout->addWidget(widget);
    if (column + columnSpan == 3) {
        layout->setContentsMargins(0, 0, 39, 0);
        layout->addItem(expandingSpacer());
    }
    grid->addLayout(layout, row, column, 1, columnSpan);
    return layout;
}

// The frame-rate field's validator. Besides what the user may type, it
// takes the text the field was opened with as it stands: a scene's rate of
// more decimals than the user can type (23.976) is not rounded to two by
// merely passing through the field, as the correction on leaving it would
// otherwise do.
class FrameRateValidator : public BoundedDoubleValidator
{
public:
    using BoundedDoubleValidator::BoundedDoubleValidator;

    void setOpeningText(const QString &text) { m_openingText = text; }

    QValidator::State validate(QString &input, int &position) const override
    {
        if (!m_openingText.isEmpty() && input == m_openingText)
            return QValidator::Acceptable;
        return BoundedDoubleValidator::validate(input, position);
    }

private:
    QString m_openingText;
};

} // namespace

// The dialog's widgets, built in code with fixed object names.
class SceneSettingsDialogForm
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    QGridLayout *gridLayout = nullptr;
    QLabel *label = nullptr;
    QComboBox *CBframeSize = nullptr;
    QLineEdit *frameWidth = nullptr;
    QLabel *label_2 = nullptr;
    QLineEdit *frameHeight = nullptr;
    QLabel *labelHowToFit = nullptr;
    QRadioButton *radioButtonKeepAspect = nullptr;
    QRadioButton *radioButtonStretch = nullptr;
    QRadioButton *radioButtonCropCenter = nullptr;
    QFrame *line = nullptr;
    QLabel *label_4 = nullptr;
    QComboBox *CBframeRate = nullptr;
    QLineEdit *frameRate = nullptr;
    QLabel *label_6 = nullptr;
    QFrame *line_2 = nullptr;
    QLabel *labelInitialNumberOfFrames = nullptr;
    QLineEdit *initialNumberOfFrames = nullptr;
    QFrame *line_3 = nullptr;
    // Why the dialog did not close; hidden until then.
    QLabel *labelError = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog);
};

void SceneSettingsDialogForm::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("UI__SceneSettingsDialog"));
    dialog->setModal(true);
    dialog->resize(570, 222);
    dialog->setWindowTitle(SceneSettingsDialog::tr("Scene Settings"));

    verticalLayout = named(new QVBoxLayout(dialog), "verticalLayout");
    verticalLayout->setSpacing(0);
    verticalLayout->setSizeConstraint(QLayout::SetFixedSize);
    verticalLayout->setContentsMargins(0, -1, 0, 0);
    gridLayout = named(new QGridLayout, "gridLayout");
    gridLayout->setSpacing(9);
    verticalLayout->addLayout(gridLayout);

    label = boldLabel("label");
    label->setText(SceneSettingsDialog::tr("Resolution (pixels):"));
    CBframeSize = named(new QComboBox, "CBframeSize");
    CBframeSize->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    frameWidth = numberEdit("frameWidth");
    frameWidth->setText(QStringLiteral("1920"));
    label_2 = named(new QLabel(QStringLiteral("x")), "label_2");
    frameHeight = numberEdit("frameHeight");
    frameHeight->setText(QStringLiteral("1080"));
    cell(gridLayout, 0, 0, {label});
    cell(gridLayout, 0, 1, {CBframeSize});
    cell(gridLayout, 0, 2, {frameWidth, label_2, frameHeight});

    labelHowToFit = boldLabel("labelHowToFit");
    labelHowToFit->setText(SceneSettingsDialog::tr("How to Fit:"));
    radioButtonKeepAspect = named(new QRadioButton(SceneSettingsDialog::tr("Keep Aspect")), "radioButtonKeepAspect");
    radioButtonKeepAspect->setChecked(true);
    radioButtonStretch = named(new QRadioButton(SceneSettingsDialog::tr("Stretch")), "radioButtonStretch");
    radioButtonCropCenter = named(new QRadioButton(SceneSettingsDialog::tr("Crop/Center")), "radioButtonCropCenter");
    cell(gridLayout, 1, 0, {labelHowToFit});
    cell(gridLayout, 1, 1, {radioButtonKeepAspect, radioButtonStretch, radioButtonCropCenter}, 2);

    line = separatorLine("line");
    gridLayout->addWidget(line, 2, 0, 1, 3);

    label_4 = boldLabel("label_4");
    label_4->setText(SceneSettingsDialog::tr("Frame Rate:"));
    CBframeRate = named(new QComboBox, "CBframeRate");
    CBframeRate->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    frameRate = numberEdit("frameRate");
    frameRate->setText(QStringLiteral("12"));
    label_6 = named(new QLabel(SceneSettingsDialog::tr("FPS")), "label_6");
    cell(gridLayout, 3, 0, {label_4});
    cell(gridLayout, 3, 1, {CBframeRate});
    cell(gridLayout, 3, 2, {frameRate, label_6});

    line_2 = separatorLine("line_2");
    gridLayout->addWidget(line_2, 4, 0, 1, 3);

    labelInitialNumberOfFrames = boldLabel("labelInitialNumberOfFrames");
    labelInitialNumberOfFrames->setText(SceneSettingsDialog::tr("Initial Number of Frames:"));
    initialNumberOfFrames = numberEdit("initialNumberOfFrames");
    initialNumberOfFrames->setText(QStringLiteral("1"));
    cell(gridLayout, 5, 0, {labelInitialNumberOfFrames});
    cell(gridLayout, 5, 1, {});
    cell(gridLayout, 5, 2, {initialNumberOfFrames});

    line_3 = separatorLine("line_3");
    gridLayout->addWidget(line_3, 6, 0, 1, 3);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(12, 12, 12, 12);
    labelError = named(new QLabel, "labelError");
    labelError->setWordWrap(true);
    labelError->hide();
    buttonBox = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel), "buttonBox");
    buttonRow->addWidget(labelError, 1);
    buttonRow->addWidget(buttonBox);
    verticalLayout->addLayout(buttonRow);
    QObject::connect(buttonBox, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttonBox, &QDialogButtonBox::rejected, dialog, &QDialog::reject);

    QWidget::setTabOrder(CBframeSize, frameWidth);
    QWidget::setTabOrder(frameWidth, frameHeight);
    QWidget::setTabOrder(frameHeight, radioButtonKeepAspect);
    QWidget::setTabOrder(radioButtonKeepAspect, radioButtonStretch);
    QWidget::setTabOrder(radioButtonStretch, radioButtonCropCenter);
    QWidget::setTabOrder(radioButtonCropCenter, CBframeRate);
    QWidget::setTabOrder(CBframeRate, frameRate);
    QWidget::setTabOrder(frameRate, initialNumberOfFrames);
}

class SceneSettingsDialog::SceneSettingsDialogPrivate
{
public:
    SceneSettingsDialogPrivate(SceneSettingsDialog *dialog, SceneSettingsDialogForm *form)
        : q(dialog)
        , ui(form)
    {
    }

    // Makes the first row that `matches` current, or the custom row when
    // none does or the match is a separator.
    static void selectPreset(QComboBox *box, const std::function<bool(const QModelIndex &)> &matches);
    void selectFrameSizePreset(QSize size);
    void selectFrameRatePreset(double rate);
    void setFitModeEnabled(bool enabled);
    void updateSeparatorLines();
    int editedInteger(const QLineEdit *edit) const;
    void frameSizeEdited();
    void frameRateEdited();
    // Puts the preset's values into the fields unless it is the custom row;
    // for the custom row, `activated` gives the first field the focus.
    void frameSizePresetChosen(int row);
    void frameRatePresetChosen(int row);
    static void customPresetActivated(const QComboBox *box, int row, QLineEdit *field);
    // The first field the user edited whose text its validator cannot
    // accept, after the correction that leaving the field applies; null
    // when every field can be read.
    QLineEdit *unreadableField() const;
    QString rangeMessage(const QLineEdit *field) const;

    SceneSettingsDialog *q;
    SceneSettingsDialogForm *ui;
    FrameSizeModel *frameSizeModel = nullptr;
    FrameRateModel *frameRateModel = nullptr;
    SceneSettings initialSettings;
    SceneSettings editedSettings;
    // The rate field's text as the dialog opened; while the field shows it,
    // the rate is the one handed in, to the last decimal.
    QString openingRateText;
};

void SceneSettingsDialog::SceneSettingsDialogPrivate::selectPreset(
    QComboBox *box, const std::function<bool(const QModelIndex &)> &matches)
{
    const QAbstractItemModel *model = box->model();
    int found = -1;
    int custom = -1;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (found < 0 && matches(index))
            found = row;
        if (custom < 0 && index.data(SceneSettingsListModel::CustomRole).toBool())
            custom = row;
    }
    if (found < 0 || model->index(found, 0).data(SceneSettingsListModel::SeparatorRole).toBool())
        found = custom;
    box->setCurrentIndex(found);
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::selectFrameSizePreset(QSize size)
{
    selectPreset(ui->CBframeSize,
                 [size](const QModelIndex &index) { return index.data(FrameSizeModel::SizeRole).toSize() == size; });
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::selectFrameRatePreset(double rate)
{
    selectPreset(ui->CBframeRate, [rate](const QModelIndex &index) {
        return index.data(FrameRateModel::FrameRateRole).toDouble() == rate;
    });
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::setFitModeEnabled(bool enabled)
{
    for (QWidget *widget : std::initializer_list<QWidget *>{ui->labelHowToFit, ui->radioButtonKeepAspect,
                                                            ui->radioButtonStretch, ui->radioButtonCropCenter})
        widget->setEnabled(enabled);
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::updateSeparatorLines()
{
    QPalette palette = q->palette();
    palette.setBrush(QPalette::All, QPalette::WindowText, QBrush(palette.color(QPalette::Light)));
    for (QFrame *frame : {ui->line, ui->line_2, ui->line_3})
        frame->setPalette(palette);
}

int SceneSettingsDialog::SceneSettingsDialogPrivate::editedInteger(const QLineEdit *edit) const
{
    bool ok = false;
    const int value = q->locale().toInt(edit->text(), &ok);
    return ok ? value : 0;
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::frameSizeEdited()
{
    setFitModeEnabled(editedSettings.mode == SceneSettings::Mode::ChangeSceneSettings
                      && editedSettings.frameSize != initialSettings.frameSize);
    selectFrameSizePreset(editedSettings.frameSize);
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::frameRateEdited()
{
    const QString text = ui->frameRate->text();
    if (text == openingRateText) {
        editedSettings.frameRate = initialSettings.frameRate;
        selectFrameRatePreset(editedSettings.frameRate);
        return;
    }
    bool ok = false;
    double rate = q->locale().toDouble(text, &ok);
    if (!ok)
        rate = QLocale::c().toDouble(text, &ok);
    editedSettings.frameRate = ok ? rate : MinimumFrameRate;
    selectFrameRatePreset(editedSettings.frameRate);
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::frameSizePresetChosen(int row)
{
    const QModelIndex index = frameSizeModel->index(row, 0);
    if (!index.isValid() || index.data(SceneSettingsListModel::CustomRole).toBool())
        return;
    const QSize size = index.data(FrameSizeModel::SizeRole).toSize();
    ui->frameWidth->setText(QString::number(size.width()));
    ui->frameHeight->setText(QString::number(size.height()));
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::frameRatePresetChosen(int row)
{
    const QModelIndex index = frameRateModel->index(row, 0);
    if (!index.isValid() || index.data(SceneSettingsListModel::CustomRole).toBool())
        return;
    ui->frameRate->setText(q->locale().toString(index.data(FrameRateModel::FrameRateRole).toDouble(), 'g', 6));
}

void SceneSettingsDialog::SceneSettingsDialogPrivate::customPresetActivated(const QComboBox *box, int row,
                                                                            QLineEdit *field)
{
    if (!box->model()->index(row, 0).data(SceneSettingsListModel::CustomRole).toBool())
        return;
    field->selectAll();
    field->setFocus(Qt::OtherFocusReason);
}

QLineEdit *SceneSettingsDialog::SceneSettingsDialogPrivate::unreadableField() const
{
    for (QLineEdit *field : {ui->frameWidth, ui->frameHeight, ui->frameRate, ui->initialNumberOfFrames}) {
        if (!field->isModified() || field->hasAcceptableInput())
            continue;
        QString text = field->text();
        field->validator()->fixup(text);
        if (text != field->text())
            field->setText(text);
        if (!field->hasAcceptableInput())
            return field;
    }
    return nullptr;
}

QString SceneSettingsDialog::SceneSettingsDialogPrivate::rangeMessage(const QLineEdit *field) const
{
    if (field == ui->frameRate) {
        return tr("The frame rate must be a number of frames per second from %1 to %2.")
            .arg(q->locale().toString(MinimumFrameRate, 'g', 6), q->locale().toString(MaximumFrameRate, 'g', 6));
    }
    if (field == ui->initialNumberOfFrames) {
        return tr("The initial number of frames must be a whole number from 1 to %1.")
            .arg(QString::number(MaximumInitialFrames));
    }
    const QString message = field == ui->frameWidth
        ? tr("The width must be a whole number of pixels from 1 to %1.")
        : tr("The height must be a whole number of pixels from 1 to %1.");
    return message.arg(QString::number(MaximumFrameSide));
}

SceneSettingsDialog::SceneSettingsDialog(const SceneSettings &settings, QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint)
    , ui(std::make_unique<SceneSettingsDialogForm>())
    , d(std::make_unique<SceneSettingsDialogPrivate>(this, ui.get()))
{
    d->initialSettings = settings;
    if (settings.mode == SceneSettings::Mode::NewScene) {
        SceneSettings &initial = d->initialSettings;
        initial.frameSize = QSize(std::clamp(settings.frameSize.width(), 1, MaximumFrameSide),
                                  std::clamp(settings.frameSize.height(), 1, MaximumFrameSide));
        // A rate read from a damaged preference may be no number at all.
        initial.frameRate = std::isnan(settings.frameRate)
            ? MinimumFrameRate
            : std::max(std::min(settings.frameRate, MaximumFrameRate), MinimumFrameRate);
        initial.initialNumberOfFrames = std::clamp(settings.initialNumberOfFrames, 1, MaximumInitialFrames);
    }
    d->editedSettings = d->initialSettings;
    const SceneSettings &initial = d->initialSettings;

    d->frameSizeModel = new FrameSizeModel(FrameSizePresets, this);
    d->frameRateModel = new FrameRateModel(FrameRatePresets, this);

    ui->setupUi(this);
    d->updateSeparatorLines();

    ui->CBframeSize->setModel(d->frameSizeModel);
    ui->CBframeSize->setItemDelegate(new FrameSizeItemDelegate(this));
    ui->CBframeRate->setModel(d->frameRateModel);
    ui->CBframeRate->setItemDelegate(new FrameRateItemDelegate(this));
    for (QComboBox *box : {ui->CBframeSize, ui->CBframeRate}) {
        QAbstractItemView *view = box->view();
        view->setSizePolicy(QSizePolicy::Minimum, view->sizePolicy().verticalPolicy());
    }
    ui->CBframeSize->view()->setMinimumWidth(260);
    ui->frameWidth->setValidator(new BoundedIntValidator(1, MaximumFrameSide, this));
    ui->frameHeight->setValidator(new BoundedIntValidator(1, MaximumFrameSide, this));
    auto *rateValidator = new FrameRateValidator(MinimumFrameRate, MaximumFrameRate, 2, this);
    ui->frameRate->setValidator(rateValidator);
    ui->initialNumberOfFrames->setValidator(new BoundedIntValidator(1, MaximumInitialFrames, this));

    ui->frameWidth->setText(QString::number(initial.frameSize.width()));
    ui->frameHeight->setText(QString::number(initial.frameSize.height()));
    d->openingRateText = locale().toString(initial.frameRate, 'g', 6);
    rateValidator->setOpeningText(d->openingRateText);
    ui->frameRate->setText(d->openingRateText);
    ui->initialNumberOfFrames->setText(QString::number(initial.initialNumberOfFrames));

    switch (initial.fitMode) {
    case KL::FitMode::FitModeStretch:
        ui->radioButtonStretch->setChecked(true);
        break;
    case KL::FitMode::FitModeCropCenter:
        ui->radioButtonCropCenter->setChecked(true);
        break;
    default:
        ui->radioButtonKeepAspect->setChecked(true);
        break;
    }
    d->setFitModeEnabled(false);

    if (initial.mode == SceneSettings::Mode::NewScene) {
        setWindowTitle(tr("New Scene", "window title"));
        for (QWidget *widget : std::initializer_list<QWidget *>{ui->labelHowToFit, ui->radioButtonKeepAspect,
                                                                ui->radioButtonStretch, ui->radioButtonCropCenter})
            widget->hide();
    } else {
        setWindowTitle(tr("Scene Settings", "window title"));
        for (QWidget *widget :
             std::initializer_list<QWidget *>{ui->labelInitialNumberOfFrames, ui->initialNumberOfFrames, ui->line_3})
            widget->hide();
    }

    SceneSettingsDialogPrivate *p = d.get();
    connect(ui->CBframeSize, &QComboBox::currentIndexChanged, this, [p](int row) { p->frameSizePresetChosen(row); });
    connect(ui->CBframeSize, &QComboBox::activated, this,
            [p](int row) { p->customPresetActivated(p->ui->CBframeSize, row, p->ui->frameWidth); });
    connect(ui->frameWidth, &QLineEdit::textChanged, this, [p] {
        p->editedSettings.frameSize.setWidth(p->editedInteger(p->ui->frameWidth));
        p->frameSizeEdited();
    });
    connect(ui->frameHeight, &QLineEdit::textChanged, this, [p] {
        p->editedSettings.frameSize.setHeight(p->editedInteger(p->ui->frameHeight));
        p->frameSizeEdited();
    });
    const std::pair<QRadioButton *, KL::FitMode> fitModes[] = {
        {ui->radioButtonKeepAspect, KL::FitMode::FitModeKeepAspect},
        {ui->radioButtonStretch, KL::FitMode::FitModeStretch},
        {ui->radioButtonCropCenter, KL::FitMode::FitModeCropCenter},
    };
    for (const auto &fitMode : fitModes) {
        const KL::FitMode mode = fitMode.second;
        connect(fitMode.first, &QRadioButton::toggled, this, [p, mode](bool on) {
            if (on)
                p->editedSettings.fitMode = mode;
        });
    }
    connect(ui->CBframeRate, &QComboBox::currentIndexChanged, this, [p](int row) { p->frameRatePresetChosen(row); });
    connect(ui->CBframeRate, &QComboBox::activated, this,
            [p](int row) { p->customPresetActivated(p->ui->CBframeRate, row, p->ui->frameRate); });
    connect(ui->frameRate, &QLineEdit::textChanged, this, [p] { p->frameRateEdited(); });
    connect(ui->initialNumberOfFrames, &QLineEdit::textChanged, this,
            [p] { p->editedSettings.initialNumberOfFrames = p->editedInteger(p->ui->initialNumberOfFrames); });
    for (QLineEdit *field : {ui->frameWidth, ui->frameHeight, ui->frameRate, ui->initialNumberOfFrames})
        connect(field, &QLineEdit::textEdited, ui->labelError, &QLabel::hide);

    d->selectFrameSizePreset(initial.frameSize);
    d->selectFrameRatePreset(initial.frameRate);
}

SceneSettingsDialog::~SceneSettingsDialog() = default;

SceneSettings SceneSettingsDialog::sceneSettings() const
{
    return d->editedSettings;
}

void SceneSettingsDialog::accept()
{
    if (QLineEdit *field = d->unreadableField()) {
        ui->labelError->setText(d->rangeMessage(field));
        ui->labelError->show();
        field->selectAll();
        field->setFocus(Qt::OtherFocusReason);
        return;
    }
    ui->labelError->hide();
    QDialog::accept();
}

void SceneSettingsDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        d->updateSeparatorLines();
    QDialog::changeEvent(event);
}

} // namespace UI
