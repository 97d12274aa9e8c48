#include "dialogs/aboutdialog.h"

#include "dialogs/gitdescription.h"
#include "kelvaneversion.h"
#include "dialogs/libraryversions.h"
#include "style/uiresources.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QScrollBar>
#include <QSysInfo>
#include <QTextEdit>
#include <QVBoxLayout>

namespace UI {

namespace {

const QString ApplicationName = QStringLiteral("Kelvane");

QLabel *label(const char *name, int pointSize, bool bold = false)
{
    auto *result = new QLabel;
    result->setObjectName(QLatin1String(name));
    QFont font = result->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    result->setFont(font);
    return result;
}

// Light text on the dark and grey bands; dark and faint when disabled.
void setBandTextColor(QLabel *label, int activeAlpha)
{
    QPalette palette = label->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        palette.setBrush(group, QPalette::WindowText, QBrush(QColor(255, 255, 255, activeAlpha)));
    palette.setBrush(QPalette::Disabled, QPalette::WindowText, QBrush(QColor(0, 0, 0, 63)));
    label->setPalette(palette);
}

void fillBetween(QPainter &painter, const QRectF &rect, QLinearGradient &gradient)
{
    gradient.setStart(rect.topLeft());
    gradient.setFinalStop(rect.bottomLeft());
    painter.fillRect(rect, gradient);
}

} // namespace

// The dialog's widgets, built in code with fixed object names.
class AboutDialogForm
{
public:
    QVBoxLayout *verticalLayout_2 = nullptr;
    QHBoxLayout *horizontalLayout_top = nullptr;
    QGridLayout *gridLayout = nullptr;
    QLabel *labelVersionHeader = nullptr;
    QLabel *labelVersion = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QTextEdit *textEditCredits = nullptr;
    QHBoxLayout *horizontalLayout_bottom = nullptr;
    QLabel *labelCopyright = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("UI__AboutDialog"));
        dialog->resize(495, 313);
        verticalLayout_2 = new QVBoxLayout(dialog);
        verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
        verticalLayout_2->setSpacing(0);
        verticalLayout_2->setSizeConstraint(QLayout::SetFixedSize);
        verticalLayout_2->setContentsMargins(0, 0, 0, 0);

        horizontalLayout_top = new QHBoxLayout;
        horizontalLayout_top->setObjectName(QStringLiteral("horizontalLayout_top"));
        horizontalLayout_top->setContentsMargins(150, -1, 20, -1);
        // Tall enough that the icon, which reaches 52 px above the band's
        // lower edge, is not cut at the window's top.
        horizontalLayout_top->addItem(new QSpacerItem(40, 64, QSizePolicy::Expanding, QSizePolicy::Fixed));
        gridLayout = new QGridLayout;
        gridLayout->setObjectName(QStringLiteral("gridLayout"));
        gridLayout->setSpacing(12);
        gridLayout->setContentsMargins(-1, 12, 12, 12);
        labelVersionHeader = label("labelVersionHeader", 10);
        labelVersionHeader->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        labelVersionHeader->setText(AboutDialog::tr("Version:"));
        setBandTextColor(labelVersionHeader, 128);
        labelVersion = label("labelVersion", 11, true);
        setBandTextColor(labelVersion, 255);
        gridLayout->addWidget(labelVersionHeader, 2, 0);
        gridLayout->addWidget(labelVersion, 2, 1);
        horizontalLayout_top->addLayout(gridLayout);
        horizontalLayout_top->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
        verticalLayout_2->addLayout(horizontalLayout_top);

        verticalLayout = new QVBoxLayout;
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setContentsMargins(12, 12, 12, 12);
        textEditCredits = new QTextEdit;
        textEditCredits->setObjectName(QStringLiteral("textEditCredits"));
        textEditCredits->setMaximumHeight(150);
        textEditCredits->setFrameShape(QFrame::NoFrame);
        textEditCredits->setTextInteractionFlags(Qt::NoTextInteraction);
        verticalLayout->addWidget(textEditCredits);
        verticalLayout_2->addLayout(verticalLayout);

        horizontalLayout_bottom = new QHBoxLayout;
        horizontalLayout_bottom->setObjectName(QStringLiteral("horizontalLayout_bottom"));
        horizontalLayout_bottom->setContentsMargins(12, 12, 12, 12);
        labelCopyright = label("labelCopyright", 10);
        setBandTextColor(labelCopyright, 255);
        buttonBox = new QDialogButtonBox(QDialogButtonBox::Close);
        buttonBox->setObjectName(QStringLiteral("buttonBox"));
        horizontalLayout_bottom->addWidget(labelCopyright);
        horizontalLayout_bottom->addWidget(buttonBox);
        verticalLayout_2->addLayout(horizontalLayout_bottom);
        QObject::connect(buttonBox, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
        QObject::connect(buttonBox, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    }
};

class AboutDialog::AboutDialogPrivate
{
public:
    AboutDialogPrivate()
    {
        topShadowGradient.setColorAt(0.0, QColor(0, 0, 0, 32));
        topShadowGradient.setColorAt(1.0, QColor(0, 0, 0, 0));
        topEdgeGradient.setColorAt(0.0, QColor(0, 0, 0, 38));
        topEdgeGradient.setColorAt(1.0, QColor(0, 0, 0, 0));
        bottomShadowGradient.setColorAt(0.0, QColor(0, 0, 0, 0));
        bottomShadowGradient.setColorAt(1.0, QColor(0, 0, 0, 19));
        bottomEdgeGradient.setColorAt(0.0, QColor(0, 0, 0, 0));
        bottomEdgeGradient.setColorAt(1.0, QColor(0, 0, 0, 25));
        const QColor shade(45, 41, 38);
        const std::pair<double, int> shadowStops[] = {{0.0, 91}, {0.4, 60}, {0.6, 26}, {0.75, 10}, {1.0, 0}};
        for (const auto &stop : shadowStops) {
            QColor color = shade;
            color.setAlpha(stop.second);
            iconShadowGradient.setColorAt(stop.first, color);
        }
    }

    static QString creditsPage();
    QPixmap iconPicture() const;

    QIcon icon{QStringLiteral(":/about/kl-icon_512.png")};
    QLinearGradient topShadowGradient;
    QLinearGradient topEdgeGradient;
    QLinearGradient bottomShadowGradient;
    QLinearGradient bottomEdgeGradient;
    QRect iconRect{0, 0, 124, 124};
    QRadialGradient iconShadowGradient{QRectF(iconRect).center(), iconRect.width() / 2.0};
    QLabel *iconLabel = nullptr;
};

QString AboutDialog::AboutDialogPrivate::creditsPage()
{
    QFile file(QStringLiteral(":/about/Credits.html"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QString page = QString::fromUtf8(file.readAll());

    const GitDescription build = GitDescription::parse(QStringLiteral(KELVANE_GIT_DESCRIPTION));
    const QString noCheckout = tr("Not built from a git checkout");
    const QString tag = !build.tag.isEmpty() ? build.tag : build.hash.isEmpty() ? noCheckout : tr("No release tag");
    const QString hash = build.hash.isEmpty() ? noCheckout : build.hash;
    const std::pair<const char *, QString> placeholders[] = {
        {"%KELVANE_APP_NAME%", ApplicationName},
        {"%KELVANE_GIT_DESCRIBE%", tag},
        {"%KELVANE_GIT_HASH%", hash},
        {"%KELVANE_ARCH%", tr("Built for %1").arg(QSysInfo::buildCpuArchitecture())},
        {"%QT_VERSION_STR%", LibraryVersions::qt()},
        {"%OPENSSL_VERSION_TEXT%", LibraryVersions::openSsl()},
        {"%FFMPEG_VERSION_TEXT%", tr("FFmpeg version: %1").arg(LibraryVersions::ffmpeg())},
    };
    for (const auto &placeholder : placeholders)
        page.replace(QLatin1String(placeholder.first), placeholder.second.toHtmlEscaped(), Qt::CaseSensitive);
    return page;
}

// The icon on its soft round shadow, at the screen's pixel density.
QPixmap AboutDialog::AboutDialogPrivate::iconPicture() const
{
    const QPixmap pixmap = icon.pixmap(QSize(72, 72), QIcon::Normal, QIcon::Off);
    const qreal ratio = pixmap.devicePixelRatio();
    QPixmap canvas(qRound(iconRect.width() * ratio), qRound(iconRect.height() * ratio));
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.fillRect(iconRect, iconShadowGradient);
    painter.drawPixmap(26, 21, pixmap);
    return canvas;
}

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<AboutDialogForm>())
    , d(std::make_unique<AboutDialogPrivate>())
{
    registerUiResources();
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->setupUi(this);
    setWindowTitle(tr("About %1").arg(QGuiApplication::applicationDisplayName()));

    QPalette palette = this->palette();
    palette.setBrush(QPalette::All, QPalette::Window, QBrush(Qt::white));
    setPalette(palette);
    QPalette credits = ui->textEditCredits->palette();
    credits.setBrush(QPalette::All, QPalette::Base, QBrush(Qt::white));
    credits.setBrush(QPalette::All, QPalette::Text, QBrush(Qt::black));
    ui->textEditCredits->setPalette(credits);
    ui->textEditCredits->verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent, false);

    ui->labelVersion->setText(ApplicationName + QLatin1Char(' ') + QStringLiteral(KELVANE_VERSION));
    ui->labelCopyright->setText(tr("Copyright \u00a9 the Kelvane developers"));
    ui->textEditCredits->document()->setHtml(AboutDialogPrivate::creditsPage());

    d->iconLabel = new QLabel(this);
    d->iconLabel->setObjectName(QStringLiteral("iconLabel"));
    d->iconLabel->setPixmap(d->iconPicture());
    d->iconLabel->resize(d->iconRect.size());
    d->iconLabel->setMargin(0);
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::paintEvent(QPaintEvent *)
{
    const int w = width();
    const int h = height();
    const int top = ui->horizontalLayout_top->geometry().height();
    const int bottom = ui->horizontalLayout_bottom->geometry().height();
    QPainter painter(this);
    painter.fillRect(QRect(0, h - bottom, w, bottom), QColor(151, 148, 143));
    QRectF shadow(0, h - bottom - 12, w, 12);
    fillBetween(painter, shadow, d->bottomShadowGradient);
    shadow.setTop(shadow.top() + 10);
    fillBetween(painter, shadow, d->bottomEdgeGradient);
    QRectF below(0, top, w, 12);
    fillBetween(painter, below, d->topShadowGradient);
    below.setHeight(2);
    fillBetween(painter, below, d->topEdgeGradient);
    painter.fillRect(QRect(0, 0, w, top), QColor(99, 96, 92));
}

// The icon overlaps the top band's lower edge.
void AboutDialog::resizeEvent(QResizeEvent *event)
{
    d->iconLabel->move(29, ui->horizontalLayout_top->geometry().height() - 73);
    QDialog::resizeEvent(event);
}

void AboutDialog::showEvent(QShowEvent *event)
{
    ui->textEditCredits->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    d->iconLabel->show();
    QDialog::showEvent(event);
}

} // namespace UI
