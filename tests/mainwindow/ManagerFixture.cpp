#include "ManagerFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include "core/Logger.h"
#include "core/Paths.h"
#include "ami/ManagerSocket.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/LoopbackPhone.h"

ManagerFixture::ManagerFixture()
{
    // The shipped files (the administrator password among them) lie beside
    // the binary; the data directory is the fixture's own.
    const QString dataDir = Paths::dataDir();
    Paths::init();
    Paths::setDataDir(dataDir);
    Logger::setProgramLog(QStringLiteral("quorer.log"));
    BoxRunner::set([this](QMessageBox *box) { boxes << box->text(); });
    TQuorSettings::setErrorBoxHandler([this](const QString &, const QString &text) { boxes << text; });
    ami.listen();
}

ManagerFixture::~ManagerFixture()
{
    manager.reset();
    phone.reset();
    settings.reset();
    BoxRunner::set({});
    TQuorSettings::setErrorBoxHandler({});
}

void ManagerFixture::start(const Keys &keys)
{
    QVERIFY(writeSettingKeys(Keys { { QStringLiteral("manager/use_phone_ip"), QStringLiteral("no") },
                                 { QStringLiteral("manager/server"), QStringLiteral("127.0.0.1") },
                                 { QStringLiteral("manager/port"), QString::number(ami.port()) } }
        + keys));
    settings = std::make_unique<TQuorSettings>();
    phone = std::make_unique<TQuorPhone>(settings.get(), loopbackPhoneOptions());
    phone->setExitFunction([this](int status) { exits << status; });
    manager = std::make_unique<TQuorManager>(phone.get(), settings.get());
}

void ManagerFixture::applyManagerPage(const QString &widget, const QString &value)
{
    settings->buttonAdmin->click();
    settings->editLockPassword->setText(QStringLiteral("fendro"));
    settings->settingsApply();
    settings->buttonManager->click();
    if (auto *edit = settings->findChild<QLineEdit *>(widget))
        edit->setText(value);
    else if (auto *box = settings->findChild<QCheckBox *>(widget))
        box->setChecked(value == QLatin1String("yes"));
    settings->settingsApply();
}

bool ManagerFixture::waitLoggedIn(int timeoutMs)
{
    return QTest::qWaitFor([this] { return manager->isLoggedIn(); }, timeoutMs);
}

QStringList ManagerFixture::actionIds() const
{
    QStringList ids;
    for (const QStringList &action : ami.actions())
        ids << FakeAmiServer::valueOf(action, QStringLiteral("ActionID"));
    return ids;
}

int ManagerFixture::countId(const QString &id) const
{
    return int(actionIds().count(id));
}

void ManagerFixture::answerAsPbx()
{
    ami.answerPings();
    for (const char *action : { "Login", "Command", "SIPShowPeer", "MailBoxCount", "DBGet", "QueueStatus" })
        ami.addResponder(QLatin1String(action), [this](const QStringList &a) { return pbx.answer(a); });
}

void ManagerFixture::sync()
{
    if (!m_sync)
        m_sync = std::make_unique<AmiSync>(manager->socket());
    if (!m_sync->sync())
        qWarning("ManagerFixture: no answer to a sync");
}

bool ManagerFixture::settle()
{
    if (!waitLoggedIn())
        return false;
    // Each answer may ask for more; done when a round trip brings nothing new.
    qsizetype before = -1;
    while (before != ami.actions().size()) {
        before = ami.actions().size();
        sync();
        ++before;
    }
    return true;
}

void ManagerFixture::push(const QStringList &event)
{
    ami.sendMessage(event);
    sync();
}

QStringList ManagerFixture::takeSent()
{
    QStringList texts;
    const QList<QStringList> actions = ami.actions();
    for (qsizetype i = m_sentCount; i < actions.size(); ++i) {
        if (FakeAmiServer::valueOf(actions.at(i), QStringLiteral("Action")) != QLatin1String("Ping"))
            texts << actions.at(i).join(QLatin1String("\r\n")) + QLatin1String("\r\n\r\n");
    }
    m_sentCount = actions.size();
    return texts;
}
