#include "mainwindow/PhoneHostWindow.h"

#include <QCloseEvent>
#include <QDockWidget>

#include "softphone/TQuorPhone.h"

PhoneHostWindow::PhoneHostWindow(TQuorPhone *phone, QWidget *parent)
    : QMainWindow(parent)
    , m_phone(phone)
{
    setObjectName(QStringLiteral("TQuorManager"));
    auto *dock = new QDockWidget(QStringLiteral("Phone"), this);
    dock->setObjectName(QStringLiteral("Phone"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(phone);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    setCentralWidget(new QWidget(this));
    phone->setMainWindow(this);
    resize(900, 600);
}

void PhoneHostWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    quit();
}

void PhoneHostWindow::quit()
{
    // beforeQuit waits for the PBX inside an event loop, where a second signal
    // or close could start it over.
    if (m_quitting)
        return;
    m_quitting = true;
    m_phone->beforeQuit();
}
