#include "mainwindowform.h"

#include "paper/drawingarea.h"
#include "paper/paper.h"
#include "timeline/timeline.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QMetaObject>
#include <QSplitter>
#include <QVBoxLayout>

namespace Ui {

void MainWindow::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->setEnabled(true);
    window->resize(1750, 900);

    centralwidget = new QWidget(window);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    centralwidget->setMinimumSize(0, 600);

    verticalLayout_2 = new QVBoxLayout(centralwidget);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setSpacing(0);
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);

    splitter = new QSplitter(centralwidget);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setFrameShape(QFrame::NoFrame);
    splitter->setOrientation(Qt::Horizontal);
    splitter->setHandleWidth(6);
    splitter->setChildrenCollapsible(false);

    frame = new UI::DrawingArea(splitter);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setFrameShape(QFrame::NoFrame);

    scrollAreaWidgetContents = new UI::Paper(frame);
    scrollAreaWidgetContents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
    scrollAreaWidgetContents->setGeometry(0, 0, 1436, 409);
    splitter->addWidget(frame);

    verticalLayout_2->addWidget(splitter);

    timeline = new UI::Timeline(centralwidget);
    timeline->setObjectName(QStringLiteral("timeline"));
    verticalLayout_2->addWidget(timeline);

    window->setCentralWidget(centralwidget);

    menubar = new QMenuBar(window);
    menubar->setObjectName(QStringLiteral("menubar"));
    menubar->setGeometry(0, 0, 1750, 20);
    window->setMenuBar(menubar);

    QMetaObject::connectSlotsByName(window);
}

} // namespace Ui
