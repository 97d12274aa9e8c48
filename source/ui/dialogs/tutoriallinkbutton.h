#pragma once

#include <QAbstractButton>

#include <memory>

namespace UI {

// A large picture button of the tutorial dialog: its icon is the picture,
// exactly as large as the button; over it a dotted frame that is faint at
// rest, brighter under the mouse and opaque while pressed, and a title (in
// capitals, top left) and a description (as written, top right) in white.
// It takes no keyboard focus.
//
// The pictures are set once with setImages() before the button is laid out;
// a button without a picture asks for no space.
class TutorialLinkButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit TutorialLinkButton(QWidget *parent = nullptr);
    ~TutorialLinkButton() override;

    void setTitle(const QString &title);
    void setDescription(const QString &description);
    // Files QIcon loads, each with its "@2x" twin where there is one.
    void setImages(const QString &picture, const QString &overlay);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    class TutorialLinkButtonPrivate;
    std::unique_ptr<TutorialLinkButtonPrivate> d;
};

} // namespace UI
