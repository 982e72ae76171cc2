#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "softphone/CallActions.h"

Q_DECLARE_METATYPE(CallActionSettings)

namespace {

const QString missingIn = QStringLiteral("/nonexistent/quor-test/incoming-app");
const QString missingOut = QStringLiteral("/nonexistent/quor-test/outgoing-app");

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
    // Starts the recorder for one number and returns the arguments it saw.
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
    script.write("#!/bin/sh\n"
                 "out='"
        + m_output.toUtf8()
        + "'\n"
          "for a in \"$0\" \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.tmp\"\n"
          "mv \"$out.tmp\" \"$out\"\n");
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
    if (!failures.isEmpty())
        return { QStringLiteral("failed: ") + failures.at(0).at(0).toString() };
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
    all.appIn = missingIn;
    all.scrIn = QStringLiteral("in.script");
    all.appOut = missingOut;
    all.scrOut = QStringLiteral("out.script");
    all.crmUrl = QStringLiteral("http://crm.invalid/?n=");
    CallActionSettings before = all;
    before.actA1 = true;
    CallActionSettings crmOnly = all;
    crmOnly.actIn = crmOnly.actOut = false;
    CallActionSettings none = all;
    none.actIn = none.actCrm = none.actOut = false;
    none.actA1 = true;

    const QStringList in_crm { QStringLiteral("in"), QStringLiteral("crm") };
    QTest::newRow("ringing, run on answer") << all << "ringing" << QStringList();
    QTest::newRow("answered, run on answer") << all << "answered" << in_crm;
    QTest::newRow("ringing, run before answer") << before << "ringing" << in_crm;
    QTest::newRow("answered, ran before answer") << before << "answered" << QStringList();
    QTest::newRow("outgoing") << all << "outgoing" << QStringList { QStringLiteral("out") };
    QTest::newRow("outgoing, before answer set") << before << "outgoing" << QStringList { QStringLiteral("out") };
    QTest::newRow("crm only") << crmOnly << "answered" << QStringList { QStringLiteral("crm") };
    QTest::newRow("crm only, outgoing") << crmOnly << "outgoing" << QStringList();
    QTest::newRow("all off, ringing") << none << "ringing" << QStringList();
    QTest::newRow("all off, outgoing") << none << "outgoing" << QStringList();
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
    connect(&actions, &CallActions::signalShowMessage, this, [&ran](const QString &text, TMessageType type) {
        QCOMPARE(type, MessageError);
        ran << (text.contains(missingIn) ? QStringLiteral("in") : QStringLiteral("out"));
    });
    const QString number = QStringLiteral("201");
    if (event == QLatin1String("ringing"))
        actions.incomingRinging(number);
    else if (event == QLatin1String("answered"))
        actions.incomingAnswered(number);
    else
        actions.outgoing(number);
    QCOMPARE(ran, expected);
}

void TestCallActions::argumentsReachProgramLiterally_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("arrives");

    QTest::newRow("plain") << "2001"
                           << "2001";
    QTest::newRow("command separator") << "123; touch pwned"
                                       << "123; touch pwned";
    QTest::newRow("command substitution") << "$(touch pwned)"
                                          << "$(touch pwned)";
    QTest::newRow("backticks") << "`touch pwned`"
                               << "`touch pwned`";
    QTest::newRow("quotes and pipe") << "1' | touch pwned '"
                                     << "1' | touch pwned '";
    QTest::newRow("glob") << "*"
                          << "*";
    QTest::newRow("control characters stripped") << "12\r\n3\x1b[2J\t4"
                                                 << "123[2J4";
    QTest::newRow("empty caller id") << ""
                                     << "";
}

void TestCallActions::argumentsReachProgramLiterally()
{
    QFETCH(QString, number);
    QFETCH(QString, arrives);

    const QString pwned = QDir::current().filePath(QStringLiteral("pwned"));
    QFile::remove(pwned);

    // An interpreter with a script, the usual set-up.
    CallActionSettings viaShell;
    viaShell.actIn = true;
    viaShell.appIn = QStringLiteral("/bin/sh");
    viaShell.scrIn = m_recorder;
    QCOMPARE(record(viaShell, number), (QStringList { m_recorder, arrives }));

    // The program itself, with an argument text that stays one argument.
    CallActionSettings direct;
    direct.actIn = true;
    direct.appIn = m_recorder;
    direct.scrIn = QStringLiteral("--mode caller lookup");
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
    QTest::newRow("digits") << base << "2001" << QByteArray("http://crm.example.com/lookup?phone=2001");
    QTest::newRow("plus and blank") << base << "+49 30 123"
                                    << QByteArray("http://crm.example.com/lookup?phone=%2B49%2030%20123");
    QTest::newRow("extra query field") << base << "1&admin=1"
                                       << QByteArray("http://crm.example.com/lookup?phone=1%26admin%3D1");
    QTest::newRow("fragment") << base << "#21" << QByteArray("http://crm.example.com/lookup?phone=%2321");
    QTest::newRow("star") << base << "*97" << QByteArray("http://crm.example.com/lookup?phone=%2A97");
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

    QCOMPARE(CallActions::crmAddress(base, number).toEncoded(), address);

    // The same address reaches the opener.
    CallActionSettings settings;
    settings.actCrm = true;
    settings.crmUrl = base;
    CallActions actions;
    actions.setSettings(settings);
    QList<QUrl> opened;
    actions.setUrlOpener([&opened](const QUrl &url) {
        opened << url;
        return true;
    });
    actions.incomingAnswered(number);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.at(0).toEncoded(), address);
}

void TestCallActions::failureReportedOnce()
{
    CallActionSettings settings;
    settings.actIn = true;
    settings.appIn = missingIn;
    settings.scrIn = QStringLiteral("script");
    settings.actCrm = true;
    settings.crmUrl = QStringLiteral("http://crm.example.com/?n=");
    CallActions actions;
    actions.setSettings(settings);
    bool openerWorks = false;
    actions.setUrlOpener([&openerWorks](const QUrl &) { return openerWorks; });
    QSignalSpy spy(&actions, &CallActions::signalShowMessage);

    actions.incomingAnswered(QStringLiteral("1"));
    actions.incomingAnswered(QStringLiteral("2"));
    actions.incomingAnswered(QStringLiteral("3"));
    QCOMPARE(spy.count(), 2); // the program once, the CRM address once
    QVERIFY(spy.at(0).at(0).toString().contains(missingIn));
    QCOMPARE(spy.at(0).at(1).value<TMessageType>(), MessageError);
    QVERIFY(spy.at(1).at(0).toString().contains(QLatin1String("CRM")));

    // Once the address opens again, a later failure is news.
    openerWorks = true;
    actions.incomingAnswered(QStringLiteral("4"));
    openerWorks = false;
    actions.incomingAnswered(QStringLiteral("5"));
    QCOMPARE(spy.count(), 3);

    // New settings: the same missing program is reported again.
    actions.setSettings(settings);
    actions.incomingAnswered(QStringLiteral("6"));
    QCOMPARE(spy.count(), 5);

    // An address without a scheme cannot be opened.
    settings.actIn = false;
    settings.crmUrl = QStringLiteral("crm lookup");
    actions.setSettings(settings);
    openerWorks = true;
    actions.incomingAnswered(QStringLiteral("7"));
    QCOMPARE(spy.count(), 6);
}

QTEST_GUILESS_MAIN(TestCallActions)
#include "tst_callactions.moc"
