#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/CPushButton.h"
#include "softphone/PhoneMessages.h"
#include "softphone/TquorAui.h"
#include "testsupport/TestDataDir.h"
#include "ui_QuorPhoneBase.h"

class TestPhoneForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namedWidgetsExist_data();
    void namedWidgetsExist();
    void pagesShareThePanel();
    void everythingFitsItsParent();
    void imagesExist();
    void screenshots();

private:
    QWidget m_window;
    Ui::QuorPhoneBase m_ui;
};

void TestPhoneForm::initTestCase()
{
    m_ui.setupUi(&m_window);
    QCOMPARE(m_window.size(), QSize(302, 552));
}

void TestPhoneForm::namedWidgetsExist_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");

    const char *labels[] = { "labelAsterisk", "labelExtN", "labelExAvailN", "labelAcCallsN", "labelMesNum",
        "labelAlogin", "labelAgent", "labelMessage", "labelIaxLamp", "labelManagerLamp", "labelDndLamp", "labelFwdLamp",
        "labelVoiceMail", "labelCaption" };
    for (const char *name : labels)
        QTest::newRow(name) << QString::fromLatin1(name) << QStringLiteral("QLabel");
    const char *frames[] = { "frameActivity", "frameKeypad", "frameMissed", "frameDialed", "frameAnswered",
        "frameMessages", "frameContacts", "frameSettings", "framePanel" };
    for (const char *name : frames)
        QTest::newRow(name) << QString::fromLatin1(name) << QStringLiteral("QFrame");
    const char *buttons[] = { "buttonCall", "buttonHangup", "buttonHold", "buttonTransfer", "buttonMute",
        "buttonVolume", "buttonKeyStar", "buttonKeyHash", "buttonBackspace", "buttonActivity", "buttonKeypad",
        "buttonMissed", "buttonDialed", "buttonAnswered", "buttonMessages", "buttonContacts", "buttonSettings",
        "buttonVoicemail", "buttonAgent" };
    for (const char *name : buttons)
        QTest::newRow(name) << QString::fromLatin1(name) << QStringLiteral("QPushButton");
    for (int digit = 0; digit <= 9; ++digit) {
        const QString name = QStringLiteral("buttonKey%1").arg(digit);
        QTest::newRow(qPrintable(name)) << name << QStringLiteral("QPushButton");
    }
    QTest::newRow("editDial") << QStringLiteral("editDial") << QStringLiteral("QLineEdit");
}

void TestPhoneForm::namedWidgetsExist()
{
    QFETCH(QString, name);
    QFETCH(QString, className);

    const QList<QWidget *> found = m_window.findChildren<QWidget *>(name);
    QCOMPARE(found.size(), 1);
    QVERIFY2(found.first()->inherits(className.toLatin1().constData()), found.first()->metaObject()->className());
}

void TestPhoneForm::pagesShareThePanel()
{
    // The settings dialog is re-parented into the panel at (0, 0) at its full size.
    QCOMPARE(m_ui.framePanel->size(), QSize(170, 415));
    QCOMPARE(m_ui.frameSettings->parentWidget(), m_ui.framePanel);
    QCOMPARE(m_ui.frameSettings->geometry(), QRect(0, 0, 170, 415));
    const QList<QFrame *> pages { m_ui.frameActivity, m_ui.frameKeypad, m_ui.frameMissed, m_ui.frameDialed,
        m_ui.frameAnswered, m_ui.frameMessages, m_ui.frameContacts };
    for (QFrame *page : pages) {
        QCOMPARE(page->parentWidget(), m_ui.framePanel);
        QCOMPARE(page->geometry(), m_ui.frameActivity->geometry());
    }
    QCOMPARE(m_ui.editDial->parentWidget(), m_ui.frameKeypad);
}

void TestPhoneForm::everythingFitsItsParent()
{
    const QList<QWidget *> widgets = m_window.findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        if (!w->parentWidget() || w->isWindow())
            continue;
        QVERIFY2(w->parentWidget()->rect().contains(w->geometry()),
            qPrintable(w->objectName() + QLatin1String(" sticks out of ") + w->parentWidget()->objectName()));
    }
    // Nothing on top of the call buttons but the message line above them.
    const QList<QPushButton *> controls { m_ui.buttonCall, m_ui.buttonHangup, m_ui.buttonHold, m_ui.buttonTransfer,
        m_ui.buttonMute, m_ui.buttonVolume };
    for (QPushButton *a : controls) {
        QVERIFY(!a->geometry().intersects(m_ui.labelMessage->geometry()));
        QVERIFY(!a->geometry().intersects(m_ui.framePanel->geometry()));
        for (QPushButton *b : controls)
            QVERIFY(a == b || !a->geometry().intersects(b->geometry()));
    }
}

void TestPhoneForm::imagesExist()
{
    // Icons the phone swaps in later, hover variants of the icon-only buttons.
    const QStringList extra { QStringLiteral("phone_mute_on"), QStringLiteral("phone_lamp_green"),
        QStringLiteral("phone_lamp_red"), QStringLiteral("phone_lamp_orange"), QStringLiteral("phone_agent_in"),
        QStringLiteral("phone_agent_paused") };
    for (const QString &name : extra)
        QVERIFY2(QFile::exists(QStringLiteral(":/ui/images/%1.png").arg(name)), qPrintable(name));

    int iconButtons = 0;
    const QList<QPushButton *> buttons = m_window.findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        QVERIFY2(!button->icon().isNull(), qPrintable(button->objectName()));
        if (!button->isFlat())
            continue;
        ++iconButtons;
        // The icon-only buttons become CPushButtons with a hover picture.
        const QList<QSize> sizes = button->icon().availableSizes();
        QVERIFY2(!sizes.isEmpty(), qPrintable(button->objectName()));
        QVERIFY2(sizes.first() == button->iconSize() || button->objectName() == QLatin1String("buttonBackspace"),
            qPrintable(button->objectName()));
    }
    QCOMPARE(iconButtons, 6 + 12 + 1);
    const QDir images(QStringLiteral(":/ui/images"));
    const QStringList names = images.entryList({ QStringLiteral("phone_*.png") });
    for (const QString &name : names) {
        if (name.endsWith(QLatin1String("_h.png")))
            QVERIFY2(names.contains(name.left(name.size() - 6) + QLatin1String(".png")), qPrintable(name));
    }
    for (const QString &stem : { QStringLiteral("phone_call"), QStringLiteral("phone_key_star"),
             QStringLiteral("phone_backspace"), QStringLiteral("phone_mute_on") }) {
        QVERIFY2(names.contains(CPushButton::hoverName(stem + QLatin1String(".png"))), qPrintable(stem));
    }
    const QList<QLabel *> labels = m_window.findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->text().isEmpty() && label != m_ui.labelMessage)
            QVERIFY2(!label->pixmap().isNull(), qPrintable(label->objectName()));
    }
}

void TestPhoneForm::screenshots()
{
    // A phone in use, to look at: keypad with a number, lamps lit, a message.
    const QString dir = QCoreApplication::applicationDirPath();
    m_ui.labelAsterisk->setText(QStringLiteral("Asterisk 1.6.2.24"));
    m_ui.labelIaxLamp->setPixmap(QPixmap(QStringLiteral(":/ui/images/phone_lamp_green.png")));
    m_ui.labelManagerLamp->setPixmap(QPixmap(QStringLiteral(":/ui/images/phone_lamp_green.png")));
    m_ui.labelFwdLamp->setPixmap(QPixmap(QStringLiteral(":/ui/images/phone_lamp_orange.png")));
    m_ui.labelAlogin->setPixmap(QPixmap(QStringLiteral(":/ui/images/phone_agent_in.png")));
    m_ui.labelMesNum->setText(QStringLiteral("3"));
    m_ui.labelExtN->setText(QStringLiteral("42"));
    m_ui.labelExAvailN->setText(QStringLiteral("37"));
    m_ui.labelAcCallsN->setText(QStringLiteral("2"));
    m_ui.labelMessage->setStyleSheet(PhoneMessages::styleSheet(MessageStatus));
    m_ui.labelMessage->setText(QStringLiteral("Registered as 2001"));
    m_ui.labelCaption->setText(QStringLiteral("Keypad"));
    m_ui.buttonKeypad->setChecked(true);
    m_ui.editDial->setText(QStringLiteral("+4930123456"));
    const QList<QFrame *> others { m_ui.frameActivity, m_ui.frameMissed, m_ui.frameDialed, m_ui.frameAnswered,
        m_ui.frameMessages, m_ui.frameContacts, m_ui.frameSettings };
    for (QFrame *page : others)
        page->hide();
    m_window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    const QString keypad = dir + QLatin1String("/phoneform-keypad.png");
    QVERIFY(m_window.grab().save(keypad));

    // The activity page with the volume popup over it and a warning.
    TestDataDir data;
    m_ui.frameKeypad->hide();
    m_ui.frameActivity->show();
    m_ui.buttonActivity->setChecked(true);
    m_ui.buttonKeypad->setChecked(false);
    m_ui.labelCaption->setText(QStringLiteral("Activity"));
    m_ui.labelMessage->setStyleSheet(PhoneMessages::styleSheet(MessageWarning));
    m_ui.labelMessage->setText(QStringLiteral("Unable to transfer the call"));
    TquorAui volume(m_ui.framePanel);
    volume.move(0, m_ui.framePanel->height() - volume.height());
    volume.setMeterLevels(0.45, 0.7);
    volume.show();
    const QString activity = dir + QLatin1String("/phoneform-activity.png");
    QVERIFY(m_window.grab().save(activity));
    qInfo("Screenshots: %s %s", qPrintable(keypad), qPrintable(activity));
}

QTEST_MAIN(TestPhoneForm)
#include "tst_phoneform.moc"
