#include "core/DesignedWidget.h"

#include <QWidget>

void copyDesignedProperties(const QWidget &designed, QWidget *standIn)
{
    standIn->setObjectName(designed.objectName());
    standIn->setSizePolicy(designed.sizePolicy());
    standIn->setMinimumSize(designed.minimumSize());
    standIn->setMaximumSize(designed.maximumSize());
    standIn->setGeometry(designed.geometry());
    standIn->setToolTip(designed.toolTip());
    standIn->setFont(designed.font());
    standIn->setCursor(Qt::PointingHandCursor);
    standIn->setLayoutDirection(Qt::LeftToRight);
    standIn->setVisible(!designed.isHidden());
}
