#include <QMimeData>
#include <QtTest>

#include <memory>
#include <new>

#include "core/TQuorCall.h"

class TestTQuorCall : public QObject
{
    Q_OBJECT

private slots:
    void foreignDataResolvesToNothing_data();
    void foreignDataResolvesToNothing();
    void endedOrReplacedCallResolvesToNothing();
};

void TestTQuorCall::foreignDataResolvesToNothing_data()
{
    QTest::addColumn<QByteArray>("address"); // empty: the call's own
    QTest::addColumn<QByteArray>("serial"); // empty: the call's own; "-": none

    static TQuorCall other;
    QTest::newRow("zero") << QByteArray("0") << QByteArray();
    QTest::newRow("garbage") << QByteArray("12abc") << QByteArray();
    QTest::newRow("unknown address") << QByteArray::number(qulonglong(reinterpret_cast<quintptr>(&other)) + 8)
                                     << QByteArray();
    QTest::newRow("no serial") << QByteArray() << QByteArray("-");
    QTest::newRow("another call's serial") << QByteArray() << QByteArray::number(other.serial());
}

void TestTQuorCall::foreignDataResolvesToNothing()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, serial);
    TQuorCall call;
    const std::unique_ptr<QMimeData> own(call.toMimeData());
    QCOMPARE(TQuorCall::fromMimeData(own.get()), &call);

    QMimeData data;
    const QString addressType = QLatin1String(TQuorCall::mimeType());
    const QString serialType = QLatin1String(TQuorCall::serialMimeType());
    data.setData(addressType, address.isEmpty() ? own->data(addressType) : address);
    if (serial != "-")
        data.setData(serialType, serial.isEmpty() ? own->data(serialType) : serial);
    QCOMPARE(TQuorCall::fromMimeData(&data), nullptr);
}

// A record that ended during the drag, and a new one the allocator put at the
// same address, are both refused.
void TestTQuorCall::endedOrReplacedCallResolvesToNothing()
{
    alignas(TQuorCall) unsigned char storage[sizeof(TQuorCall)];
    auto *ended = new (storage) TQuorCall;
    ended->setState(CallRinging);
    ended->setState(CallTalking);
    QCOMPARE(ended->previousState, int(CallRinging));
    const std::unique_ptr<QMimeData> data(ended->toMimeData());
    ended->~TQuorCall();
    QVERIFY(!TQuorCall::isLive(ended));
    QCOMPARE(TQuorCall::fromMimeData(data.get()), nullptr);

    auto *next = new (storage) TQuorCall;
    QVERIFY(TQuorCall::isLive(next));
    QCOMPARE(TQuorCall::fromMimeData(data.get()), nullptr);
    const std::unique_ptr<QMimeData> nextData(next->toMimeData());
    QCOMPARE(TQuorCall::fromMimeData(nextData.get()), next);
    next->~TQuorCall();
    QCOMPARE(TQuorCall::fromMimeData(nullptr), nullptr);
}

QTEST_GUILESS_MAIN(TestTQuorCall)
#include "tst_tquorcall.moc"
