#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "softphone/CallActions.h"

Q_DECLARE_METATYPE(CallActionSettings)

namespace {

const QString kMissingIn = QStringLiteral("/nonexistent/quor-test/incoming-app");

} // namespace

class TestCallActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The recorder moves its NUL-separated output into place: never read half-written.
        QVERIFY(m_dir.isValid());
        m_output = m_dir.filePath(QStringLiteral("args"));
        m_recorder = m_dir.filePath(QStringLiteral("recorder.sh"));
        QFile script(m_recorder);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done > '" + m_output.toUtf8()
            + ".tmp'\nmv '" + m_output.toUtf8() + ".tmp' '" + m_output.toUtf8() + "'\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }

    void whichActionRuns_data()
    {
        QTest::addColumn<CallActionSettings>("settings");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QStringList>("expected");
        CallActionSettings all;
        all.actIn = all.actCrm = all.actOut = true;
        all.appIn = kMissingIn;
        all.appOut = QStringLiteral("/nonexistent/quor-test/outgoing-app");
        all.crmUrl = QStringLiteral("http://crm.invalid/?n=");
        CallActionSettings before = all;
        before.actA1 = true;
        const QStringList inCrm { "in", "crm" };
        QTest::newRow("ringing, run on answer") << all << "ringing" << QStringList();
        QTest::newRow("answered, run on answer") << all << "answered" << inCrm;
        QTest::newRow("ringing, run before answer") << before << "ringing" << inCrm;
        QTest::newRow("answered, ran before answer") << before << "answered" << QStringList();
        QTest::newRow("outgoing") << before << "outgoing" << QStringList { "out" };
    }

    void whichActionRuns()
    {
        QFETCH(CallActionSettings, settings);
        QFETCH(QString, event);
        QFETCH(QStringList, expected);
        // The programs do not exist: each one that runs reports itself at once.
        CallActions actions;
        actions.setSettings(settings);
        QStringList ran;
        actions.setUrlOpener([&ran](const QUrl &) {
            ran << QStringLiteral("crm");
            return true;
        });
        connect(&actions, &CallActions::signalShowMessage, this,
            [&ran](const QString &text) { ran << QLatin1String(text.contains(kMissingIn) ? "in" : "out"); });
        if (event == QLatin1String("ringing"))
            actions.incomingRinging(QStringLiteral("201"));
        else if (event == QLatin1String("answered"))
            actions.incomingAnswered(QStringLiteral("201"));
        else
            actions.outgoing(QStringLiteral("201"));
        QCOMPARE(ran, expected);
    }

    // The number reaches the program as one literal argument, behind the
    // script (through an interpreter) or the argument text (the program itself).
    void argumentsReachProgramLiterally_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("arrives"); // null: the program is not started
        const QString shell = QStringLiteral("1; $(touch pwned) `touch pwned` ' | touch pwned *");
        QTest::newRow("shell text") << shell << shell;
        QTest::newRow("control characters stripped") << "12\r\n3\x1b[2J\t4" << QStringLiteral("123[2J4");
        // The program would take these for its options.
        QTest::newRow("leading dash") << "-rf" << QString();
    }

    void argumentsReachProgramLiterally()
    {
        QFETCH(QString, number);
        QFETCH(QString, arrives);
        QFile::remove(QDir::current().filePath(QStringLiteral("pwned")));
        CallActionSettings viaShell;
        viaShell.actIn = true;
        viaShell.appIn = QStringLiteral("/bin/sh");
        viaShell.scrIn = m_recorder;
        CallActionSettings direct = viaShell;
        direct.appIn = m_recorder;
        direct.scrIn = QStringLiteral("--mode caller lookup");
        if (arrives.isNull()) {
            // Refused with a logged warning and one report, however often it comes.
            for (int i = 0; i < 4; ++i)
                QTest::ignoreMessage(
                    QtWarningMsg, QRegularExpression(QStringLiteral("not started: the number begins")));
            QCOMPARE(record(viaShell, number), QStringList { "failed 1 time(s), 0" });
            QCOMPARE(record(direct, number), QStringList { "failed 1 time(s), 0" });
            return;
        }
        QCOMPARE(record(viaShell, number), QStringList({ m_recorder, arrives }));
        QCOMPARE(record(direct, number), QStringList({ m_recorder, direct.scrIn, arrives }));
        QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("pwned"))));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("pwned"))));
    }

    void crmAddress_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QByteArray>("address");
        const QString base = QStringLiteral("http://crm.example.com/lookup?phone=");
        QTest::newRow("query field, fragment") << base << "1&admin=1#2" << QByteArray("1%26admin%3D1%232");
        QTest::newRow("control characters") << base << "12\r\nSet-Cookie: x" << QByteArray("12Set-Cookie%3A%20x");
    }

    void crmAddress()
    {
        QFETCH(QString, base);
        QFETCH(QString, number);
        QFETCH(QByteArray, address);
        CallActionSettings settings;
        settings.actCrm = true;
        settings.crmUrl = base;
        CallActions actions;
        actions.setSettings(settings);
        QList<QByteArray> opened;
        actions.setUrlOpener([&opened](const QUrl &url) {
            opened << url.toEncoded();
            return true;
        });
        actions.incomingAnswered(number);
        QCOMPARE(opened, QList<QByteArray> { base.toUtf8() + address });
    }

    void failureReportedOnce()
    {
        CallActionSettings settings;
        settings.actIn = settings.actCrm = true;
        settings.appIn = kMissingIn;
        settings.crmUrl = QStringLiteral("http://crm.example.com/?n=");
        CallActions actions;
        actions.setSettings(settings);
        bool openerWorks = false;
        actions.setUrlOpener([&openerWorks](const QUrl &) { return openerWorks; });
        QSignalSpy spy(&actions, &CallActions::signalShowMessage);
        for (int i = 0; i < 3; ++i)
            actions.incomingAnswered(QStringLiteral("1"));
        QCOMPARE(spy.count(), 2); // the program once, the CRM address once
        QVERIFY(spy.at(0).at(0).toString().contains(kMissingIn));
        QCOMPARE(spy.at(0).at(1).value<TMessageType>(), MessageError);
        // Once the address opens again, a later failure is news.
        openerWorks = true;
        actions.incomingAnswered(QStringLiteral("4"));
        openerWorks = false;
        actions.incomingAnswered(QStringLiteral("5"));
        QCOMPARE(spy.count(), 3);
    }

private:
    // Runs the incoming action for one number; the arguments the recorder saw,
    // or, after a second run, how often the failure was reported.
    QStringList record(const CallActionSettings &settings, const QString &number)
    {
        QFile::remove(m_output);
        CallActions actions;
        actions.setSettings(settings);
        QSignalSpy failures(&actions, &CallActions::signalShowMessage);
        actions.incomingAnswered(number);
        if (!failures.isEmpty()) {
            actions.incomingAnswered(number);
            QTest::qWait(50); // no program may write its output meanwhile
            return { QStringLiteral("failed %1 time(s), %2").arg(failures.size()).arg(int(QFile::exists(m_output))) };
        }
        QFile file(m_output);
        if (!QTest::qWaitFor([this] { return QFile::exists(m_output); }, 5000) || !file.open(QIODevice::ReadOnly))
            return { QStringLiteral("no output") };
        QStringList args = QString::fromUtf8(file.readAll()).split(QChar(0));
        args.removeLast(); // after the last separator
        return args;
    }

    QTemporaryDir m_dir;
    QString m_recorder;
    QString m_output;
};

QTEST_GUILESS_MAIN(TestCallActions)
#include "tst_callactions.moc"
