#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// A scripted PBX for the main window's and the panel's tests, tools and
// benchmarks: its peers, voicemail counts and AstDB entries, and the answer a
// real PBX gives to every query the window, the panel and the benchmark's
// router send. Plain data, no QObject: the benchmarks' writer threads use it.
class PbxModel
{
public:
    struct Peer
    {
        QString tech; // "SIP", "IAX" or "Zap"
        QString name;
        QString callerName;
        QString mailbox; // sent as it is: "101@default", "", "not set"
        bool reachable = true;
        QString context = QStringLiteral("from-internal");
        bool numbered = true; // the caller id carries the name as its number
    };

    // A reachable peer with the voicemail box name@default.
    static Peer peer(const QString &tech, const QString &name, const QString &callerName)
    {
        return { tech, name, callerName, name + QStringLiteral("@default") };
    }

    QList<Peer> peers;
    QString version = QStringLiteral("1.4.21");
    QString driver = QStringLiteral("Zap"); // "Zap", "dahdi" or "none"
    QHash<QString, int> voicemail; // mailbox -> new messages
    QHash<QString, QString> db; // "family/key" -> value

    // The reply to one action (its lines without "\r\n"); "" for none.
    QByteArray answer(const QStringList &action) const
    {
        const QString name = valueOf(action, "Action").toLower();
        const QByteArray id = valueOf(action, "ActionID").toLatin1();
        if (name == QLatin1String("login"))
            return "Response: Success\r\nActionID: " + id + "\r\nMessage: Authentication accepted\r\n\r\n";
        if (name == QLatin1String("sipshowpeer"))
            return sipDetails(valueOf(action, "Peer"));
        if (name == QLatin1String("mailboxcount")) {
            const QString box = valueOf(action, "MailBox");
            return "Response: Success\r\nActionID: " + id
                + "\r\nMessage: Mailbox Message Count\r\nMailbox: " + box.toLatin1()
                + "\r\nNewMessages: " + QByteArray::number(voicemail.value(box)) + "\r\nOldMessages: 0\r\n\r\n";
        }
        if (name == QLatin1String("dbget"))
            return dbGet(id, valueOf(action, "Family"), valueOf(action, "Key"));
        if (name == QLatin1String("queuestatus"))
            return "Response: Success\r\nActionID: " + id
                + "\r\nMessage: Queue status will follow\r\n\r\n"
                  "Event: QueueStatusComplete\r\nActionID: "
                + id + "\r\n\r\n";
        if (name == QLatin1String("command"))
            return command(id, valueOf(action, "Command"));
        return {};
    }

    static QString valueOf(const QStringList &action, const char *key)
    {
        const QString prefix = QLatin1String(key) + QLatin1Char(':');
        for (const QString &line : action) {
            if (line.startsWith(prefix, Qt::CaseInsensitive))
                return line.mid(prefix.size()).trimmed();
        }
        return {};
    }

    static QByteArray follows(const QByteArray &id, const QByteArray &output)
    {
        return "Response: Follows\r\nPrivilege: Command\r\nActionID: " + id + "\r\n" + output
            + "--END COMMAND--\r\n\r\n";
    }

private:
    const Peer *find(const QString &tech, const QString &name) const
    {
        for (const Peer &p : peers) {
            if (p.tech == tech && p.name == name)
                return &p;
        }
        return nullptr;
    }

    QList<const Peer *> peersOf(const QString &tech) const
    {
        QList<const Peer *> list;
        for (const Peer &p : peers) {
            if (p.tech == tech)
                list << &p;
        }
        return list;
    }

    static QByteArray number(const Peer &p) { return p.numbered ? p.name.toUtf8() : QByteArray(); }
    static QByteArray callerId(const Peer &p) { return "\"" + p.callerName.toUtf8() + "\" <" + number(p) + ">"; }

    static QByteArray noSuchCommand(const QByteArray &id, const QString &command)
    {
        return follows(id, "No such command '" + command.toLatin1() + "' (type 'help' for help)\n");
    }

    QByteArray command(const QByteArray &id, const QString &command) const
    {
        if (command == QLatin1String("show version"))
            return follows(id, "Asterisk " + version.toLatin1() + " built by pbx @ host on a x86_64 running Linux\n");
        if (command == QLatin1String("dahdi show status") || command == QLatin1String("zap show status")) {
            const bool dahdi = command.startsWith(QLatin1String("dahdi"));
            if (driver != (dahdi ? QLatin1String("dahdi") : QLatin1String("Zap")))
                return noSuchCommand(id, command);
            return follows(id,
                "Description                              Alarms     IRQ    bpviol     CRC4\n"
                "WCTDM/0 \"Wildcard TDM400P REV I Board 1\" OK         0      0          0\n");
        }
        if (command == QLatin1String("sip show peers") || command == QLatin1String("iax2 show peers"))
            return peerTable(id, command.startsWith(QLatin1String("sip")));
        if (command == QLatin1String("zap show channels") || command == QLatin1String("dahdi show channels")) {
            QByteArray out = "   Chan Extension  Context         Language   MOH Interpret\n";
            out += "pseudo            default                    default\n";
            for (const Peer *p : peersOf(QStringLiteral("Zap")))
                out += "      " + p->name.toLatin1() + "            " + p->context.toLatin1() + "   en   default\n";
            return follows(id, out);
        }
        if (command.startsWith(QLatin1String("iax2 show peer ")))
            return iaxDetails(id, command.mid(15));
        if (command.startsWith(QLatin1String("zap show channel "))
            || command.startsWith(QLatin1String("dahdi show channel ")))
            return zapDetails(id, command.mid(command.lastIndexOf(QLatin1Char(' ')) + 1));
        if (command.startsWith(QLatin1String("database showkey ")))
            return showkey(id, command.mid(17));
        if (command == QLatin1String("show channels"))
            return follows(id,
                "Channel              Location             State   Application(Data)\n"
                "0 active channels\n0 active calls\n");
        return {};
    }

    QByteArray peerTable(const QByteArray &id, bool sip) const
    {
        QByteArray out = sip ? "Name/username              Host            Dyn Nat ACL Port     Status\n"
                             : "Name/Username    Host                 Mask             Port          Status\n";
        const QList<const Peer *> list = peersOf(sip ? QStringLiteral("SIP") : QStringLiteral("IAX"));
        for (const Peer *p : list) {
            const QByteArray n = p->name.toLatin1();
            const QByteArray host = p->reachable ? QByteArray("10.0.0.5") : QByteArray("(Unspecified)");
            const QByteArray status = p->reachable ? QByteArray("OK (3 ms)") : QByteArray("UNREACHABLE");
            out += sip ? n + '/' + n + "   " + host + "   D   5060   " + status + "\n"
                       : n + "   " + host + "   (D)  255.255.255.255  4569   " + status + "\n";
        }
        out += QByteArray::number(list.size()) + (sip ? " sip peers [Monitored: 0 online]\n" : " iax2 peers\n");
        return follows(id, out);
    }

    QByteArray sipDetails(const QString &name) const
    {
        const Peer *p = find(QStringLiteral("SIP"), name);
        if (!p)
            return "Response: Error\r\nActionID: SIPShowPeer\r\nMessage: Peer " + name.toLatin1()
                + " not found.\r\n\r\n";
        return "Response: Success\r\nActionID: SIPShowPeer\r\nChanneltype: SIP\r\nObjectName: " + name.toLatin1()
            + "\r\nChanObjectType: peer\r\nSecretExist: Y\r\nContext: " + p->context.toLatin1()
            + "\r\nVoiceMailbox: " + p->mailbox.toLatin1() + "\r\nCallerid: " + callerId(*p)
            + "\r\nCodecOrder: ulaw,gsm\r\nStatus: " + (p->reachable ? "OK (3 ms)" : "UNREACHABLE") + "\r\n\r\n";
    }

    QByteArray iaxDetails(const QByteArray &id, const QString &name) const
    {
        const Peer *p = find(QStringLiteral("IAX"), name);
        if (!p)
            return follows(id, "No such peer '" + name.toLatin1() + "'\n");
        return follows(id,
            "\n\n  * Name       : " + name.toLatin1()
                + "\n  Secret       : <Set>\n  Context      : " + p->context.toLatin1()
                + "\n  Mailbox      : " + p->mailbox.toLatin1() + "\n  Callerid     : " + callerId(*p)
                + "\n  Addr->IP     : 10.0.0.6 Port 4569\n"
                  "  Codec Order  : (ulaw|gsm)\n  Status       : "
                + (p->reachable ? "OK (5 ms)" : "UNREACHABLE") + "\n");
    }

    QByteArray zapDetails(const QByteArray &id, const QString &name) const
    {
        const Peer *p = find(QStringLiteral("Zap"), name);
        if (!p)
            return follows(id, "Unable to find given channel " + name.toLatin1() + "\n");
        return follows(id,
            "Channel: " + name.toLatin1() + "\nContext: " + p->context.toLatin1() + "\nCaller ID: " + number(*p)
                + "\nCaller ID name: " + p->callerName.toUtf8() + "\nDefault law: ulaw\n");
    }

    QByteArray dbGet(const QByteArray &id, const QString &family, const QString &key) const
    {
        const auto it = db.constFind(family + QLatin1Char('/') + key);
        if (it == db.constEnd())
            return "Response: Error\r\nActionID: " + id + "\r\nMessage: Database entry not found\r\n\r\n";
        return "Response: Success\r\nActionID: " + id
            + "\r\nMessage: Result will follow\r\n\r\n"
              "Event: DBGetResponse\r\nFamily: "
            + family.toLatin1() + "\r\nKey: " + key.toLatin1() + "\r\nVal: " + it->toLatin1() + "\r\nActionID: " + id
            + "\r\n\r\n";
    }

    QByteArray showkey(const QByteArray &id, const QString &key) const
    {
        // In the AstDB's own order: sorted by key path.
        QStringList paths;
        for (auto it = db.constBegin(); it != db.constEnd(); ++it) {
            if (it.key().section(QLatin1Char('/'), -1) == key)
                paths << it.key();
        }
        paths.sort();
        QByteArray out;
        for (const QString &path : std::as_const(paths))
            out += "/" + path.toLatin1() + "                              : " + db.value(path).toLatin1() + "\n";
        return follows(id, out + QByteArray::number(paths.size()) + " results found.\n");
    }
};
