#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <functional>

#include "core/QuorTypes.h"

// What the phone does outside itself when calls come and go, as the user set it
// on the Actions page of the settings.
struct CallActionSettings
{
    bool actIn = false; // start appIn with scrIn for incoming calls
    bool actCrm = false; // open crmUrl for incoming calls
    bool actOut = false; // start appOut with scrOut for outgoing calls
    bool actA1 = false; // run the incoming actions while the call rings, not once answered
    QString appIn;
    QString scrIn;
    QString crmUrl;
    QString appOut;
    QString scrOut;
};

// Runs the call actions for a caller's number.
//
// The number comes from the network (caller id), so it never reaches a shell:
// the application is started directly with the argument list (script, number),
// the CRM address gets the number percent-encoded, and control characters are
// stripped first; a number that then begins with "-" starts no program. A
// program or address that fails is reported to the user once, and only logged
// after that, until it works again or the settings change.
class CallActions : public QObject
{
    Q_OBJECT

public:
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit CallActions(QObject *parent = nullptr);

    void setSettings(const CallActionSettings &settings);
    const CallActionSettings &settings() const { return m_settings; }

    // Replaces the desktop's URL opener (tests capture the address instead).
    void setUrlOpener(UrlOpener opener);

    // An incoming call starts ringing: the incoming actions run now when they
    // are set to run before answer.
    void incomingRinging(const QString &number);
    // An incoming call is answered here: the incoming actions run now unless
    // they ran while it rang.
    void incomingAnswered(const QString &number);
    // An outgoing call is placed.
    void outgoing(const QString &number);

    // The CRM address with the percent-encoded number appended.
    static QUrl crmAddress(const QString &base, const QString &number);

signals:
    // A failure for the user (type 3); the phone shows it with showMessage.
    void signalShowMessage(const QString &text, TMessageType type);

private:
    void runIncoming(const QString &number);
    void launch(const QString &program, const QString &script, const QString &number);
    void openCrm(const QString &number);
    void fail(const QString &key, const QString &text, const QString &detail);

    CallActionSettings m_settings;
    UrlOpener m_openUrl;
    QSet<QString> m_reported;
};
