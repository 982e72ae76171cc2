#include "ManagerFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include "core/Logger.h"
#include "core/Paths.h"
#include "core/XmlReader.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

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

void ManagerFixture::writeKeys(const Keys &keys)
{
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    for (const auto &k : keys) {
        const QString section = k.first.section(QLatin1Char('/'), 0, 0);
        const QString key = k.first.section(QLatin1Char('/'), 1);
        xml.addValue(key, k.second, section);
        xml.setValue(key, k.second, section);
    }
    QVERIFY(xml.save());
}

void ManagerFixture::start(const Keys &keys)
{
    writeKeys(Keys { { QStringLiteral("manager/use_phone_ip"), QStringLiteral("no") },
                  { QStringLiteral("manager/server"), QStringLiteral("127.0.0.1") },
                  { QStringLiteral("manager/port"), QString::number(ami.port()) } }
        + keys);
    settings = std::make_unique<TQuorSettings>();
    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.clickToDialPort = -1;
    phone = std::make_unique<TQuorPhone>(settings.get(), options);
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
