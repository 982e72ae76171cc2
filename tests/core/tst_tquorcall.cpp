#include <QMimeData>
#include <QtTest>

#include "core/TQuorCall.h"

class TestTQuorCall : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void payloadResolution();
};

void TestTQuorCall::defaults()
{
    TQuorCall call;
    QCOMPARE(call.callNo, -1);
    QVERIFY(!call.contact);
    QVERIFY(!call.server);
    QCOMPARE(call.direction, int(DirectionUnset));
    call.setState(CallRinging);
    call.setState(CallTalking);
    QCOMPARE(call.state, int(CallTalking));
    QCOMPARE(call.previousState, int(CallRinging));
}

void TestTQuorCall::payloadResolution()
{
    auto *call = new TQuorCall;
    const QByteArray payload = call->dragPayload();
    QCOMPARE(payload, QByteArray::number(qulonglong(reinterpret_cast<quintptr>(call))));
    QCOMPARE(TQuorCall::fromPayload(payload), call);

    QMimeData mime;
    mime.setData(QLatin1String(TQuorCall::mimeType()), payload);
    QCOMPARE(TQuorCall::fromMimeData(&mime), call);
    QVERIFY(TQuorCall::isLive(call));

    // Foreign or malformed payloads name nothing.
    QVERIFY(!TQuorCall::fromPayload("0"));
    QVERIFY(!TQuorCall::fromPayload(""));
    QVERIFY(!TQuorCall::fromPayload("-1"));
    QVERIFY(!TQuorCall::fromPayload("12abc"));
    QVERIFY(!TQuorCall::fromPayload("99999999999999999999999"));
    QVERIFY(!TQuorCall::fromPayload(QByteArray::number(qulonglong(reinterpret_cast<quintptr>(&mime)))));
    QMimeData other;
    other.setText(QString::fromLatin1(payload));
    QVERIFY(!TQuorCall::fromMimeData(&other));
    QVERIFY(!TQuorCall::fromMimeData(nullptr));

    // A call that ended during the drag is refused.
    delete call;
    QVERIFY(!TQuorCall::fromPayload(payload));
    QVERIFY(!TQuorCall::fromMimeData(&mime));
    QVERIFY(!TQuorCall::isLive(call));
}

QTEST_GUILESS_MAIN(TestTQuorCall)
#include "tst_tquorcall.moc"
