#include <QMimeData>
#include <QtTest>

#include <memory>
#include <new>

#include "core/TQuorCall.h"

class TestTQuorCall : public QObject
{
    Q_OBJECT

private slots:
    void setStateKeepsPrevious();
    void foreignDataResolvesToNothing_data();
    void foreignDataResolvesToNothing();
    void endedOrReplacedCallResolvesToNothing();
};

void TestTQuorCall::setStateKeepsPrevious()
{
    TQuorCall call;
    call.setState(CallRinging);
    call.setState(CallTalking);
    QCOMPARE(call.state, int(CallTalking));
    QCOMPARE(call.previousState, int(CallRinging));
}

void TestTQuorCall::foreignDataResolvesToNothing_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<bool>("withSerial");

    TQuorCall other;
    QTest::newRow("zero") << QByteArray("0") << QByteArray() << true;
    QTest::newRow("garbage") << QByteArray("12abc") << QByteArray() << true;
    QTest::newRow("negative") << QByteArray("-1") << QByteArray() << true;
    QTest::newRow("too large") << QByteArray("99999999999999999999999") << QByteArray() << true;
    QTest::newRow("unknown address") << QByteArray::number(qulonglong(reinterpret_cast<quintptr>(&other)) + 8)
                                     << QByteArray() << true;
    QTest::newRow("no serial") << QByteArray() << QByteArray() << false;
    QTest::newRow("serial of another call") << QByteArray() << QByteArray::number(other.serial()) << true;
}

void TestTQuorCall::foreignDataResolvesToNothing()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, serial);
    QFETCH(bool, withSerial);
    TQuorCall call;
    const std::unique_ptr<QMimeData> own(call.toMimeData());
    QCOMPARE(TQuorCall::fromMimeData(own.get()), &call);

    // An empty column keeps the call's own value, so each row changes one thing.
    QMimeData data;
    data.setData(QLatin1String(TQuorCall::mimeType()),
        address.isEmpty() ? own->data(QLatin1String(TQuorCall::mimeType())) : address);
    if (withSerial)
        data.setData(QLatin1String(TQuorCall::serialMimeType()),
            serial.isEmpty() ? own->data(QLatin1String(TQuorCall::serialMimeType())) : serial);
    QCOMPARE(TQuorCall::fromMimeData(&data), nullptr);
}

// A record that ended during the drag, and a new one the allocator put at the
// same address, are both refused.
void TestTQuorCall::endedOrReplacedCallResolvesToNothing()
{
    alignas(TQuorCall) unsigned char storage[sizeof(TQuorCall)];
    auto *ended = new (storage) TQuorCall;
    const std::unique_ptr<QMimeData> data(ended->toMimeData());
    QVERIFY(TQuorCall::isLive(ended));
    ended->~TQuorCall();
    QVERIFY(!TQuorCall::isLive(ended));
    QCOMPARE(TQuorCall::fromMimeData(data.get()), nullptr);

    auto *next = new (storage) TQuorCall;
    QCOMPARE(static_cast<void *>(next), static_cast<void *>(ended));
    QCOMPARE(TQuorCall::fromMimeData(data.get()), nullptr);
    const std::unique_ptr<QMimeData> nextData(next->toMimeData());
    QCOMPARE(TQuorCall::fromMimeData(nextData.get()), next);
    next->~TQuorCall();
    QCOMPARE(TQuorCall::fromMimeData(nullptr), nullptr);
}

QTEST_GUILESS_MAIN(TestTQuorCall)
#include "tst_tquorcall.moc"
