// The call-forward dialog a tile opens: its heading, Ok by forward type, the
// refusal, the ways to cancel, and its tile going away.

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
    void cleanup() { delete m_tile.data(); }
    void ok_data();
    void ok();
    void cancelAndTileRemoved_data();
    void cancelAndTileRemoved();

private:
    void recordBoxes();

    std::unique_ptr<PhoneFixture> m_fixture;
    std::unique_ptr<QSignalSpy> m_commands;
    QPointer<QuorAgent> m_tile;
    QPointer<DialogEnableCf> m_dialog;
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
        QCOMPARE(parent, m_dialog.data());
        m_boxes << title + QLatin1Char('|') + text;
    });
}

void TestDialogEnableCf::init()
{
    m_tile = new QuorAgent(m_fixture->phone(), QStringLiteral("101"), &m_channels, QStringLiteral("SIP"));
    m_tile->addFwdFamilies(QStringLiteral("CF"), QStringLiteral("CFB"), QStringLiteral("CFU"));
    m_tile->setIdle();
    // Forward last held on no answer: the dialog starts on "All" all the same.
    m_tile->setFwdState(false, QStringLiteral("300"), QStringLiteral("CFU"));
    m_commands = std::make_unique<QSignalSpy>(m_fixture->phone(), &TQuorPhone::signalExtCmd);
    m_boxes.clear();
    m_tile->actionFwd->trigger();
    m_dialog = m_tile->cfDialog;
    QVERIFY(m_dialog && m_dialog->isVisible());
    QVERIFY(m_tile->actionFwd->isChecked()); // by the click that opened it
}

void TestDialogEnableCf::ok_data()
{
    QTest::addColumn<int>("type"); // chosen in the combo; -1 none
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("family"); // empty: refused
    QTest::newRow("all calls, whatever the tile passed") << -1 << "200" << "CF";
    QTest::newRow("busy") << 1 << "200" << "CFB";
    QTest::newRow("no answer") << 2 << "200" << "CFU";
    QTest::newRow("blanks sent as typed") << -1 << "  " << "CF";
    QTest::newRow("line breaks removed") << -1 << "200\r\nAction: Originate" << "CF";
    QTest::newRow("empty refused") << -1 << "" << "";
    QTest::newRow("line breaks only refused") << 1 << "\r\n" << "";
}

void TestDialogEnableCf::ok()
{
    QFETCH(int, type);
    QFETCH(QString, number);
    QFETCH(QString, family);

    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Enable Call Forwarding"));
    QCOMPARE(m_dialog->windowModality(), Qt::ApplicationModal);
    QCOMPARE(m_dialog->labelWarning->text(), QStringLiteral("Enable Forwarding for user <b>101</b><br>Please fill the "
                                                            "Forwarding type <br>and the Destination Number."));
    QVERIFY(m_dialog->Edit_fwd->text().isEmpty());
    if (type >= 0) {
        m_dialog->comboFwdFamily->setCurrentIndex(type);
        emit m_dialog->comboFwdFamily->activated(type);
    }
    m_dialog->Edit_fwd->setText(number);
    m_dialog->buttonBox->button(QDialogButtonBox::Ok)->click();
    if (family.isEmpty()) {
        QCOMPARE(m_boxes, QStringList { "Call Forwarding|Call Forwarding:\nPlease fill the Destination Number." });
        QVERIFY(m_commands->isEmpty());
        QVERIFY(m_dialog->isVisible());
        QVERIFY(!m_tile->actionFwd->isChecked());
        return;
    }
    const QString safe = QString(number).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    QCOMPARE(m_commands->size(), 2);
    QCOMPARE(m_commands->at(0).at(0).toString(),
        QStringLiteral("Action: command\r\nCommand: database put %1 101 %2\r\n\r\n").arg(family, safe));
    QCOMPARE(m_commands->at(1).at(0).toString(),
        QStringLiteral("Action: UserEvent\r\nAct: %1\r\nUser: 101\r\n\r\n").arg(family));
    QTRY_VERIFY(m_dialog.isNull());
}

void TestDialogEnableCf::cancelAndTileRemoved_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << "cancel";
    QTest::newRow("escape") << "escape";
    QTest::newRow("close control") << "close";
    QTest::newRow("tile removed") << "removed";
    QTest::newRow("tile removed under the refusal box") << "removed under box";
}

void TestDialogEnableCf::cancelAndTileRemoved()
{
    QFETCH(QString, how);
    m_dialog->Edit_fwd->setText(how.endsWith(QLatin1String("box")) ? QString() : QStringLiteral("200"));
    if (how == QLatin1String("cancel")) {
        m_dialog->buttonBox->button(QDialogButtonBox::Cancel)->click();
    } else if (how == QLatin1String("escape")) {
        QTest::keyClick(m_dialog, Qt::Key_Escape);
    } else if (how == QLatin1String("close")) {
        m_dialog->close();
    } else if (how == QLatin1String("removed")) {
        delete m_tile.data();
    } else {
        RefusalBox::setHandler([this](QWidget *, const QString &, const QString &) { delete m_tile.data(); });
        m_dialog->buttonBox->button(QDialogButtonBox::Ok)->click();
        recordBoxes();
        QVERIFY(m_dialog); // not under the box that is still closing
    }
    QVERIFY(!m_dialog || m_dialog->isHidden());
    QVERIFY(!m_tile || !m_tile->actionFwd->isChecked());
    QVERIFY(m_commands->isEmpty());
    QTRY_VERIFY(m_dialog.isNull());
}

QTEST_MAIN(TestDialogEnableCf)
#include "tst_dialogenablecf.moc"
