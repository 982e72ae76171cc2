// The phone-number editor of the address book: its rows, their "+" and "-"
// buttons, the default-number box and the digit filter.

#include <QPointer>
#include <QTest>

#include "contacts/TContact.h"
#include "contacts/TQuorPhoneRow.h"
#include "contacts/TQuorPhoneTable.h"

namespace {

QStringList entries(const TQuorPhoneTable &editor)
{
    QStringList out;
    for (int i = 0; i < editor.boxDefPhone->count(); ++i)
        out << editor.boxDefPhone->itemText(i);
    return out;
}

// Each row's button text and top, from the first row.
QStringList buttons(const TQuorPhoneTable &editor)
{
    QStringList out;
    for (int i = 0; i < editor.rowCount(); ++i)
        out << editor.row(i)->buttonAddDel->text() + QLatin1Char('@') + QString::number(editor.row(i)->y());
    return out;
}

} // namespace

class TestPhoneEditor : public QObject
{
    Q_OBJECT

private slots:
    void rowsGrowAndShrink();
    void digitFilter_data();
    void digitFilter();
    void rowRemovedByItsOwnButton();
    void typesAndDefault();
};

void TestPhoneEditor::rowsGrowAndShrink()
{
    QFrame frame;
    frame.resize(170, 120);
    TQuorPhoneTable editor(&frame);
    QCOMPARE(editor.geometry(), QRect(0, 0, 170, 120));
    QCOMPARE(buttons(editor), QStringList { "-@0" });
    QCOMPARE(entries(editor), QStringList { QString() });
    QCOMPARE(editor.type(0), int(PhoneOffice));
    QTest::mouseClick(editor.row(0)->buttonAddDel, Qt::LeftButton); // "-" on the only row
    QCOMPARE(editor.rowCount(), 1);

    QTest::keyClicks(editor.row(0)->editPhone, QStringLiteral("5"));
    QCOMPARE(buttons(editor), QStringList { "+@0" });
    QTest::mouseClick(editor.row(0)->buttonAddDel, Qt::LeftButton);
    QCOMPARE(buttons(editor), QStringList({ "-@0", "-@20" }));
    QCOMPARE(entries(editor), QStringList({ "5", "" }));

    // The box follows the numbers; an emptied last row goes back to "-".
    QTest::keyClicks(editor.row(1)->editPhone, QStringLiteral("67"));
    QCOMPARE(buttons(editor), QStringList({ "-@0", "+@20" }));
    editor.row(1)->editPhone->clear();
    QCOMPARE(buttons(editor), QStringList({ "-@0", "-@20" }));
    editor.setNumber(QStringLiteral("7"), 1);
    QCOMPARE(editor.addRow(), 2);
    editor.setNumber(QStringLiteral("8"), 2);
    QCOMPARE(entries(editor), QStringList({ "5", "7", "8" }));

    // Removing row 1 of 3 moves the last one up and drops its entry.
    editor.removeRow(1);
    QCOMPARE(buttons(editor), QStringList({ "-@0", "+@20" }));
    QCOMPARE(editor.number(1), QStringLiteral("8"));
    QCOMPARE(editor.row(1)->index, 1);
    QCOMPARE(entries(editor), QStringList({ "5", "8" }));

    // Four rows at most, and none of them offers "+".
    QCOMPARE(editor.addRow(), 2);
    QCOMPARE(editor.addRow(), 3);
    editor.setNumber(QStringLiteral("9"), 3);
    QCOMPARE(editor.addRow(), -1);
    QCOMPARE(buttons(editor), QStringList({ "-@0", "-@20", "-@40", "-@60" }));
    editor.removeRow(7);
    QCOMPARE(editor.rowCount(), 4);

    editor.clear();
    QCOMPARE(editor.rowCount(), 1);
    QCOMPARE(editor.number(0), QString());
    QCOMPARE(editor.type(0), int(PhoneOffice));
    QCOMPARE(entries(editor), QStringList { QString() });
    QCOMPARE(editor.number(5), QString());
    QCOMPARE(editor.type(5), int(PhoneOther));
}

void TestPhoneEditor::digitFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("digits") << "0123"
                            << "0123";
    QTest::newRow("letter at the end goes") << "12a"
                                            << "12";
    QTest::newRow("trailing non-digits go one by one") << "12#*"
                                                       << "12";
    QTest::newRow("only the last character counts") << "1a2"
                                                    << "12";
}

void TestPhoneEditor::digitFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFrame frame;
    frame.resize(170, 120);
    TQuorPhoneTable editor(&frame);
    QTest::keyClicks(editor.row(0)->editPhone, typed);
    QCOMPARE(editor.number(0), shown);
    QCOMPARE(editor.boxDefPhone->itemText(0), shown);

    // A stored number is placed whole, whatever it ends with.
    editor.setNumber(typed + QStringLiteral("#"), 0);
    QCOMPARE(editor.number(0), typed + QStringLiteral("#"));
    QCOMPARE(editor.boxDefPhone->itemText(0), typed + QStringLiteral("#"));
    // However long: the editor's limit is for typing.
    editor.setNumber(QStringLiteral("+39 02 1234 5678 ext 90"), 0);
    QCOMPARE(editor.number(0), QStringLiteral("+39 02 1234 5678 ext 90"));
    // A paste before a final digit keeps what it carried.
    editor.row(0)->editPhone->clear();
    editor.row(0)->editPhone->insert(QStringLiteral("+39 02 1"));
    QCOMPARE(editor.number(0), QStringLiteral("+39 02 1"));
}

void TestPhoneEditor::rowRemovedByItsOwnButton()
{
    QFrame frame;
    frame.resize(170, 120);
    TQuorPhoneTable editor(&frame);
    editor.setNumber(QStringLiteral("1"), 0);
    editor.addRow();
    editor.setNumber(QStringLiteral("2"), 1);
    editor.addRow();
    editor.setNumber(QStringLiteral("3"), 2);

    QPointer<TQuorPhoneRow> middle = editor.row(1);
    QTest::mouseClick(middle->buttonAddDel, Qt::LeftButton);
    // Out of the editor and the box at once, freed after its click.
    QCOMPARE(editor.rowCount(), 2);
    QCOMPARE(entries(editor), QStringList({ "1", "3" }));
    QVERIFY(middle);
    QVERIFY(!middle->isVisible());
    QTRY_VERIFY(middle.isNull());
}

void TestPhoneEditor::typesAndDefault()
{
    QFrame frame;
    frame.resize(170, 120);
    TQuorPhoneTable editor(&frame);
    editor.row(0)->boxPhoneType->setCurrentIndex(editor.row(0)->boxPhoneType->findText(QStringLiteral("Home")));
    QCOMPARE(editor.type(0), int(PhoneHome));
    editor.setType(PhoneLocal, 0);
    QCOMPARE(editor.row(0)->boxPhoneType->currentText(), QStringLiteral("Local"));
    editor.setType(9, 0);
    QCOMPARE(editor.type(0), 0);

    editor.setNumber(QStringLiteral("500"), 0);
    editor.addRow();
    editor.setNumber(QStringLiteral("600"), 1);
    editor.addRow();
    editor.setNumber(QStringLiteral("600"), 2);
    editor.setDefaultPhone(QStringLiteral("600"));
    QCOMPARE(editor.boxDefPhone->currentIndex(), 1);
    editor.setDefaultPhone(QStringLiteral("6"));
    QCOMPARE(editor.boxDefPhone->currentIndex(), 1);
    QCOMPARE(editor.defaultPhone(), QStringLiteral("600"));
}

QTEST_MAIN(TestPhoneEditor)
#include "tst_phoneeditor.moc"
