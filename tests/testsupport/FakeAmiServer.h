#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QTcpServer;
class QTcpSocket;

// A stand-in PBX manager port on 127.0.0.1. It greets like a PBX (one line,
// no empty line after it), records each action the client sends, and answers
// an empty action as a PBX does, which carries the greeting away before a
// login. The first rule matching the action's name (case-insensitive) and its
// ActionID, when the rule names one, answers; "{ActionID}" in a reply becomes
// the request's. One client at a time: a new connection replaces the last.
class FakeAmiServer : public QObject
{
    Q_OBJECT

public:
    explicit FakeAmiServer(QObject *parent = nullptr);
    ~FakeAmiServer() override;

    // Port 0 lets the system choose; port() outlives close() so the PBX can come back on it.
    bool listen(quint16 port = 0);
    quint16 port() const { return m_port; }
    // Stops listening and drops the client: the PBX is down.
    void close();

    void addRule(const QString &action, const QByteArray &reply, const QString &actionId = QString())
    {
        m_rules.append({ action, actionId, reply, {} });
    }
    // A reply made from the request's lines; an empty reply sends nothing.
    using Responder = std::function<QByteArray(const QStringList &action)>;
    void addResponder(const QString &action, Responder responder, const QString &actionId = QString())
    {
        m_rules.append({ action, actionId, {}, std::move(responder) });
    }
    // Answers each Ping with a "UserEvent: Sync" event marked with its ActionID (AmiSync).
    void answerPings();
    // Answers "Action: Login" with success (or the PBX's refusal).
    void addLoginRule(bool accept = true);
    // The answer addLoginRule sends, for a Login responder.
    static QByteArray loginReply(bool accept);
    // The refusal, after which the connection is closed as a PBX guarded
    // against password guessing closes it: for a Login responder.
    QByteArray refuseLogin();

    // Sends the lines joined by "\r\n" and closed by an empty line.
    void sendMessage(const QStringList &lines);
    void sendRaw(const QByteArray &bytes);
    // Closes the client's connection at once.
    void dropClient();
    // Closes it as a PBX does after a refused login: once what was sent is written.
    void closeClient();
    // The PBX hangs without closing: it reads nothing more, so what the client
    // sends fills the receive window and goes unacknowledged.
    void stopReading();

    bool hasClient() const;
    // Every action received, over all connections, in order.
    QList<QStringList> actions() const { return m_actions; }
    // The value of key in an action ("" when absent); keys compare case-insensitively.
    static QString valueOf(const QStringList &action, const QString &key);
    QByteArray received() const { return m_received; }
    void clearReceived()
    {
        m_actions.clear();
        m_received.clear();
    }

signals:
    void clientConnected();

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
    QList<Rule> m_rules;
    QList<QStringList> m_actions;
    QStringList m_current;
    QByteArray m_buffer;
    QByteArray m_received;
};
