#pragma once

#include <QMainWindow>

class TQuorPhone;

// Until the operator panel exists, the main window only hosts the phone in its
// "Phone" dock; closing it runs the phone's quit routine, which ends the process.
class PhoneHostWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit PhoneHostWindow(TQuorPhone *phone, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TQuorPhone *m_phone;
};
