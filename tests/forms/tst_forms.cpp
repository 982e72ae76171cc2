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
    void everyScreen();
    void resourcesResolve();

private:
    TestDataDir m_dir;
    TQuorSettings m_host;
    const QList<QWidget *> m_pages { m_host.frameSelect, m_host.framePhone, m_host.framePhoneOptions,
        m_host.frameManager, m_host.frameActions, m_host.frameAdmin, m_host.frameFilters, m_host.frameCodecs,
        m_host.frameAudioOpt, m_host.frameAbout };
    const QList<QWidget *> m_subs { m_host.frameOptVM, m_host.frameOptFWD, m_host.frameOptDND, m_host.frameOptSpeex };
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

// Each page alone, and each sub-form over its page, with Apply and Back:
// they take the clicks (on the menu too: the phone may put it up while they
// are still shown), and every control of the top frame lies inside it at a
// readable height, over no other control and, on a page, above its sub-form.
void TestForms::everyScreen()
{
    QList<QList<QWidget *>> screens;
    for (QWidget *page : m_pages)
        screens.append({ page });
    for (QWidget *sub : m_subs)
        screens.append({ sub == m_host.frameOptSpeex ? m_host.frameCodecs : m_host.framePhoneOptions, sub });
    m_host.resize(170, 415);
    m_host.show();
    for (const auto &screen : screens) {
        for (QWidget *w :
            m_pages + m_subs + QList<QWidget *> { m_host.frameAgent, m_host.buttonApply, m_host.buttonBack })
            w->setVisible(screen.contains(w) || w->inherits("QPushButton"));
        QApplication::processEvents();
        QWidget *frame = screen.last();
        for (QPushButton *b : { m_host.buttonApply, m_host.buttonBack })
            QVERIFY2(m_host.childAt(b->mapTo(&m_host, b->rect().center())) == b, qPrintable(frame->objectName()));
        const bool hasSubForm = frame == m_host.framePhoneOptions || frame == m_host.frameCodecs;
        const int bottom = hasSubForm ? m_host.frameOptVM->y() - frame->y() : frame->height();
        QList<QRect> controls;
        for (QWidget *w : frame->findChildren<QWidget *>()) {
            if (!w->isVisibleTo(frame) || !(w->inherits("QAbstractButton") || w->inherits("QLineEdit")))
                continue;
            const QRect r(w->mapTo(frame, QPoint(0, 0)), w->size());
            QVERIFY2(r.left() >= 0 && r.right() < frame->width() && r.bottom() < bottom && r.height() >= 12,
                qPrintable(w->objectName()));
            for (const QRect &other : std::as_const(controls))
                QVERIFY2(!other.intersects(r), qPrintable(w->objectName()));
            controls << r;
        }
    }
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
