#pragma once

#include <QMainWindow>

class TQuorPhone;

// Until the operator panel exists, the main window only hosts the phone in its
// "Phone" dock. Closing it, or a quit signal routed to quit(), runs the phone's
// quit routine, which ends the process.
class PhoneHostWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit PhoneHostWindow(TQuorPhone *phone, QWidget *parent = nullptr);

public slots:
    // The one way out: the window has no layout to save yet, so it goes
    // straight to the phone's beforeQuit. Later calls while quitting do nothing.
    void quit();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TQuorPhone *m_phone;
    bool m_quitting = false;
};
