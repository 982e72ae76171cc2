// The designed forms as the settings dialog sets them up, and the resources they name.

#include <QtTest>

#include "settings/TQuorSettings.h"
#include "testsupport/TestDataDir.h"

class TestForms : public QObject
{
    Q_OBJECT

private slots:
    void safeFields();
    void resourcesResolve();

private:
    TestDataDir m_dir;
    TQuorSettings m_host;
};

// Passwords are never shown and PBX texts never read as markup.
void TestForms::safeFields()
{
    const auto passwords = m_host.findChildren<QLineEdit *>(QRegularExpression(QStringLiteral("(?i)passw")));
    QVERIFY(!passwords.isEmpty());
    for (const QLineEdit *edit : passwords)
        QVERIFY2(edit->echoMode() == QLineEdit::Password, qPrintable(edit->objectName()));
    QCOMPARE(m_host.labelMessage->textFormat(), Qt::PlainText);
}

// Every resource a form or a style sheet names exists and loads.
void TestForms::resourcesResolve()
{
    const QRegularExpression resource(QStringLiteral("url\\((:[^)]+)\\)|(:/\\w[\\w./-]*)"));
    int named = 0;
    for (const char *folder : { "/src/forms", "/src/resources/css" }) {
        const QDir dir(QLatin1String(QUOR_SOURCE_DIR) + QLatin1String(folder));
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            for (auto it = resource.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext(); ++named) {
                const QRegularExpressionMatch match = it.next();
                const QString path = match.captured(1) + match.captured(2);
                QVERIFY2(QFile::exists(path) && (!path.endsWith(QLatin1String(".png")) || !QPixmap(path).isNull()),
                    qPrintable(name + u' ' + path));
            }
        }
    }
    QVERIFY(named > 0);
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
