#pragma once

#include <memory>

#include <QList>
#include <QString>
#include <QStringList>

class FakePbx;
class TestDataDir;
class TQuorCall;
class TQuorPhone;
class TQuorSettings;

// A phone window without a sound card whose engine talks to a fake PBX on
// loopback, registered as extension 201; for tests of the tiles that need the
// phone's calls.
class PhoneFixture
{
public:
    PhoneFixture();
    ~PhoneFixture();

    // Builds the settings and the phone and waits for the registration;
    // false when that did not happen.
    bool start();

    TQuorPhone *phone() const { return m_phone.get(); }
    FakePbx *pbx() const { return m_pbx.get(); }

    // An outgoing call to number, answered by the far end; nullptr on failure.
    TQuorCall *talkTo(const QString &number);
    // A call from the PBX with that caller, answered here; nullptr on failure.
    TQuorCall *answerCallFrom(const QString &number, const QString &name);
    // Ends every call from the PBX's side and waits until the phone has none.
    bool hangUpAll();
    // The numbers the phone asked the PBX to transfer calls to, in order.
    QStringList transferTargets() const;

private:
    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<FakePbx> m_pbx;
    std::unique_ptr<TQuorSettings> m_settings;
    std::unique_ptr<TQuorPhone> m_phone;
    QList<quint16> m_dialogues;
};
