// The call-forward dialog a tile opens: its heading, the texts of Ok by
// forward type, the refusal, the ways to cancel, and its tile going away.

#include <QAction>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "PhoneFixture.h"
#include "extensions/DialogEnableCf.h"
#include "extensions/QuorAgent.h"
#include "extensions/RefusalBox.h"
#include "softphone/TQuorPhone.h"

class TestDialogEnableCf : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ok_data();
    void ok();
    void cancel_data();
    void cancel();
    void tileRemoved_data();
    void tileRemoved();

private:
    // Opens the dialog the way the tile's Forward menu action does.
    DialogEnableCf *open();
    QStringList sent() const;
    void recordBoxes();

    std::unique_ptr<PhoneFixture> m_fixture;
    std::unique_ptr<QSignalSpy> m_commands;
    QPointer<QuorAgent> m_tile;
    QList<Channel *> m_channels;
    QStringList m_boxes;
};

void TestDialogEnableCf::initTestCase()
{
    m_fixture = std::make_unique<PhoneFixture>();
    QVERIFY(m_fixture->start());
    recordBoxes();
}

void TestDialogEnableCf::recordBoxes()
{
    RefusalBox::setHandler([this](QWidget *parent, const QString &title, const QString &text) {
        QVERIFY(qobject_cast<DialogEnableCf *>(parent));
        m_boxes << title + QLatin1Char('|') + text;
    });
}

void TestDialogEnableCf::init()
{
    m_tile = new QuorAgent(m_fixture->phone(), QStringLiteral("101"), &m_channels, QStringLiteral("SIP"));
    m_tile->addFwdFamilies(QStringLiteral("CF"), QStringLiteral("CFB"), QStringLiteral("CFU"));
    m_tile->setIdle();
    // Forward last held on no answer: the dialog still starts on "All".
    m_tile->setFwdState(false, QStringLiteral("300"), QStringLiteral("CFU"));
    m_commands = std::make_unique<QSignalSpy>(m_fixture->phone(), &TQuorPhone::signalExtCmd);
    m_boxes.clear();
}

void TestDialogEnableCf::cleanup()
{
    delete m_tile.data();
}

DialogEnableCf *TestDialogEnableCf::open()
{
    m_tile->actionFwd->trigger();
    DialogEnableCf *dialog = m_tile->cfDialog;
    if (dialog)
        dialog->activateWindow();
    return dialog;
}

QStringList TestDialogEnableCf::sent() const
{
    QStringList texts;
    for (const QList<QVariant> &args : std::as_const(*m_commands))
        texts << args.at(0).toString();
    return texts;
}

void TestDialogEnableCf::ok_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("family"); // empty: refused

    QTest::newRow("all calls, whatever the tile passed") << -1 << "200"
                                                         << "CF";
    QTest::newRow("busy") << 1 << "200"
                          << "CFB";
    QTest::newRow("no answer") << 2 << "200"
                               << "CFU";
    QTest::newRow("blanks sent as typed") << -1 << "  "
                                          << "CF";
    QTest::newRow("line breaks removed") << -1 << "200\r\nAction: Originate"
                                         << "CF";
    QTest::newRow("empty refused") << -1 << ""
                                   << "";
    QTest::newRow("line breaks only refused") << 1 << "\r\n"
                                              << "";
}

void TestDialogEnableCf::ok()
{
    QFETCH(int, type);
    QFETCH(QString, number);
    QFETCH(QString, family);

    QPointer<DialogEnableCf> dialog = open();
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Enable Call Forwarding"));
    QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog->labelWarning->text(),
        QStringLiteral("Enable Forwarding for user <b>101</b><br>Please fill the Forwarding type <br>and the "
                       "Destination Number."));
    QVERIFY(dialog->Edit_fwd->text().isEmpty());
    if (type >= 0) {
        dialog->comboFwdFamily->setCurrentIndex(type);
        emit dialog->comboFwdFamily->activated(type);
    }
    dialog->Edit_fwd->setText(number);
    dialog->buttonBox->button(QDialogButtonBox::Ok)->click();

    if (family.isEmpty()) {
        QCOMPARE(m_boxes,
            QStringList { QStringLiteral("Call Forwarding|Call Forwarding:\nPlease fill the Destination Number.") });
        QVERIFY(sent().isEmpty());
        QVERIFY(dialog->isVisible());
        QVERIFY(!m_tile->actionFwd->isChecked());
        return;
    }
    const QString safe = QString(number).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    QCOMPARE(sent(),
        (QStringList { QStringLiteral("Action: command\r\nCommand: database put %1 101 %2\r\n\r\n").arg(family, safe),
            QStringLiteral("Action: UserEvent\r\nAct: %1\r\nUser: 101\r\n\r\n").arg(family) }));
    QVERIFY(m_boxes.isEmpty());
    QTRY_VERIFY(dialog.isNull());
}

void TestDialogEnableCf::cancel_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << "cancel";
    QTest::newRow("escape") << "escape";
    QTest::newRow("close control") << "close";
}

void TestDialogEnableCf::cancel()
{
    QFETCH(QString, how);
    QPointer<DialogEnableCf> dialog = open();
    QVERIFY(dialog);
    QVERIFY(m_tile->actionFwd->isChecked()); // by the click that opened it
    dialog->Edit_fwd->setText(QStringLiteral("200"));
    if (how == QLatin1String("cancel"))
        dialog->buttonBox->button(QDialogButtonBox::Cancel)->click();
    else if (how == QLatin1String("escape"))
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();
    QVERIFY(sent().isEmpty());
    QVERIFY(!m_tile->actionFwd->isChecked());
    QTRY_VERIFY(dialog.isNull());
}

void TestDialogEnableCf::tileRemoved_data()
{
    QTest::addColumn<bool>("duringRefusal");
    QTest::newRow("while open") << false;
    QTest::newRow("during the refusal box") << true;
}

void TestDialogEnableCf::tileRemoved()
{
    QFETCH(bool, duringRefusal);
    QPointer<DialogEnableCf> dialog = open();
    QVERIFY(dialog);
    if (duringRefusal) {
        RefusalBox::setHandler([this](QWidget *, const QString &, const QString &) { delete m_tile.data(); });
        dialog->buttonBox->button(QDialogButtonBox::Ok)->click();
        recordBoxes();
        QVERIFY(dialog); // not under the box that is still closing
    } else {
        delete m_tile.data();
    }
    QVERIFY(!dialog || dialog->isHidden());
    QTRY_VERIFY(dialog.isNull());
    QVERIFY(sent().isEmpty());
}

QTEST_MAIN(TestDialogEnableCf)
#include "tst_dialogenablecf.moc"
