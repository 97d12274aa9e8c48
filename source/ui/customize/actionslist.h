#pragma once

#include <QListWidget>

#include <memory>

namespace UI {

// The list of customisable actions on the left of the customise overlay,
// under category headings. Its action rows are the sources of copy drags
// onto the editors; it takes no drops and never reorders itself.
//
// Rows carry two roles: Qt::UserRole is true for headings and separators,
// and Qt::UserRole + 1 holds an action row's KL::Action key name.
class ActionsList : public QListWidget
{
    Q_OBJECT

public:
    static constexpr int ChromeRole = Qt::UserRole;
    static constexpr int NameRole = Qt::UserRole + 1;
    // The dynamic property by which the application style paints the list's
    // scroll bars as slim handles without a track; without that style they
    // keep the platform's look.
    static constexpr char ScrollBarStyleProperty[] = "ActionsList ScrollBar";

    explicit ActionsList(QWidget *parent = nullptr);
    ~ActionsList() override;

    QSize minimumSizeHint() const override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // Drags the pressed action row, as a copy; the actions the view offers
    // are not asked.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    class ActionsListPrivate;
    std::unique_ptr<ActionsListPrivate> d;
};

} // namespace UI
