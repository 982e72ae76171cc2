#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>

#include "core/TQuorCall.h"
#include "iax2/Frame.h"
#include "softphone/PhoneCalls.h"
#include "testsupport/FakePbx.h"

// Calls between a phone registered with the loopback PBX and that PBX, for
// tests that need the phone's live calls (PhoneCalls, alone or the window's).
namespace LoopbackCalls {

// An outgoing call to number, answered by the PBX; its dialogue goes into
// dialogues. nullptr on failure.
inline TQuorCall *talkTo(PhoneCalls *phone, FakePbx *pbx, const QString &number, QList<quint16> *dialogues)
{
    const FakePbx::Dialogue *previous = pbx->latest(QStringLiteral("call-in"));
    const quint16 before = previous ? previous->localNo : 0;
    phone->dial(number);
    const auto dialled = [&] {
        const FakePbx::Dialogue *d = pbx->latest(QStringLiteral("call-in"));
        return d && d->localNo != before && d->called == number && d->remoteNo != 0;
    };
    if (!QTest::qWaitFor(dialled, 10000))
        return nullptr;
    *dialogues << pbx->latest(QStringLiteral("call-in"))->localNo;
    pbx->sendControl(dialogues->last(), iax2::Ctl::Answer);
    const auto talking = [&] { return phone->talkingCall() && phone->talkingCall()->dialled == number; };
    return QTest::qWaitFor(talking, 10000) ? phone->talkingCall() : nullptr;
}

// Ends the dialogues from the PBX's side, then the calls it never answered
// from the phone's side; true once the phone has no call.
inline bool hangUpAll(PhoneCalls *phone, FakePbx *pbx, QList<quint16> *dialogues)
{
    for (quint16 dialogue : std::as_const(*dialogues)) {
        const FakePbx::Dialogue *d = pbx->dialogue(dialogue);
        if (d && !d->hungUp)
            pbx->hangup(dialogue);
    }
    dialogues->clear();
    for (int tries = 0; tries < 10 && !phone->calls().isEmpty(); ++tries) {
        const qsizetype before = phone->calls().size();
        phone->hangup(phone->currentCall());
        if (!QTest::qWaitFor([&] { return phone->calls().size() < before; }, 2000))
            break;
    }
    return QTest::qWaitFor([phone] { return phone->calls().isEmpty(); }, 10000);
}

// The numbers the phone asked the PBX to transfer calls to, in order.
inline QStringList transferTargets(const FakePbx &pbx)
{
    QStringList targets;
    for (const FakePbx::Frame &f : pbx.received()) {
        if (f.type == int(iax2::FrameType::Iax) && f.subclass == iax2::Cmd::Transfer)
            targets << QString::fromUtf8(f.ies.value(iax2::Ie::CalledNumber));
    }
    return targets;
}

} // namespace LoopbackCalls
