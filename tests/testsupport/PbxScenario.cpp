#include "testsupport/PbxScenario.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>

#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "mainwindow/ACPark.h"
#include "mainwindow/ACQueue.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "testsupport/ManagerFixture.h"

namespace {

QString unescape(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar n = text.at(++i);
        out += n == u'r' ? QChar(u'\r') : n == u'n' ? QChar(u'\n') : n == u'0' ? QChar(u'\0') : n;
    }
    return out;
}

QString escape(QString text)
{
    text.replace(u'\\', QLatin1String("\\\\"));
    text.replace(u'\r', QLatin1String("\\r"));
    text.replace(u'\n', QLatin1String("\\n"));
    text.replace(QChar(u'\0'), QLatin1String("\\0"));
    return text;
}

// The lines of a message written with "|" between them; "\|" is a "|" of a line.
QStringList messageLines(const QString &text)
{
    QStringList lines { QString() };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\\' && i + 1 < text.size()) {
            lines.last() += text.mid(i, 2);
            ++i;
        } else if (text.at(i) == u'|') {
            lines << QString();
        } else {
            lines.last() += text.at(i);
        }
    }
    for (QString &line : lines)
        line = unescape(line);
    return lines;
}

// The picture of the tile's strip and background by their names in the shared set.
QString pictureOf(const QPixmap &shown)
{
    const AgentImages *i = QuorAgent::images;
    const std::pair<const QPixmap *, const char *> names[] = { { &i->str_no_avail, "no_avail" },
        { &i->bg_no_avail, "no_avail" }, { &i->str_available, "available" }, { &i->bg_avail, "avail" },
        { &i->str_queue, "queue" }, { &i->bg_queue, "queue" }, { &i->bg_active, "active" },
        { &i->str_calling, "calling" }, { &i->bg_ringing, "ringing" }, { &i->str_ringing, "ringing" },
        { &i->str_ring, "ring" }, { &i->str_hold, "hold" }, { &i->bg_hold, "hold" }, { &i->str_offhook, "offhook" },
        { &i->bg_offhook, "offhook" }, { &i->str_dnd, "dnd" }, { &i->bg_dnd, "dnd" }, { &i->str_fwd, "fwd" },
        { &i->bg_fwd, "fwd" }, { &i->str_parked, "parked" } };
    for (const auto &[pixmap, name] : names) {
        if (pixmap->cacheKey() == shown.cacheKey())
            return QLatin1String(name);
    }
    return shown.isNull() ? QStringLiteral("none") : QStringLiteral("?");
}

// Strip and background each state shows unless something else is said.
QString picturesOfState(int state)
{
    static const char *const pictures[] = { "none/none", "no_avail/no_avail", "available/avail", "ringing/ringing",
        "ring/ringing", "calling/active", "hold/hold", "dnd/dnd", "fwd/fwd", "offhook/offhook", "parked/hold",
        "queue/queue" };
    return state >= 0 && state < 12 ? QLatin1String(pictures[state]) : QString();
}

QString callerNameOf(const ManagerFixture &f, const QuorAgent *t)
{
    for (const PbxModel::Peer &p : f.pbx.peers) {
        if (p.name == t->extension && Channel::tileTech(p.tech) == Channel::tileTech(t->tech))
            return p.callerName;
    }
    return {};
}

QString tileView(const ManagerFixture &f, const QuorAgent *t)
{
    QStringList s { QString::number(t->state) };
    s << t->label_phone->text();
    if (!t->label_direction->text().isEmpty())
        s << "dir:" + t->label_direction->text();
    if (t->button_user->text() != callerNameOf(f, t))
        s << "name:" + t->button_user->text();
    if (t->channel)
        s << "@" + t->channel->uniqueid;
    if (t->linkedChannel)
        s << ">" + t->linkedChannel->uniqueid;
    // A tile is made free once by setIdle and stays so through calls.
    if (!t->free && t->state > AgentUnavailable)
        s << "busy";
    if (t->dnd)
        s << "dnd";
    if (t->forward)
        s << "fwd:" + t->fwdFamily + ':' + t->fwdNumber;
    if (t->vmCount)
        s << "vm:" + QString::number(t->vmCount);
    const QString pictures = pictureOf(t->label_status->pixmap()) + '/' + pictureOf(t->label_bg->pixmap());
    if (pictures != picturesOfState(t->state))
        s << "pic:" + pictures;
    const QString shown = s.join(' ').simplified();
    if (shown == QLatin1String("2"))
        return {};
    return (t->tech == "SIP" ? QString() : t->tech + '/') + t->extension + '=' + shown;
}

QStringList rowsOf(const QTableWidget *table, const std::function<QString(QWidget *)> &text)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows << (table->cellWidget(row, 0) ? text(table->cellWidget(row, 0)) : QStringLiteral("(empty)"));
    return rows;
}

bool failed(const QString &actual, const QString &expected, const PbxScenario &s, int line)
{
    const QByteArray file = s.file.toLocal8Bit();
    // The comparison's message cuts long texts: the whole text, line by line, to write the row from.
    if (actual != expected)
        qInfo().noquote() << "shown:" << QString(u'\n' + actual).replace(u'\n', QLatin1String("\n  "));
    return !QTest::qCompare(actual, expected, "shown", "expected", file.constData(), line);
}

// The fields of a record that no tile shows by itself: "name|callerId|callerIdName|linkedTo".
QString recordView(const ManagerFixture &f, const QString &uniqueid)
{
    for (const Channel *c : std::as_const(*f.manager->extensions()->channels)) {
        if (c->uniqueid == uniqueid)
            return QStringList { c->name, c->callerId, c->callerIdName, c->linkedTo }.join('|');
    }
    return QStringLiteral("(none)");
}

void setBox(PbxModel &pbx, const QString &peer, const QString &box)
{
    for (PbxModel::Peer &p : pbx.peers) {
        if (p.name == peer)
            p.mailbox = box;
    }
}

QuorAgent *tileOf(const ManagerFixture &f, const QString &name)
{
    const QString tech = name.contains('/') ? name.section('/', 0, 0) : QStringLiteral("SIP");
    for (QuorAgent *t : std::as_const(f.manager->extensions()->tiles)) {
        if (t->extension == name.section('/', -1) && t->tech == tech)
            return t;
    }
    return nullptr;
}

// By object name in the window, the phone, then the settings; "settings:NAME"
// in the settings only (the phone has widgets of the same names), "action:TEXT"
// the window's action of that text, status tip or shortcut; "tile:EXT" a tile
// and "tile:EXT.child" a named child of it.
QObject *named(const ManagerFixture &f, const QString &name)
{
    if (name.startsWith("action:"))
        return f.action(name.mid(7));
    if (name.startsWith("settings:"))
        return f.settings->findChild<QObject *>(name.mid(9));
    if (name.startsWith("tile:")) {
        QuorAgent *t = tileOf(f, name.mid(5).section('.', 0, 0));
        const QString child = name.section('.', 1);
        return t && !child.isEmpty() ? t->findChild<QObject *>(child) : t;
    }
    for (QObject *root : std::initializer_list<QObject *> { f.manager.get(), f.phone.get(), f.settings.get() }) {
        if (QObject *o = root->findChild<QObject *>(name))
            return o;
    }
    return nullptr;
}

// A property by name; "items" is the entries of a list or combo box joined by
// "|", "hidden" whether a widget was hidden (shown or not on screen); on a tile
// also one of the fields the panel writes and its actions read.
QString propertyOf(const QObject *o, const QString &name)
{
    QStringList items;
    if (name == QLatin1String("items")) {
        if (const auto *combo = qobject_cast<const QComboBox *>(o)) {
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
        } else if (const auto *list = qobject_cast<const QListWidget *>(o)) {
            for (int i = 0; i < list->count(); ++i)
                items << list->item(i)->text();
        }
        return items.join('|');
    }
    if (const auto *widget = qobject_cast<const QWidget *>(o); widget && name == QLatin1String("hidden"))
        return widget->isHidden() ? QStringLiteral("true") : QStringLiteral("false");
    const QVariant value = o->property(name.toLatin1());
    const auto *t = qobject_cast<const QuorAgent *>(o);
    if (value.isValid() || !t)
        return value.toString();
    const QHash<QString, QString> fields { { "vmPrefix", t->vmPrefix }, { "dndFamily", t->dndFamily },
        { "fwdFamilies", t->fwdFamilies.join(',') }, { "queue", t->queue }, { "parkSlot", t->parkSlot } };
    return fields.value(name, QStringLiteral("(no such field)"));
}

// A line edit's text, a check box's state ("yes" or "no") or a combo box's text.
bool setWidget(const ManagerFixture &f, const QString &name, const QString &value)
{
    QObject *o = named(f, name);
    if (auto *edit = qobject_cast<QLineEdit *>(o))
        edit->setText(value);
    else if (auto *button = qobject_cast<QAbstractButton *>(o); button && button->isCheckable())
        button->setChecked(value == QLatin1String("yes"));
    else if (auto *combo = qobject_cast<QComboBox *>(o))
        combo->setCurrentText(value);
    else
        return false;
    return true;
}

// "! tile EXT call|transfer|vm|message|dnd|fwd", "! queue|parked take|hangup|send [DEST]" on the first row,
// "! drop" (the PBX drops the connection and takes the next login), "! down" (the PBX goes away), "! up" (it
// comes back; the window's next attempt logs in), "! wait MS", "! settle" (until a round trip asks nothing
// more), "! click NAME" (a button, or "action:TEXT"), "! set NAME=VALUE" (setWidget), "! apply PAGE
// [NAME=VALUE ...]" (the settings page of the button PAGE, unlocked, with the values, applied), "! settings
// PAGE WIDGET=VALUE..." (a line edit's text or a check box "on"/"off" on that page, then applied).
bool act(ManagerFixture &f, const QString &command, const PbxScenario &s, int line)
{
    const QStringList w = command.split(' ', Qt::SkipEmptyParts);
    const QByteArray file = s.file.toLocal8Bit();
    const auto relogin = [&f, &file, line] {
        return QTest::qVerify(f.settle(), "settle", "no new login", file.constData(), line);
    };
    if (w.value(0) == "tile" && w.size() == 3) {
        QuorAgent *t = tileOf(f, w.at(1));
        if (!QTest::qVerify(t != nullptr, "tile", "no such tile", file.constData(), line))
            return false;
        const QHash<QString, void (QuorAgent::*)()> tileActions { { "call", &QuorAgent::slotCall },
            { "transfer", &QuorAgent::slotBlindTransfer }, { "vm", &QuorAgent::slotSendToVoiceMail },
            { "message", &QuorAgent::slotLeaveMessageToVm }, { "dnd", &QuorAgent::enableDND },
            { "fwd", &QuorAgent::enableFWD } };
        if (!QTest::qVerify(tileActions.contains(w.at(2)), "action", "no such tile action", file.constData(), line))
            return false;
        (t->*tileActions.value(w.at(2)))();
    } else if ((w.value(0) == "queue" || w.value(0) == "parked") && w.size() >= 2) {
        CallWindow *window = w.at(0) == "queue" ? static_cast<CallWindow *>(f.manager->queueWindow())
                                                : static_cast<CallWindow *>(f.manager->parkedWindow());
        window->table->setCurrentCell(0, 1);
        if (w.at(1) == "take")
            window->takeButton->click();
        else if (w.at(1) == "hangup")
            window->hangButton->click();
        else if (w.at(1) == "send") {
            window->findChild<QLineEdit *>()->setText(unescape(w.value(2)));
            window->sendButton->click();
        } else {
            return QTest::qVerify(false, "action", "no such window action", file.constData(), line);
        }
    } else if (w.value(0) == "settle" && w.size() == 1) {
        if (!QTest::qVerify(f.settle(), "settle", "never settles", file.constData(), line))
            return false;
    } else if (w.value(0) == "settings" && w.size() >= 2) {
        f.openPage(qPrintable(w.at(1)));
        for (const QString &pair : w.mid(2)) {
            QWidget *widget = f.settings->findChild<QWidget *>(pair.section('=', 0, 0));
            const QString value = unescape(pair.section('=', 1));
            if (auto *edit = qobject_cast<QLineEdit *>(widget))
                edit->setText(value);
            else if (auto *box = qobject_cast<QAbstractButton *>(widget))
                box->setChecked(value == "on");
            else
                return QTest::qVerify(false, "widget", "no such settings widget", file.constData(), line);
        }
        f.settings->settingsApply();
    } else if (w.value(0) == "drop" && w.size() == 1) {
        f.ami.dropClient();
        (void)QTest::qWaitFor([&f] { return !f.manager->isLoggedIn(); });
        return relogin();
    } else if (w.value(0) == "down" && w.size() == 1) {
        f.ami.close();
        (void)QTest::qWaitFor([&f] { return !f.manager->isLoggedIn(); });
    } else if (w.value(0) == "up" && w.size() == 1) {
        return QTest::qVerify(f.ami.listen(f.ami.port()), "listen", "port taken", file.constData(), line)
            && relogin();
    } else if (w.value(0) == "wait" && w.size() == 2) {
        QTest::qWait(w.at(1).toInt());
    } else if (w.value(0) == "click" && w.size() == 2) {
        QObject *o = named(f, w.at(1));
        if (auto *button = qobject_cast<QAbstractButton *>(o))
            button->click();
        else if (auto *action = qobject_cast<QAction *>(o))
            action->trigger();
        else
            return QTest::qVerify(false, "click", "no such button or action", file.constData(), line);
    } else if (w.value(0) == "set" && w.size() == 2) {
        const QString name = w.at(1).section('=', 0, 0);
        return QTest::qVerify(setWidget(f, name, unescape(w.at(1).section('=', 1))), "set", "no such widget",
            file.constData(), line);
    } else if (w.value(0) == "apply" && w.size() >= 2) {
        if (f.settings->isLocked())
            f.openPage(qPrintable(w.at(1)));
        else
            f.settings->findChild<QAbstractButton *>(w.at(1))->click();
        for (const QString &pair : w.mid(2)) {
            if (!QTest::qVerify(setWidget(f, pair.section('=', 0, 0), unescape(pair.section('=', 1))), "apply",
                    "no such widget", file.constData(), line))
                return false;
        }
        f.settings->settingsApply();
        // A changed connection logs in again before the scenario goes on.
        if (!f.manager->isLoggedIn())
            return relogin();
    } else {
        return QTest::qVerify(false, "command", "unknown command", file.constData(), line);
    }
    return true;
}

} // namespace

namespace Scenarios {

QString view(const ManagerFixture &f)
{
    QStringList out;
    for (const QuorAgent *t : std::as_const(f.manager->extensions()->tiles)) {
        const QString shown = tileView(f, t);
        if (!shown.isEmpty())
            out << shown;
    }
    QStringList records;
    for (const Channel *c : std::as_const(*f.manager->extensions()->channels))
        records << c->uniqueid + '=' + c->state;
    if (!records.isEmpty())
        out << "rec:" + records.join(',');
    const QStringList queued = rowsOf(f.manager->queueWindow()->table, [](QWidget *w) {
        const auto *row = qobject_cast<ACQueue *>(w);
        return row ? row->label_source->text() + '@' + row->label_destination->text() : QStringLiteral("?");
    });
    if (!queued.isEmpty())
        out << "q:" + queued.join(',');
    const QStringList parked = rowsOf(f.manager->parkedWindow()->table, [](QWidget *w) {
        const auto *row = qobject_cast<ACPark *>(w);
        return row ? row->label_destination->text() + ' ' + row->label_source->text() + '<' + row->label_user->text()
                   : QStringLiteral("?");
    });
    if (!parked.isEmpty())
        out << "p:" + parked.join(',');
    return out.join(" | ");
}

QList<PbxScenario> read(const QString &path)
{
    QList<PbxScenario> scenarios;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("cannot read %s", qPrintable(path));
        return scenarios;
    }
    QList<PbxScenario::Step> header;
    int number = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).chopped(1);
        ++number;
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith("== ")) {
            scenarios.append({ path, number, line.mid(3).trimmed(), header, {} });
            continue;
        }
        const char kind = line.at(0).toLatin1();
        if (!QByteArray("@<!>=?").contains(kind) || (line.size() > 1 && line.at(1) != ' ')) {
            qWarning("%s:%d: not a scenario line: %s", qPrintable(path), number, qPrintable(line));
            scenarios.clear();
            return scenarios;
        }
        const PbxScenario::Step step { number, kind, line.mid(2) };
        if (scenarios.isEmpty())
            header << step;
        else if (kind == '@')
            scenarios.last().setup << step;
        else
            scenarios.last().steps << step;
    }
    return scenarios;
}

void addRows(const QString &fileName)
{
    QTest::addColumn<PbxScenario>("scenario");
    const QList<PbxScenario> scenarios = read(QStringLiteral(QUOR_TEST_DATA_DIR "/pbx/") + fileName);
    QVERIFY2(!scenarios.isEmpty(), qPrintable(fileName));
    for (const PbxScenario &s : scenarios)
        QTest::newRow(qPrintable(s.name)) << s;
}

void runCurrent()
{
    QFETCH(PbxScenario, scenario);
    const PbxScenario &s = scenario;
    auto f = std::make_unique<ManagerFixture>();
    f->setPeers("SIP 101 Alice|SIP 102 Bob|SIP 103 Cleo|IAX 104 Dan");
    SettingKeys keys { { "agent/uname", "101" } };
    for (const PbxScenario::Step &step : s.setup) {
        const QString word = step.text.section(' ', 0, 0);
        const QString rest = step.text.section(' ', 1);
        if (word == "peers")
            f->setPeers(rest);
        else if (word == "version")
            f->pbx.version = rest;
        else if (word == "driver")
            f->pbx.driver = rest;
        else if (word == "set")
            keys.append({ rest.section('=', 0, 0), unescape(rest.section('=', 1)) });
        else if (word == "db")
            f->pbx.db.insert(rest.section('=', 0, 0), rest.section('=', 1));
        else if (word == "box")
            setBox(f->pbx, rest.section('=', 0, 0), unescape(rest.section('=', 1)));
        else
            QFAIL(qPrintable(QStringLiteral("%1:%2: unknown setup").arg(s.file).arg(step.line)));
    }
    QVERIFY2(f->startLoggedIn(keys), "no login");

    const QList<PbxScenario::Step> &steps = s.steps;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const PbxScenario::Step &step = steps.at(i);
        switch (step.kind) {
        case '<':
            if (step.text == "call" || step.text.startsWith("db:"))
                f->run({ step.text });
            else
                f->ami.sendMessage(messageLines(step.text));
            break;
        case '!':
            f->sync();
            if (!act(*f, step.text, s, step.line))
                return;
            break;
        case '>': {
            QStringList expected;
            for (; i < steps.size() && steps.at(i).kind == '>'; ++i)
                expected << steps.at(i).text;
            --i;
            if (expected == QStringList { "-" })
                expected.clear();
            // A last line "..." lets more follow the actions listed.
            const bool more = !expected.isEmpty() && expected.constLast() == QLatin1String("...");
            if (more)
                expected.removeLast();
            f->sync();
            QStringList sent = f->takeSent();
            for (QString &text : sent)
                text = escape(text);
            if (more)
                sent = sent.mid(0, expected.size());
            if (failed(sent.join('\n'), expected.join('\n'), s, step.line))
                return;
            break;
        }
        case '=':
            f->sync();
            if (failed(view(*f), step.text, s, step.line))
                return;
            break;
        case '?': {
            f->sync();
            const QString target = step.text.section('=', 0, 0);
            if (target.startsWith("rec:")) {
                if (failed(recordView(*f, target.mid(4)), step.text.section('=', 1), s, step.line))
                    return;
                break;
            }
            QObject *o = named(*f, target.section('.', 0, -2));
            const QByteArray file = s.file.toLocal8Bit();
            if (!QTest::qVerify(o != nullptr, "object", "no such object", file.constData(), step.line))
                return;
            const QString value = propertyOf(o, target.section('.', -1));
            if (failed(value, unescape(step.text.section('=', 1)), s, step.line))
                return;
            break;
        }
        }
    }
}

} // namespace Scenarios
