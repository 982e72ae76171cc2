#include "mainwindow/CallListFrame.h"

#include <QFrame>
#include <QVBoxLayout>

QFrame *makeCallListFrame(QWidget *window)
{
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(window);
    frame->setObjectName(QStringLiteral("frame_Status"));
    frame->setMinimumSize(230, 90);
    frame->setFrameShape(QFrame::NoFrame);
    frame->setStyleSheet(QStringLiteral("QFrame#frame_Status { background-color: rgb(38, 38, 38);"
                                        " border: 1px solid rgb(24, 24, 24); }"));
    layout->addWidget(frame);
    return frame;
}
