#pragma once

#include <QFile>
#include <QString>
#include <QWidget>

// Gives a window the whole text of a style sheet resource; a resource that
// cannot be opened leaves the window without style sheet.
inline void applyStyleSheetResource(QWidget *widget, const QString &resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return;
    widget->setStyleSheet(QString::fromUtf8(file.readAll()));
}
