#include "dialogs/exportexposuresheetdialog.h"

#include "dialogs/dialogforms.h"
#include "dialogs/dialogs.h"
#include "dialogs/exportdialogform.h"

#include "export/exportnames.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSize>

namespace UI {

namespace {

constexpr char Context[] = "UI::ExportExposureSheetDialog";
const QString Extension = QStringLiteral(".oca");
const QString HelpPage = QStringLiteral("https://kelvane.org/help/oca-export/");

// Where the package goes, as the exporter will resolve it.
struct Target
{
    enum Problem { None, LeavesFolder, UnusableName };

    QString path;
    QString folder;
    QString fileName;
    Problem problem = None;
};

Target resolveTarget(const QString &name, const QString &location)
{
    Target target;
    const QString folder = QDir::cleanPath(QDir(location).absolutePath());
    target.path = QDir::cleanPath(QDir(folder).absoluteFilePath(QDir::fromNativeSeparators(name) + Extension));
    const QFileInfo info(target.path);
    target.folder = info.absolutePath();
    target.fileName = info.fileName();

    // The exporter replaces the target with everything in it: a name such
    // as "../Walk" or an absolute one must not reach beyond the folder the
    // user chose.
    const QString inside = QDir(folder).relativeFilePath(target.path);
    if (QDir::isAbsolutePath(inside) || inside == QLatin1String("..") || inside.startsWith(QLatin1String("../")))
        target.problem = Target::LeavesFolder;
    // The exporter makes names safe for every system by replacing what is
    // not; the question must name the very file that will be replaced, so
    // such names are refused rather than silently changed.
    else if (Model::safeFileName(target.fileName) != target.fileName)
        target.problem = Target::UnusableName;
    return target;
}

// Whether the fields can name a package at all: both filled, and the name
// more than a folder.
bool namesPackage(const QString &name, const QString &location)
{
    const QString fileStem = QDir::fromNativeSeparators(name).section(u'/', -1);
    return !fileStem.trimmed().isEmpty() && !location.trimmed().isEmpty();
}

} // namespace

class ExportExposureSheetDialog::ExportExposureSheetDialogPrivate
{
public:
    ExportExposureSheetDialogPrivate(const Model::ExportExposureSheetSettings &settings, Dialogs &dialogs)
        : m_settings(settings)
        , m_dialogs(dialogs)
    {
    }

    void setupUi(QDialog *dialog);
    void updateOk();

    Model::ExportExposureSheetSettings m_settings;
    Dialogs &m_dialogs;
    ExportDialogForm m_form;
    QLabel *m_more = nullptr;
    QRadioButton *m_png = nullptr;
    QRadioButton *m_openExr = nullptr;
    QCheckBox *m_exportAudio = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_location = nullptr;
    QPushButton *m_browse = nullptr;
};

void ExportExposureSheetDialog::ExportExposureSheetDialogPrivate::setupUi(QDialog *dialog)
{
    ExportDialogForm &form = m_form;
    form.setupFrame(dialog, Context, "UI__ExportExposureSheetDialog", QSize(453, 407),
                    "Export as OCA (Open Cel Animation)", "Export OCA");
    m_more = new QLabel(dialog);
    m_more->setObjectName(QStringLiteral("label_More"));
    m_more->setWordWrap(true);
    m_more->setOpenExternalLinks(true);
    form.gridLayout->addWidget(m_more, 1, 1, 1, 3);
    form.addLine(2, "line");
    form.addLayersRow(3);
    form.addLine(4, "line_2");
    form.addFramesRow(5);
    form.addLine(8, "line_3");
    form.addSectionLabel(10, "label_Format", "Format:");
    m_png = form.addRadioButton(10, 1, "radioButton_PNG", "PNG");
    m_openExr = form.addRadioButton(10, 2, "radioButton_OpenEXR", "OpenEXR");
    form.addLine(11, "line_4");
    form.addSectionLabel(12, "label_Meta", "Meta:");
    m_exportAudio = form.addCheckBox(12, "checkBox_ExportAudio", "Export Audio (wav)");
    form.addLine(13, "line_5");

    const auto fieldRow = [&](int row, QWidget *field, QWidget *after) {
        auto *box = new QHBoxLayout();
        box->setContentsMargins(12, 0, 12, 0);
        box->addWidget(field);
        box->addWidget(after);
        form.gridLayout->addLayout(box, row, 1, 1, 3);
    };
    form.addSectionLabel(14, "label_Name", "Name:");
    m_name = new QLineEdit(dialog);
    m_name->setObjectName(QStringLiteral("lineEdit_Name"));
    auto *extension = new QLabel(Extension, dialog);
    extension->setObjectName(QStringLiteral("label_Extension"));
    fieldRow(14, m_name, extension);
    form.addSectionLabel(15, "label_Location", "Location:");
    m_location = new QLineEdit(dialog);
    m_location->setObjectName(QStringLiteral("lineEdit_Location"));
    m_browse = new QPushButton(form.text("Browse..."), dialog);
    m_browse->setObjectName(QStringLiteral("pushButton_Browse"));
    fieldRow(15, m_location, m_browse);
    form.addLine(16, "line_6");
}

void ExportExposureSheetDialog::ExportExposureSheetDialogPrivate::updateOk()
{
    m_form.okButton()->setEnabled(namesPackage(m_name->text(), m_location->text()));
}

ExportExposureSheetDialog::ExportExposureSheetDialog(const Model::ExportExposureSheetSettings &settings,
                                                     Dialogs &dialogs, QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint)
    , d(std::make_unique<ExportExposureSheetDialogPrivate>(settings, dialogs))
{
    d->setupUi(this);
    ExportDialogForm &form = d->m_form;
    // The link takes the colour of the text around it.
    const QString linkColour = d->m_more->palette().color(QPalette::WindowText).name();
    d->m_more->setText(
        tr("<html><head/><body><p>Export your animation with x-sheet timing to other software such as After "
           "Effects, Blender etc.&nbsp;<a href=\"%1\"><span style=\" text-decoration: underline; color:%2; "
           "font-weight:bold\">More info here!</span></a></p></body></html>")
            .arg(HelpPage, linkColour));
    // A window's minimum size ignores how tall wrapped text grows when
    // narrowed, so the dialog opened at its minimum size would cut the
    // introduction off: it never gets narrower than it wraps by itself.
    d->m_more->setMinimumSize(d->m_more->sizeHint());

    colourSeparatorLines(this, form.lines);
    connect(form.buttonBox, &QDialogButtonBox::accepted, this, &ExportExposureSheetDialog::confirmOverwrite);
    connect(form.buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    Model::ExportExposureSheetSettings &record = d->m_settings;
    bindChoice(this, form.layerButtons(), record.layers);
    bindChoice(this, form.frameButtons(), record.frames);
    bindChoice(this, {d->m_png, d->m_openExr}, record.imageFormat);
    d->m_exportAudio->setEnabled(false);
    d->m_exportAudio->setChecked(false);

    d->m_name->setText(record.name);
    d->m_location->setText(record.exportDir);
    connect(d->m_name, &QLineEdit::textChanged, this, [this] { d->updateOk(); });
    connect(d->m_location, &QLineEdit::textChanged, this, [this] { d->updateOk(); });
    d->updateOk();
    connect(d->m_browse, &QPushButton::clicked, this, [this] {
        const QString folder = d->m_dialogs.getExistingDirectory(this, QString(), d->m_location->text(),
                                                                 QFileDialog::ShowDirsOnly);
        if (!folder.isEmpty())
            d->m_location->setText(folder);
    });
}

ExportExposureSheetDialog::~ExportExposureSheetDialog() = default;

Model::ExportExposureSheetSettings ExportExposureSheetDialog::settings() const
{
    return d->m_settings;
}

void ExportExposureSheetDialog::confirmOverwrite()
{
    const QString name = d->m_name->text();
    const QString location = d->m_location->text();
    if (!namesPackage(name, location))
        return;
    const Target target = resolveTarget(name, location);
    const QString shownPath = QDir::toNativeSeparators(target.path);
    switch (target.problem) {
    case Target::None:
        break;
    case Target::LeavesFolder:
        d->m_dialogs.warning(this, windowTitle(),
                             tr("The name \"%1\" would put the package at %2, outside the folder %3.\n"
                                "Choose a name that stays inside the folder.")
                                 .arg(name, shownPath, QDir::toNativeSeparators(location)));
        return;
    case Target::UnusableName:
        d->m_dialogs.warning(this, windowTitle(),
                             tr("The name \"%1\" cannot be used for a file.\n"
                                "Choose a shorter name without any of the characters \\ : * ? \" < > | "
                                "that does not end with a dot or a space.")
                                 .arg(target.fileName));
        return;
    }

    // A link is replaced itself, never followed: say so, even when it
    // points at a folder or at nothing.
    const QFileInfo existing(target.path);
    const bool isLink = existing.isSymLink() || existing.isJunction();
    if (existing.exists() || isLink) {
        const QMessageBox::StandardButton answer =
            existing.isDir() && !isLink
                ? d->m_dialogs.question(this, tr("Remove existing directory?"),
                                        tr("The directory %1 already exists. This directory and all files and "
                                           "sub-directories within it will be removed.\nContinue?")
                                            .arg(shownPath),
                                        QMessageBox::Yes | QMessageBox::No)
                : d->m_dialogs.question(this, tr("Remove existing file?"),
                                        tr("The file %1 already exists.\nRemove the existing file and continue?")
                                            .arg(shownPath),
                                        QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }

    d->m_settings.exportDir = target.folder;
    d->m_settings.name = target.fileName;
    accept();
}

void ExportExposureSheetDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        colourSeparatorLines(this, d->m_form.lines);
    QDialog::changeEvent(event);
}

} // namespace UI
