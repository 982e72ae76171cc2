#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "softphone/CallActions.h"

Q_DECLARE_METATYPE(CallActionSettings)

namespace {

const QString kMissingIn = QStringLiteral("/nonexistent/quor-test/incoming-app");
const QString kMissingOut = QStringLiteral("/nonexistent/quor-test/outgoing-app");

} // namespace

class TestCallActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void whichActionRuns_data();
    void whichActionRuns();
    void argumentsReachProgramLiterally_data();
    void argumentsReachProgramLiterally();
    void crmAddress_data();
    void crmAddress();
    void failureReportedOnce();

private:
    // Runs the incoming action for one number twice; returns the arguments the
    // recorder saw, or the one failure report.
    QStringList record(const CallActionSettings &settings, const QString &number);

    QTemporaryDir m_dir;
    QString m_recorder;
    QString m_output;
};

void TestCallActions::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_output = m_dir.filePath(QStringLiteral("args"));
    m_recorder = m_dir.filePath(QStringLiteral("recorder.sh"));
    // Writes its arguments NUL-separated and moves the file into place, so the
    // test never reads half of it.
    QFile script(m_recorder);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done > '" + m_output.toUtf8()
        + ".tmp'\nmv '" + m_output.toUtf8() + ".tmp' '" + m_output.toUtf8() + "'\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
}

QStringList TestCallActions::record(const CallActionSettings &settings, const QString &number)
{
    QFile::remove(m_output);
    CallActions actions;
    actions.setSettings(settings);
    QSignalSpy failures(&actions, &CallActions::signalShowMessage);
    actions.incomingAnswered(number);
    if (!failures.isEmpty()) {
        actions.incomingAnswered(number);
        QTest::qWait(50);
        return { QStringLiteral("failed %1 time(s), %2").arg(failures.size()).arg(int(QFile::exists(m_output))) };
    }
    if (!QTest::qWaitFor([this] { return QFile::exists(m_output); }, 5000))
        return { QStringLiteral("no output") };
    QFile file(m_output);
    if (!file.open(QIODevice::ReadOnly))
        return { QStringLiteral("unreadable output") };
    QStringList args = QString::fromUtf8(file.readAll()).split(QChar(0));
    args.removeLast(); // after the last separator
    return args;
}

void TestCallActions::whichActionRuns_data()
{
    QTest::addColumn<CallActionSettings>("settings");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QStringList>("expected");

    CallActionSettings all;
    all.actIn = all.actCrm = all.actOut = true;
    all.appIn = kMissingIn;
    all.appOut = kMissingOut;
    all.crmUrl = QStringLiteral("http://crm.invalid/?n=");
    CallActionSettings before = all;
    before.actA1 = true;
    CallActionSettings crmOnly = all;
    crmOnly.actIn = crmOnly.actOut = false;
    CallActionSettings none = before;
    none.actIn = none.actCrm = none.actOut = false;

    const QStringList inCrm { QStringLiteral("in"), QStringLiteral("crm") };
    QTest::newRow("ringing, run on answer") << all << "ringing" << QStringList();
    QTest::newRow("answered, run on answer") << all << "answered" << inCrm;
    QTest::newRow("ringing, run before answer") << before << "ringing" << inCrm;
    QTest::newRow("answered, ran before answer") << before << "answered" << QStringList();
    QTest::newRow("outgoing") << before << "outgoing" << QStringList { QStringLiteral("out") };
    QTest::newRow("crm only") << crmOnly << "answered" << QStringList { QStringLiteral("crm") };
    QTest::newRow("all off") << none << "ringing" << QStringList();
}

void TestCallActions::whichActionRuns()
{
    QFETCH(CallActionSettings, settings);
    QFETCH(QString, event);
    QFETCH(QStringList, expected);

    // The programs do not exist, so each one that runs reports itself at once.
    CallActions actions;
    actions.setSettings(settings);
    QStringList ran;
    actions.setUrlOpener([&ran](const QUrl &) {
        ran << QStringLiteral("crm");
        return true;
    });
    connect(&actions, &CallActions::signalShowMessage, this, [&ran](const QString &text, TMessageType) {
        ran << (text.contains(kMissingIn) ? QStringLiteral("in") : QStringLiteral("out"));
    });
    if (event == QLatin1String("ringing"))
        actions.incomingRinging(QStringLiteral("201"));
    else if (event == QLatin1String("answered"))
        actions.incomingAnswered(QStringLiteral("201"));
    else
        actions.outgoing(QStringLiteral("201"));
    QCOMPARE(ran, expected);
}

void TestCallActions::argumentsReachProgramLiterally_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("arrives"); // null: the program is not started

    QTest::newRow("plain") << "2001"
                           << "2001";
    QTest::newRow("shell text") << "1; $(touch pwned) `touch pwned` ' | touch pwned *"
                                << "1; $(touch pwned) `touch pwned` ' | touch pwned *";
    QTest::newRow("control characters stripped") << "12\r\n3\x1b[2J\t4"
                                                 << "123[2J4";
    QTest::newRow("empty caller id") << ""
                                     << "";
    // The program would take these for its options.
    QTest::newRow("leading dash") << "-rf" << QString();
    QTest::newRow("dash after blanks and controls") << " \x1b\r--help" << QString();
}

void TestCallActions::argumentsReachProgramLiterally()
{
    QFETCH(QString, number);
    QFETCH(QString, arrives);

    const QString pwned = QDir::current().filePath(QStringLiteral("pwned"));
    QFile::remove(pwned);
    // An interpreter with a script (the usual set-up), and the program itself
    // with an argument text that stays one argument.
    CallActionSettings viaShell;
    viaShell.actIn = true;
    viaShell.appIn = QStringLiteral("/bin/sh");
    viaShell.scrIn = m_recorder;
    CallActionSettings direct;
    direct.actIn = true;
    direct.appIn = m_recorder;
    direct.scrIn = QStringLiteral("--mode caller lookup");

    if (arrives.isNull()) {
        // Refused with a logged warning and one report, however often it comes.
        const QRegularExpression warning(QStringLiteral("not started: the number begins"));
        for (int i = 0; i < 4; ++i)
            QTest::ignoreMessage(QtWarningMsg, warning);
        const QStringList refused { QStringLiteral("failed 1 time(s), 0") };
        QCOMPARE(record(viaShell, number), refused);
        QCOMPARE(record(direct, number), refused);
        return;
    }
    QCOMPARE(record(viaShell, number), (QStringList { m_recorder, arrives }));
    QCOMPARE(record(direct, number), (QStringList { m_recorder, QStringLiteral("--mode caller lookup"), arrives }));
    QVERIFY(!QFile::exists(pwned));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("pwned"))));
}

void TestCallActions::crmAddress_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QByteArray>("address");

    const QString base = QStringLiteral("http://crm.example.com/lookup?phone=");
    QTest::newRow("plus and blank") << base << "+49 30 123"
                                    << QByteArray("http://crm.example.com/lookup?phone=%2B49%2030%20123");
    QTest::newRow("query field, fragment")
        << base << "1&admin=1#2" << QByteArray("http://crm.example.com/lookup?phone=1%26admin%3D1%232");
    QTest::newRow("path") << QStringLiteral("https://crm.example.com/caller/") << "../admin"
                          << QByteArray("https://crm.example.com/caller/..%2Fadmin");
    QTest::newRow("control characters") << base << "12\r\nSet-Cookie: x"
                                        << QByteArray("http://crm.example.com/lookup?phone=12Set-Cookie%3A%20x");
    QTest::newRow("non-ASCII name") << base << QStringLiteral("M\u00fcller")
                                    << QByteArray("http://crm.example.com/lookup?phone=M%C3%BCller");
}

void TestCallActions::crmAddress()
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
    QCOMPARE(opened, QList<QByteArray> { address });
}

void TestCallActions::failureReportedOnce()
{
    CallActionSettings settings;
    settings.actIn = true;
    settings.appIn = kMissingIn;
    settings.actCrm = true;
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

    // New settings: the same missing program is reported again; an address
    // without a scheme cannot be opened.
    settings.crmUrl = QStringLiteral("crm lookup");
    actions.setSettings(settings);
    openerWorks = true;
    actions.incomingAnswered(QStringLiteral("6"));
    QCOMPARE(spy.count(), 5);
}

QTEST_GUILESS_MAIN(TestCallActions)
#include "tst_callactions.moc"
