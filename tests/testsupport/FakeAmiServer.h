#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QTcpServer;
class QTcpSocket;

// A stand-in PBX manager port for tests, on 127.0.0.1 and a free port.
//
// On each connection it greets like a PBX: one line without ": " and no empty
// line after it. It cuts what the client sends into actions at the empty line
// and records each one (lines without "\r\n"). An empty line that arrives
// with no action before it is answered the way a PBX answers an empty action
// ("Response: Error" / "Message: Missing action in request"), which is what
// carries the greeting away before a client's login.
//
// Rules script the answers: the first rule whose action name matches the
// action's "Action" value (case-insensitive) and, when the rule names one, its
// ActionID, sends its reply; "{ActionID}" in a reply is replaced by the
// request's ActionID. Events and raw bytes can be pushed at any time, and the
// connection can be dropped. One client at a time: a new connection replaces
// the previous one.
class FakeAmiServer : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *kDefaultGreeting = "Asterisk Call Manager/1.1\r\n";

    explicit FakeAmiServer(QObject *parent = nullptr);
    ~FakeAmiServer() override;

    // Listens on 127.0.0.1, on the given port or, with 0, on one the system
    // chooses; port() stays known after close(), so the same port can be
    // listened on again.
    bool listen(quint16 port = 0);
    quint16 port() const;
    // Stops listening and drops the client: the PBX is down.
    void close();

    void setGreeting(const QByteArray &greeting) { m_greeting = greeting; }
    void setAnswerEmptyActions(bool on) { m_answerEmpty = on; }

    void addRule(const QString &action, const QByteArray &reply, const QString &actionId = QString());
    // A rule whose reply is made from the request (its lines, as recorded);
    // "{ActionID}" is replaced in it as in a fixed reply. An empty reply
    // sends nothing.
    using Responder = std::function<QByteArray(const QStringList &action)>;
    void addResponder(const QString &action, Responder responder, const QString &actionId = QString());
    // Answers every "Action: Ping" with "Event: UserEvent", "UserEvent: Sync"
    // and "Mark: " + its ActionID, behind everything written before (AmiSync).
    void answerPings();
    // Answers "Action: Login" with success (or the PBX's refusal).
    void addLoginRule(bool accept = true);
    void clearRules() { m_rules.clear(); }

    // Sends the lines joined by "\r\n" and closed by an empty line.
    void sendMessage(const QStringList &lines);
    void sendRaw(const QByteArray &bytes);
    // Closes the client's connection at once.
    void dropClient();

    bool hasClient() const;
    // Every action received so far, over all connections, in order.
    QList<QStringList> actions() const { return m_actions; }
    // The value of key in an action ("" when absent); keys compare case-insensitively.
    static QString valueOf(const QStringList &action, const QString &key);
    QByteArray received() const { return m_received; }
    void clearReceived();

signals:
    void clientConnected();
    void clientDisconnected();
    void actionReceived(const QStringList &action);

private:
    struct Rule
    {
        QString action;
        QString actionId;
        QByteArray reply;
        Responder responder;
    };

    void onNewConnection();
    void onReadyRead();
    void handleAction(const QStringList &action);

    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    QPointer<QTcpSocket> m_client;
    QByteArray m_greeting = kDefaultGreeting;
    bool m_answerEmpty = true;
    QList<Rule> m_rules;
    QList<QStringList> m_actions;
    QStringList m_current;
    QByteArray m_buffer;
    QByteArray m_received;
};
