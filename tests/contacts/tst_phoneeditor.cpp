// The phone-number editor of the address book: its rows, their "+" and "-"
// buttons, the default-number box and the digit filter.

#include <QPointer>
#include <QTest>

#include "contacts/TContact.h"
#include "contacts/TQuorPhoneRow.h"
#include "contacts/TQuorPhoneTable.h"

namespace {

// Each row's button text and top, then the entries of the default-number box.
QString state(const TQuorPhoneTable &editor)
{
    QStringList rows;
    for (int i = 0; i < editor.rowCount(); ++i)
        rows << editor.row(i)->buttonAddDel->text() + u'@' + QString::number(editor.row(i)->y());
    QStringList entries;
    for (int i = 0; i < editor.boxDefPhone->count(); ++i)
        entries << editor.boxDefPhone->itemText(i);
    return rows.join(u' ') + QStringLiteral(" | ") + entries.join(u',');
}

} // namespace

class TestPhoneEditor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowsGrowAndShrink();
    void digitFilter_data();
    void digitFilter();
    void typesAndDefault();

private:
    QFrame *m_frame = nullptr;
    TQuorPhoneTable *m_editor = nullptr;
};

void TestPhoneEditor::init()
{
    m_frame = new QFrame;
    m_frame->resize(170, 120);
    m_editor = new TQuorPhoneTable(m_frame);
}

void TestPhoneEditor::cleanup()
{
    delete m_frame;
}

void TestPhoneEditor::rowsGrowAndShrink()
{
    TQuorPhoneTable &editor = *m_editor;
    QCOMPARE(state(editor), QStringLiteral("-@0 | "));
    QTest::mouseClick(editor.row(0)->buttonAddDel, Qt::LeftButton); // "-" on the only row
    QTest::keyClicks(editor.row(0)->editPhone, QStringLiteral("5"));
    QCOMPARE(state(editor), QStringLiteral("+@0 | 5"));
    QTest::mouseClick(editor.row(0)->buttonAddDel, Qt::LeftButton);
    QCOMPARE(state(editor), QStringLiteral("-@0 -@20 | 5,"));
    // The box follows the numbers; an emptied last row goes back to "-".
    QTest::keyClicks(editor.row(1)->editPhone, QStringLiteral("67"));
    QCOMPARE(state(editor), QStringLiteral("-@0 +@20 | 5,67"));
    editor.row(1)->editPhone->clear();
    QCOMPARE(state(editor), QStringLiteral("-@0 -@20 | 5,"));
    editor.setNumber(QStringLiteral("7"), 1);
    editor.setNumber(QStringLiteral("8"), editor.addRow());

    // A row removed by its own button leaves the editor and the box at once,
    // and is freed after its click; the rows below move up.
    QPointer<TQuorPhoneRow> middle = editor.row(1);
    QTest::mouseClick(middle->buttonAddDel, Qt::LeftButton);
    QCOMPARE(state(editor), QStringLiteral("-@0 +@20 | 5,8"));
    QCOMPARE(editor.row(1)->index, 1);
    QVERIFY(middle && !middle->isVisible());
    QTRY_VERIFY(middle.isNull());

    // Four rows at most, and none of them offers "+".
    QCOMPARE(editor.addRow(), 2);
    editor.setNumber(QStringLiteral("9"), editor.addRow());
    QCOMPARE(editor.addRow(), -1);
    QCOMPARE(state(editor), QStringLiteral("-@0 -@20 -@40 -@60 | 5,8,,9"));
    editor.removeRow(7);
    editor.clear();
    QCOMPARE(state(editor), QStringLiteral("-@0 | "));
    QCOMPARE(editor.type(0), int(PhoneOffice));
    QCOMPARE(editor.number(5), QString());
    QCOMPARE(editor.type(5), int(PhoneOther));
}

void TestPhoneEditor::digitFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("digits") << QStringLiteral("0123") << "0123";
    QTest::newRow("trailing non-digits go one by one") << QStringLiteral("12a#*") << "12";
    QTest::newRow("only the last character counts") << QStringLiteral("1a2") << "12";
}

// The filter acts on typing: a stored number, or a paste ending in a digit, is
// placed whole, however long.
void TestPhoneEditor::digitFilter()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QTest::keyClicks(m_editor->row(0)->editPhone, typed);
    QCOMPARE(m_editor->number(0), shown);
    QCOMPARE(m_editor->boxDefPhone->itemText(0), shown);
    m_editor->setNumber(typed + QStringLiteral("# ext 1234567890"), 0);
    QCOMPARE(m_editor->number(0), typed + QStringLiteral("# ext 1234567890"));
    QCOMPARE(m_editor->boxDefPhone->itemText(0), typed + QStringLiteral("# ext 1234567890"));
    m_editor->row(0)->editPhone->clear();
    m_editor->row(0)->editPhone->insert(QStringLiteral("+39 02 1"));
    QCOMPARE(m_editor->number(0), QStringLiteral("+39 02 1"));
}

void TestPhoneEditor::typesAndDefault()
{
    TQuorPhoneTable &editor = *m_editor;
    editor.row(0)->boxPhoneType->setCurrentIndex(editor.row(0)->boxPhoneType->findText(QStringLiteral("Home")));
    QCOMPARE(editor.type(0), int(PhoneHome));
    editor.setType(PhoneLocal, 0);
    QCOMPARE(editor.row(0)->boxPhoneType->currentText(), QStringLiteral("Local"));
    editor.setType(9, 0);
    QCOMPARE(editor.type(0), 0);

    editor.setNumber(QStringLiteral("500"), 0);
    editor.setNumber(QStringLiteral("600"), editor.addRow());
    editor.setNumber(QStringLiteral("600"), editor.addRow());
    editor.setDefaultPhone(QStringLiteral("600"));
    QCOMPARE(editor.boxDefPhone->currentIndex(), 1);
    editor.setDefaultPhone(QStringLiteral("6"));
    QCOMPARE(editor.defaultPhone(), QStringLiteral("600"));
}

QTEST_MAIN(TestPhoneEditor)
#include "tst_phoneeditor.moc"
