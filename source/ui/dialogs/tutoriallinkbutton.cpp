#include "dialogs/tutoriallinkbutton.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>

namespace UI {

namespace {

QIcon iconFrom(const QString &file)
{
    QIcon icon;
    icon.addFile(file, QSize(), QIcon::Normal, QIcon::Off);
    return icon;
}

} // namespace

class TutorialLinkButton::TutorialLinkButtonPrivate
{
public:
    QIcon overlay;
    QHBoxLayout *layout = nullptr;
    QLabel *titleLabel = nullptr;
    QLabel *descriptionLabel = nullptr;
};

TutorialLinkButton::TutorialLinkButton(QWidget *parent)
    : QAbstractButton(parent)
    , d(std::make_unique<TutorialLinkButtonPrivate>())
{
    setFocusPolicy(Qt::NoFocus);
    // Entering and leaving repaint the frame.
    setAttribute(Qt::WA_Hover);

    d->layout = new QHBoxLayout(this);
    d->layout->setContentsMargins(38, 30, 32, 30);
    d->titleLabel = new QLabel;
    d->titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    d->titleLabel->setFont(QFont(QStringLiteral("Passion One"), 24));
    // The title keeps its width; the description wraps in what is left
    // beside it, so that a long line is not cut at the picture's edge.
    d->titleLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    d->descriptionLabel = new QLabel;
    d->descriptionLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    d->descriptionLabel->setWordWrap(true);
    d->descriptionLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    QFont descriptionFont(QStringLiteral("Sans Serif"), 8);
    descriptionFont.setWeight(QFont::Light);
    d->descriptionLabel->setFont(descriptionFont);
    d->layout->addWidget(d->titleLabel);
    d->layout->addStretch();
    d->layout->addWidget(d->descriptionLabel);

    // The labels take their colour from the button's foreground role.
    QPalette palette = d->titleLabel->palette();
    palette.setBrush(QPalette::All, QPalette::ButtonText, QBrush(Qt::white));
    d->titleLabel->setPalette(palette);
    d->descriptionLabel->setPalette(palette);
    d->titleLabel->setForegroundRole(QPalette::ButtonText);
    d->descriptionLabel->setForegroundRole(QPalette::ButtonText);
}

TutorialLinkButton::~TutorialLinkButton() = default;

void TutorialLinkButton::setTitle(const QString &title)
{
    d->titleLabel->setText(title.toUpper());
}

void TutorialLinkButton::setDescription(const QString &description)
{
    d->descriptionLabel->setText(description);
}

void TutorialLinkButton::setImages(const QString &picture, const QString &overlay)
{
    setIcon(iconFrom(picture));
    setIconSize(sizeHint());
    // The picture sets the size; the wrapped description must not stretch
    // the button to the height of its text.
    setFixedSize(sizeHint());
    d->overlay = iconFrom(overlay);
    updateGeometry();
}

QSize TutorialLinkButton::sizeHint() const
{
    const QList<QSize> sizes = icon().availableSizes(QIcon::Normal, QIcon::Off);
    return sizes.isEmpty() ? QSize(0, 0) : sizes.first();
}

QSize TutorialLinkButton::minimumSizeHint() const
{
    return sizeHint();
}

void TutorialLinkButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    icon().paint(&painter, rect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
    painter.setOpacity(isDown() ? 1.0 : underMouse() ? 0.6 : 0.3);
    d->overlay.paint(&painter, rect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
}

} // namespace UI
