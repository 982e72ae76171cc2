// A group header's own drag: its payload, and the group set cleared while the
// drag runs (a disconnect). Runs on the minimal platform, which has a real
// drag loop.

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>

#include "core/CPushButton.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TQuorGroupsEdit.h"
#include "testsupport/TestDataDir.h"

class TestGroupDrag : public QObject
{
    Q_OBJECT

private slots:
    void clearedDuringItsOwnDrag();
};

void TestGroupDrag::clearedDuringItsOwnDrag()
{
    TestDataDir data;
    data.write(QStringLiteral("extgroups.xml"),
        "<groups><group><name>Büro, Nord</name><visible>yes</visible><expanded>yes</expanded></group>"
        "<group><name>Sales</name></group></groups>");
    TQuorGroupsEdit set;
    set.loadGroups();
    TExtensionGroup *header = set.findGroup(QStringLiteral("Büro, Nord"));
    QVERIFY(header);
    header->show();
    QWidget keys; // takes the Escape that ends the drag
    keys.show();
    QVERIFY(QTest::qWaitForWindowExposed(&keys));
    QPointer<TExtensionGroup> watch(header);

    QByteArray payload;
    bool aliveAndOut = false;
    QTimer::singleShot(0, this, [&] {
        if (auto *drag = header->findChild<QDrag *>())
            payload = drag->mimeData()->data(QStringLiteral("group/ext"));
        set.clearGroups();
        aliveAndOut
            = watch && header->isHidden() && header->isRemoved() && !set.findGroup(header->name) && header->dragging;
        QTest::keyClick(keys.windowHandle(), Qt::Key_Escape);
    });
    // Pressed on the header's button and moved: the drag starts from the
    // button, measured from the press.
    const QPoint press(60, 30);
    QMouseEvent down(QEvent::MouseButtonPress, press, header->expandButton->mapToGlobal(QPointF(press)), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(header->expandButton, &down);
    QMouseEvent move(QEvent::MouseMove, QPointF(press + QPoint(20, 0)),
        header->expandButton->mapToGlobal(QPointF(press + QPoint(20, 0))), Qt::NoButton, Qt::LeftButton,
        Qt::NoModifier);
    QCoreApplication::sendEvent(header->expandButton, &move);

    QCOMPARE(payload, QByteArray("Büro, Nord"));
    QVERIFY(aliveAndOut);
    QTRY_VERIFY(watch.isNull());
}

QTEST_MAIN(TestGroupDrag)
#include "tst_groupdrag.moc"
