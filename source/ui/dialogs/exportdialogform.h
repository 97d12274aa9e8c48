#pragma once

#include <QList>

class QAbstractButton;
class QCheckBox;
class QDialog;
class QDialogButtonBox;
class QFrame;
class QGridLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QSize;
class QString;
class QVBoxLayout;

namespace UI {

// The form the three export dialogs share: a grid of labelled rows between
// separator lines, over a row holding the OK and Cancel buttons. Section
// labels stand in column 0, indented by 39 px and aligned right; choices
// fill columns 1 to 3; separators cross all four columns. Each dialog adds
// its own rows; the layer and frame rows, which all of them have, are built
// here. Widgets get fixed object names, so tests and style sheets find them,
// and texts are translated in the context the dialog names.
//
// The record only points at the widgets; they belong to the dialog.
class ExportDialogForm
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    QGridLayout *gridLayout = nullptr;
    QDialogButtonBox *buttonBox = nullptr;
    QLabel *label_Layers = nullptr;
    QRadioButton *radioButton_AllLayers = nullptr;
    QRadioButton *radioButton_VisibleLayers = nullptr;
    QRadioButton *radioButton_ActiveLayerOnly = nullptr;
    QLabel *label_Frames = nullptr;
    QRadioButton *radioButton_AllFrames = nullptr;
    QRadioButton *radioButton_RangeOnly = nullptr;
    // Every separator added, for recolouring.
    QList<QFrame *> lines;

    // Names and sizes the dialog (keeping an object name it already has),
    // lays out the empty grid over the button row and gives the OK button
    // its text and the dialog its title.
    void setupFrame(QDialog *dialog, const char *context, const char *objectName, const QSize &size,
                    const char *title, const char *okText);

    QLabel *addSectionLabel(int row, const char *objectName, const char *text);
    QFrame *addLine(int row, const char *objectName);
    QRadioButton *addRadioButton(int row, int column, const char *objectName, const char *text,
                                 int columnSpan = 1);
    // The last button of a row, kept 39 px from the dialog's right edge.
    QRadioButton *addRightmostRadioButton(int row, int column, const char *objectName, const char *text);
    // Across columns 1 to 3.
    QCheckBox *addCheckBox(int row, const char *objectName, const char *text);

    // "Layers:" with All Layers, Visible Layers and Active Layer Only;
    // "Frames:" with All Frames and Range Only. Buttons in enumeration order.
    void addLayersRow(int row);
    void addFramesRow(int row);
    QList<QAbstractButton *> layerButtons() const;
    QList<QAbstractButton *> frameButtons() const;

    QPushButton *okButton() const;
    QString text(const char *source) const;

private:
    QDialog *m_dialog = nullptr;
    const char *m_context = "";
};

} // namespace UI
