// The designed forms as the settings dialog sets them up, and the resources they name.

#include <QtTest>

#include "contacts/TQuorLdapSettings.h"
#include "settings/TQuorSettings.h"
#include "testsupport/TestDataDir.h"

class TestForms : public QObject
{
    Q_OBJECT

private slots:
    void namesAndFields();
    void resourcesResolve();

private:
    TestDataDir m_dir;
    TQuorSettings m_host;
};

// The widgets become members of one class and are looked up by name (the
// hosted LDAP page is a class of its own); passwords and PBX texts are safe.
void TestForms::namesAndFields()
{
    QStringList names;
    for (const QObject *o : m_host.findChildren<QObject *>())
        names << o->objectName();
    for (const QObject *o : m_host.findChild<TQuorLdapSettings *>()->findChildren<QObject *>())
        names.removeOne(o->objectName());
    names.removeIf([](const QString &name) { return name.isEmpty() || name.startsWith(QLatin1String("qt_")); });
    const QStringList all = names;
    names.removeDuplicates();
    QCOMPARE(all.size(), names.size());

    const auto passwords = m_host.findChildren<QLineEdit *>(QRegularExpression(QStringLiteral("(?i)passw")));
    QVERIFY(!passwords.isEmpty());
    for (const QLineEdit *edit : passwords)
        QVERIFY2(edit->echoMode() == QLineEdit::Password, qPrintable(edit->objectName()));
    // Status texts come from the PBX (names, numbers): never read as markup.
    QCOMPARE(m_host.labelMessage->textFormat(), Qt::PlainText);
}

// Every resource a form or a style sheet names exists and loads, and an image
// a label shows fits the label.
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
    for (QLabel *l : m_host.findChildren<QLabel *>()) {
        if (!l->pixmap().isNull() && !l->hasScaledContents())
            QVERIFY2(l->pixmap().size().boundedTo(l->maximumSize()) == l->pixmap().size(), qPrintable(l->objectName()));
    }
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
