// Sets the sixteen settings forms up on one widget in the settings dialog's
// order and checks what the forms must hold together: unique names, Apply and
// Back reachable on every page, sub-forms that hide no option row, password
// fields that echo nothing, plain-text status, and every resource a form or a
// style sheet names. With QUOR_FORMS_RENDER_DIR set, renderPages writes one
// PNG per page and sub-form there.

#include <QtTest>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include "ui_QuorAbout.h"
#include "ui_QuorActions.h"
#include "ui_QuorAgentLogin.h"
#include "ui_QuorOptDND.h"
#include "ui_QuorOptFWD.h"
#include "ui_QuorOptSpeex.h"
#include "ui_QuorOptVM.h"
#include "ui_QuorSettingsAdmin.h"
#include "ui_QuorSettingsAudioOpt.h"
#include "ui_QuorSettingsBase.h"
#include "ui_QuorSettingsCodecs.h"
#include "ui_QuorSettingsFilters.h"
#include "ui_QuorSettingsManager.h"
#include "ui_QuorSettingsPhone.h"
#include "ui_QuorSettingsPhoneOptions.h"
#include "ui_QuorSettingsSelect.h"

namespace {

// Same bases, same setup order and same sub-form placement as the dialog.
class FormHost : public QWidget,
                 public Ui::QuorSettingsBase,
                 public Ui::QuorSettingsSelect,
                 public Ui::QuorSettingsPhoneOptions,
                 public Ui::QuorSettingsPhone,
                 public Ui::QuorSettingsAudioOpt,
                 public Ui::QuorSettingsFilters,
                 public Ui::QuorSettingsCodecs,
                 public Ui::QuorAbout,
                 public Ui::QuorOptFWD,
                 public Ui::QuorOptVM,
                 public Ui::QuorOptSpeex,
                 public Ui::QuorAgentLogin,
                 public Ui::QuorSettingsManager,
                 public Ui::QuorSettingsAdmin,
                 public Ui::QuorOptDND,
                 public Ui::QuorActions
{
public:
    FormHost()
    {
        QFile css(QStringLiteral(":/ui/css/settings.css"));
        if (css.open(QIODevice::ReadOnly))
            setStyleSheet(QString::fromLatin1(css.readAll()));
        Ui::QuorSettingsBase::setupUi(this);
        Ui::QuorSettingsSelect::setupUi(this);
        Ui::QuorSettingsPhone::setupUi(this);
        Ui::QuorSettingsPhoneOptions::setupUi(this);
        Ui::QuorOptVM::setupUi(this);
        Ui::QuorOptFWD::setupUi(this);
        Ui::QuorSettingsAudioOpt::setupUi(this);
        Ui::QuorSettingsFilters::setupUi(this);
        Ui::QuorSettingsCodecs::setupUi(this);
        Ui::QuorOptSpeex::setupUi(this);
        Ui::QuorAbout::setupUi(this);
        Ui::QuorAgentLogin::setupUi(this);
        Ui::QuorSettingsManager::setupUi(this);
        Ui::QuorOptDND::setupUi(this);
        Ui::QuorActions::setupUi(this);
        Ui::QuorSettingsAdmin::setupUi(this);
        for (QWidget *sub : subForms()) {
            sub->hide();
            sub->move(0, 255);
        }
        for (QWidget *page : pages())
            page->hide();
        frameSelect->show();
    }

    QList<QWidget *> subForms() const { return { frameOptVM, frameOptFWD, frameOptDND, frameOptSpeex }; }
    QList<QWidget *> pages() const
    {
        return { framePhone, framePhoneOptions, frameManager, frameActions, frameAdmin, frameFilters, frameCodecs,
            frameAudioOpt, frameAbout, frameAgent };
    }
};

} // namespace

class TestForms : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void namesAreUnique();
    void applyBackReachable();
    void optionRowsClearSubForms();
    void subFormContentFits();
    void menuStaysContiguous();
    void fieldsHoldWhatTheyShow();
    void resourcesResolve();
    void renderPages();

private:
    void showOnly(const QList<QWidget *> &frames);

    FormHost *host = nullptr;
};

void TestForms::init()
{
    host = new FormHost;
    host->resize(170, 415);
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host));
}

void TestForms::cleanup()
{
    delete host;
    host = nullptr;
}

void TestForms::showOnly(const QList<QWidget *> &frames)
{
    host->frameSelect->hide();
    for (QWidget *p : host->pages())
        p->hide();
    for (QWidget *s : host->subForms())
        s->hide();
    for (QWidget *w : frames)
        w->show();
    QApplication::processEvents();
}

// The widgets become members of one class and are looked up by name.
void TestForms::namesAreUnique()
{
    QHash<QString, int> seen;
    const auto objects = host->findChildren<QObject *>();
    for (QObject *o : objects) {
        if (!o->objectName().isEmpty() && !o->objectName().startsWith(QLatin1String("qt_")))
            ++seen[o->objectName()];
    }
    QStringList twice;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        if (it.value() > 1)
            twice << it.key();
    }
    QVERIFY2(twice.isEmpty(), qPrintable(twice.join(u' ')));
}

// Apply and Back take the clicks on every page that shows them, and on the
// menu too (the phone may put the menu up while they are still shown).
void TestForms::applyBackReachable()
{
    QList<QList<QWidget *>> screens { { host->frameSelect } };
    for (QWidget *p : host->pages()) {
        if (p != host->frameAgent)
            screens.append({ p });
    }
    for (QWidget *s : host->subForms())
        screens.append({ s == host->frameOptSpeex ? host->frameCodecs : host->framePhoneOptions, s });
    for (const auto &screen : screens) {
        showOnly(screen);
        for (QPushButton *b : { host->buttonApply, host->buttonBack }) {
            b->show();
            const QPoint centre = b->geometry().center() + b->parentWidget()->pos();
            QCOMPARE(host->childAt(centre), static_cast<QWidget *>(b));
        }
    }
}

static QRect inHost(QWidget *w, QWidget *host)
{
    return QRect(w->mapTo(host, QPoint(0, 0)), w->size());
}

// A sub-form covers the lower part of its page: every row of the page it
// must not hide ends above the top of the sub-form, and rows do not overlap.
void TestForms::optionRowsClearSubForms()
{
    for (QWidget *page : { host->framePhoneOptions, host->frameCodecs }) {
        showOnly({ page });
        const int subTop = host->frameOptVM->y();
        QList<QRect> rows;
        const auto children = page->findChildren<QWidget *>();
        for (QWidget *w : children) {
            if (!w->isVisibleTo(page) || !(w->inherits("QAbstractButton") || w->inherits("QLineEdit")))
                continue;
            const QRect r = inHost(w, host);
            QVERIFY2(r.bottom() < subTop, qPrintable(w->objectName()));
            QVERIFY2(w->height() >= 14, qPrintable(w->objectName()));
            for (const QRect &other : std::as_const(rows))
                QVERIFY2(!other.intersects(r), qPrintable(w->objectName()));
            rows << r;
        }
    }
}

// Each sub-form's visible widgets lie inside its frame and keep a readable
// height after the layout has shared out the space.
void TestForms::subFormContentFits()
{
    for (QWidget *sub : host->subForms()) {
        showOnly({ sub });
        const auto children = sub->findChildren<QWidget *>();
        for (QWidget *w : children) {
            if (!w->isVisibleTo(sub)
                || !(w->inherits("QLineEdit") || w->inherits("QAbstractButton") || w->inherits("QLabel")))
                continue;
            QVERIFY2(sub->rect().contains(QRect(w->mapTo(sub, QPoint(0, 0)), w->size())), qPrintable(w->objectName()));
            QVERIFY2(w->height() >= 12, qPrintable(w->objectName()));
        }
    }
}

// Hiding the contacts button closes the gap: the menu stays one list, clear
// of Apply and Back.
void TestForms::menuStaysContiguous()
{
    host->buttonContact->hide();
    QApplication::processEvents();
    QCOMPARE(inHost(host->buttonActions, host).top(), inHost(host->buttonManager, host).bottom() + 1);
    QVERIFY(inHost(host->buttonAbout, host).bottom() < host->buttonBack->y());
}

void TestForms::fieldsHoldWhatTheyShow()
{
    // Every password field echoes nothing.
    const auto edits = host->findChildren<QLineEdit *>();
    int passwords = 0;
    for (QLineEdit *e : edits) {
        if (e->objectName().contains(QLatin1String("passw"), Qt::CaseInsensitive)) {
            QVERIFY2(e->echoMode() == QLineEdit::Password, qPrintable(e->objectName()));
            ++passwords;
        }
    }
    QVERIFY(passwords > 0);
    // The primary codec is one choice: the radios share one parent.
    host->radioGSM->setChecked(true);
    host->radioULAW->setChecked(true);
    QVERIFY(!host->radioGSM->isChecked());
    // Status texts come from the PBX (names, numbers): never read as markup.
    host->labelMessage->setText(QStringLiteral("<b>201</b> <img src=x>"));
    QCOMPARE(host->labelMessage->textFormat(), Qt::PlainText);
}

// Every resource a form or a style sheet names exists, images load, and an
// image a label shows fits the label.
void TestForms::resourcesResolve()
{
    const QRegularExpression inForm(QStringLiteral("(?:qrc)?(:/\\w[\\w./-]*)"));
    const QRegularExpression inCss(QStringLiteral("url\\(([^)]+)\\)"));
    const QList<QPair<QString, const QRegularExpression *>> sources {
        { QStringLiteral(QUOR_SOURCE_DIR "/src/forms"), &inForm },
        { QStringLiteral(QUOR_SOURCE_DIR "/src/resources/css"), &inCss },
    };
    int named = 0;
    for (const auto &[dirPath, pattern] : sources) {
        const QDir dir(dirPath);
        const QStringList files = dir.entryList(QDir::Files);
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            for (auto it = pattern->globalMatch(text); it.hasNext(); ++named) {
                const QString path = it.next().captured(1);
                QVERIFY2(QFile::exists(path), qPrintable(name + u' ' + path));
                if (path.endsWith(QLatin1String(".png")))
                    QVERIFY2(!QPixmap(path).isNull(), qPrintable(name + u' ' + path));
            }
        }
    }
    QVERIFY(named > 0);
    const auto labels = host->findChildren<QLabel *>();
    for (QLabel *l : labels) {
        if (!l->pixmap().isNull() && !l->hasScaledContents())
            QVERIFY2(l->pixmap().size().boundedTo(l->maximumSize()) == l->pixmap().size(), qPrintable(l->objectName()));
    }
}

void TestForms::renderPages()
{
    const QString dir = qEnvironmentVariable("QUOR_FORMS_RENDER_DIR");
    if (dir.isEmpty())
        QSKIP("set QUOR_FORMS_RENDER_DIR to write the pages as PNG files");
    QList<QList<QWidget *>> screens { { host->frameSelect } };
    for (QWidget *p : host->pages())
        screens.append({ p });
    for (QWidget *s : host->subForms())
        screens.append({ s == host->frameOptSpeex ? host->frameCodecs : host->framePhoneOptions, s });
    for (const auto &screen : screens) {
        showOnly(screen);
        const bool menu = screen.first() == host->frameSelect || screen.first() == host->frameAgent;
        host->buttonApply->setVisible(!menu);
        host->buttonBack->setVisible(!menu);
        QVERIFY(host->grab().save(dir + u'/' + screen.last()->objectName() + QLatin1String(".png")));
    }
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
