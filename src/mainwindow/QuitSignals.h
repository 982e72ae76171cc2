#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (a desktop session logging out, kill, Ctrl+C,
// the terminal closed) into quitRequested() on the thread that owns this object,
// so that the program leaves through its own quit path (layout saved,
// registration released, calls hung up) instead of ending in the middle of a
// call. SIGHUP stays ignored when the program was started with it ignored.
//
// The handlers only write the signal number into a pipe that a socket notifier
// watches; everything else runs from the event loop. A signal that arrives
// before anything is connected to quitRequested() is kept and delivered once a
// receiver connects. One instance at a time: a second one installs nothing and
// isActive() is false. The destructor puts the previous handlers back.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    QuitSignals(const QuitSignals &) = delete;
    QuitSignals &operator=(const QuitSignals &) = delete;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    void quitRequested(int signalNumber);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    void readSignals();
    void deliverPending();

    QSocketNotifier *m_notifier = nullptr;
    int m_pending = 0;
};
