#pragma once

#include <QTest>

#include <memory>

#include "core/TQuorTable.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/LoopbackPhone.h"
#include "testsupport/SettingsFile.h"
#include "testsupport/TestDataDir.h"

// A data directory, the loopback fake PBX with one user, and the phone built
// on a settings file that holds that user's account.
class PhoneFixture
{
protected:
    const QString kUser = QStringLiteral("201");
    const QString kSecret = QStringLiteral("s3cret");

    void startPbx()
    {
        m_data = std::make_unique<TestDataDir>();
        m_pbx = std::make_unique<FakePbx>();
        m_pbx->addUser(kUser, kSecret);
    }

    // Without the account the settings file is left as it is and nothing registers.
    void startPhone(const SettingKeys &keys, const TQuorPhone::Options &options, bool account = true)
    {
        if (account) {
            QVERIFY(writeSettingKeys(
                SettingKeys { { "agent/server", "127.0.0.1" }, { "agent/port", QString::number(m_pbx->port()) },
                    { "agent/uname", kUser }, { "agent/passwd", TQuorSettings::scramblePassword(kSecret) } }
                + keys));
        }
        m_settings = std::make_unique<TQuorSettings>();
        m_phone = std::make_unique<TQuorPhone>(m_settings.get(), options);
        m_phone->setExitFunction([this](int status) { m_exits.append(status); });
        QVERIFY(m_phone->voip()->isOpen());
        if (account)
            QTRY_COMPARE_WITH_TIMEOUT(m_phone->voip()->account().registrationState(), TVoipAccount::Registered, 5000);
    }

    void stopPhone()
    {
        m_phone.reset();
        m_settings.reset();
        m_pbx.reset();
        m_data.reset();
        m_exits.clear();
    }

    QString lastMessage() const
    {
        const QList<TQuorTableRow *> list = m_phone->messagesTable()->rows();
        return list.isEmpty() ? QString() : list.first()->text();
    }

    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<FakePbx> m_pbx;
    std::unique_ptr<TQuorSettings> m_settings;
    std::unique_ptr<TQuorPhone> m_phone;
    QList<int> m_exits;
};
