// Sets the sixteen settings forms up on one widget in the settings dialog's
// order and checks what the dialog's code relies on: every widget it reaches
// by name exists once with the right kind, the pages and sub-forms lie where
// the navigation expects them, and every image, the style sheet and the about
// page resolve. With QUOR_FORMS_RENDER_DIR set it also writes one PNG per page.

#include <QtTest>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextBrowser>

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

    QList<QWidget *> subForms() const { return {frameOptVM, frameOptFWD, frameOptDND, frameOptSpeex}; }
    QList<QWidget *> pages() const
    {
        return {framePhone,  framePhoneOptions, frameManager,  frameActions, frameAdmin,
                frameFilters, frameCodecs,      frameAudioOpt, frameAbout,   frameAgent};
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
    void widgetsExist_data();
    void widgetsExist();
    void pageGeometry_data();
    void pageGeometry();
    void applyBackReachable();
    void optionRowsClearSubForms();
    void subFormContentFits();
    void initialStates();
    void editLimits_data();
    void editLimits();
    void menuButtons();
    void messageLabelIsPlainText();
    void imagesResolve();
    void styleSheetImagesResolve();
    void aboutPage();
    void renderPages();

private:
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

void TestForms::namesAreUnique()
{
    // The widgets become members of one class and are looked up by name.
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
    QCOMPARE(host->objectName(), QStringLiteral("QuorSettingsBase"));
    QCOMPARE(host->maximumSize(), QSize(170, 415));
    QCOMPARE(host->size(), QSize(170, 415));
}

void TestForms::widgetsExist_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    const QList<QPair<const char *, QStringList>> kinds = {
        {"QFrame",
         {"frameBase", "frameSelect", "framePhoneOptions", "framePhone", "frameAudioOpt", "frameFilters",
          "frameCodecs", "frameAbout", "frameOptFWD", "frameOptVM", "frameOptSpeex", "frameAgent", "frameAbutton",
          "frameManager", "frameAdmin", "frameOptDND", "frameActions"}},
        {"QPushButton",
         {"buttonApply", "buttonBack", "buttonUser", "buttonOptions", "buttonManager", "buttonContact",
          "buttonActions", "buttonAudioOpt", "buttonCodecs", "buttonFilters", "buttonAdmin", "buttonAbout",
          "pushButton", "buttonPause", "buttonAgent", "ins_in_app", "ins_in_file", "ins_out_app", "ins_out_file"}},
        {"QLabel",
         {"labelMail", "labelConnection", "labelConnectionManager", "labelDND", "labelFWD", "labelMessage",
          "labelCaption", "labelPark", "label_3", "label_2", "label", "label_uname", "label_phone_port",
          "label_password", "label_clid_number", "label_clid_name", "label_ip", "label_ServerIP",
          "label_server_port", "label_manager_user", "label_manager_pwd", "label_Server_conf", "label_db_family",
          "label_to_callopt", "label_to_call", "label_num_to_forward", "label_fw_family", "label_fw_opt",
          "label_password_vmail_2", "label_vname", "label_password_vmail", "label_prefix", "label_InputDevice",
          "label_OutputDevice", "label_RingingDevice", "label_RingingDevice_2", "label_RingType", "label_dsc2",
          "label_Dtmf", "label_jitter", "label_codec", "label_codec_2", "labelSpeexVbr", "labelSpeexCbr",
          "labelSpeexComplexity", "labelSpeexQuality", "labelVersion", "label_aboutUrl", "labelAgent",
          "labelPenalty", "labelQueue", "bg_btn_aLogin", "labelButtonAgent", "labelQueue_2", "bg_btn_aPause",
          "labelPassword", "label_status_L", "labelEnterPasswd", "labelRetypePasswd", "labelin", "labelInApp",
          "labelInArg", "labelOutApp", "labelout", "label_crm", "labelOutArg"}},
        {"QCheckBox",
         {"boxSysTray", "boxOnTop", "boxBusy", "boxDND", "boxFwdAll", "boxVM", "boxAgent", "boxUsePhoneIP",
          "boxPrivacy", "boxFreePbx", "boxFWDvm", "Box_all", "Box_busy", "Box_noans", "boxRingInBothDevs",
          "boxMuteRingDev", "boxAGC", "boxAAGC", "boxDenoise", "boxEcho", "boxCN", "boxILBC", "boxSPEEX", "boxGSM",
          "boxALAW", "boxULAW", "boxSpeexSettings", "boxSpeexVbr", "boxSpeexEnhanced", "boxLockSettings",
          "boxChangePasswd", "act_in", "act_crm", "act_out", "lauch_p_url"}},
        {"QRadioButton", {"radioILBC", "radioSPEEX", "radioGSM", "radioALAW", "radioULAW"}},
        {"QLineEdit",
         {"parkEdit", "editPassword", "editServer", "editCidNum", "editCidName", "editPort", "editUserName",
          "editManagerServer", "editManagerPort", "editManagerUser", "editManagerPasswd", "editManagerServer_conf",
          "editDNDfamily", "editDNDNumber", "editFwdNum", "editFWDfam_1", "editFWDfam_2", "editFWDfam_3",
          "editVmNumber", "editVmUserName", "editVmPassword", "editVmSendPreffix", "editRingTone",
          "editJittersize", "editSpeexCbr", "editSpeexAbr", "editSpeexQuality", "editSpeexComplexity",
          "textAgent", "EditPenalty", "editLockPassword", "editLockNewPasswd1", "editLockNewPasswd2", "launchArg",
          "launchApp", "launchApp_2", "launchArg_2", "launchCRM"}},
        {"QComboBox",
         {"comboInputDevices", "comboOutputDevices", "comboRingingDevices", "comboBox", "comboBox_dtmf",
          "comboQueues"}},
        {"QGroupBox", {"dndOpt", "fwdOpt", "VoiceMail"}},
        {"QTextBrowser", {"About"}},
        {"QListWidget", {"tableAgents"}},
        {"QWidget", {"verticalLayoutWidget", "verticalLayoutWidget_2", "gridLayout", "layoutWidget"}},
        {"QVBoxLayout", {"vLayoutOption", "vLayoutEnabled", "verticalLayout", "vboxLayout"}},
        {"QHBoxLayout", {"horizontalLayout", "hboxLayout", "hboxLayout1"}},
        {"QGridLayout", {"gridLayout1", "gridLayout_2"}},
    };
    for (const auto &k : kinds) {
        for (const QString &n : k.second)
            QTest::newRow(qPrintable(n)) << n << QString::fromLatin1(k.first);
    }
}

void TestForms::widgetsExist()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    const auto found = host->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QVERIFY2(found.first()->inherits(kind.toLatin1().constData()), found.first()->metaObject()->className());
}

void TestForms::pageGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("frameBase") << "frameBase" << QRect(0, 0, 170, 415);
    QTest::newRow("frameSelect") << "frameSelect" << QRect(-1, 38, 170, 358);
    QTest::newRow("framePhone") << "framePhone" << QRect(0, 0, 170, 395);
    QTest::newRow("framePhoneOptions") << "framePhoneOptions" << QRect(0, 0, 170, 395);
    QTest::newRow("frameManager") << "frameManager" << QRect(0, 0, 170, 395);
    QTest::newRow("frameAbout") << "frameAbout" << QRect(0, 0, 170, 395);
    QTest::newRow("frameAdmin") << "frameAdmin" << QRect(0, 0, 170, 390);
    QTest::newRow("frameAgent") << "frameAgent" << QRect(0, 0, 170, 415);
    QTest::newRow("frameAudioOpt") << "frameAudioOpt" << QRect(0, 0, 170, 390);
    QTest::newRow("frameFilters") << "frameFilters" << QRect(0, 0, 170, 390);
    QTest::newRow("frameCodecs") << "frameCodecs" << QRect(0, 0, 170, 390);
    QTest::newRow("frameActions") << "frameActions" << QRect(0, 0, 170, 390);
    QTest::newRow("frameOptDND") << "frameOptDND" << QRect(0, 255, 170, 140);
    QTest::newRow("frameOptFWD") << "frameOptFWD" << QRect(0, 255, 170, 140);
    QTest::newRow("frameOptVM") << "frameOptVM" << QRect(0, 255, 170, 140);
    QTest::newRow("frameOptSpeex") << "frameOptSpeex" << QRect(0, 255, 170, 140);
    QTest::newRow("buttonApply") << "buttonApply" << QRect(85, 396, 85, 20);
    QTest::newRow("buttonBack") << "buttonBack" << QRect(0, 396, 85, 20);
    QTest::newRow("labelCaption") << "labelCaption" << QRect(0, 12, 170, 18);
    QTest::newRow("labelMessage") << "labelMessage" << QRect(0, 30, 170, 18);
}

void TestForms::pageGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    auto *w = host->findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->geometry(), rect);
    // Every page and sub-form is a direct child of the dialog, so showing it
    // never depends on another page being visible.
    if (name != QLatin1String("buttonApply") && name != QLatin1String("buttonBack")
        && !name.startsWith(QLatin1String("label")))
        QCOMPARE(w->parentWidget(), host);
}

void TestForms::applyBackReachable()
{
    // Apply and Back take the clicks on every page that shows them, and on the
    // menu too (the phone may put the menu up while they are still shown).
    host->buttonApply->show();
    host->buttonBack->show();
    QList<QList<QWidget *>> screens{{host->frameSelect}};
    for (QWidget *p : host->pages()) {
        if (p != host->frameAgent)
            screens.append({p});
    }
    for (QWidget *s : host->subForms())
        screens.append({s == host->frameOptSpeex ? host->frameCodecs : host->framePhoneOptions, s});
    for (const auto &screen : screens) {
        host->frameSelect->hide();
        for (QWidget *p : host->pages())
            p->hide();
        for (QWidget *s : host->subForms())
            s->hide();
        for (QWidget *w : screen)
            w->show();
        for (QPushButton *b : {host->buttonApply, host->buttonBack}) {
            const QPoint centre = b->geometry().center() + b->parentWidget()->pos();
            QCOMPARE(host->childAt(centre), static_cast<QWidget *>(b));
        }
    }
}

static QRect inHost(QWidget *w, QWidget *host)
{
    return QRect(w->mapTo(host, QPoint(0, 0)), w->size());
}

void TestForms::optionRowsClearSubForms()
{
    // A sub-form covers y 255 and below: the rows it must not hide end above.
    host->frameSelect->hide();
    host->framePhoneOptions->show();
    host->frameCodecs->show();
    QApplication::processEvents();
    for (QWidget *w : QList<QWidget *>{host->boxSysTray, host->boxOnTop, host->boxBusy, host->boxDND,
                                       host->boxFwdAll, host->boxVM, host->labelPark, host->parkEdit,
                                       host->boxSpeexSettings, host->radioULAW, host->boxULAW}) {
        const QRect r = inHost(w, host);
        QVERIFY2(r.bottom() < 255, qPrintable(w->objectName()));
        QVERIFY2(r.top() >= 48, qPrintable(w->objectName()));
        QVERIFY2(w->height() >= 14, qPrintable(w->objectName()));
    }
    // Check boxes in one column must not overlap each other.
    const QList<QWidget *> column{host->boxSysTray, host->boxOnTop, host->boxBusy, host->boxDND,
                                  host->boxFwdAll, host->boxVM, host->boxAgent, host->parkEdit};
    for (int i = 1; i < column.size(); ++i)
        QVERIFY(inHost(column[i], host).top() > inHost(column[i - 1], host).bottom());
}

void TestForms::subFormContentFits()
{
    // Each sub-form's visible widgets lie inside its 170 x 140 frame and keep
    // a readable height after the layout has shared out the space.
    for (QWidget *sub : host->subForms()) {
        sub->show();
        QApplication::processEvents();
        const auto children = sub->findChildren<QWidget *>();
        for (QWidget *w : children) {
            if (!w->isVisibleTo(sub) || w->inherits("QGroupBox") || w->objectName().startsWith(u"qt_"))
                continue;
            if (w->inherits("QLineEdit") || w->inherits("QAbstractButton") || w->inherits("QLabel")) {
                const QRect r(w->mapTo(sub, QPoint(0, 0)), w->size());
                QVERIFY2(QRect(0, 0, 170, 140).contains(r),
                         qPrintable(w->objectName() + QLatin1Char(' ')
                                    + QString::number(r.x()) + u',' + QString::number(r.y())));
                QVERIFY2(w->height() >= 12, qPrintable(w->objectName()));
            }
        }
        sub->hide();
    }
}

void TestForms::initialStates()
{
    QVERIFY(host->boxLockSettings->isChecked());
    QVERIFY(host->boxLockSettings->isEnabled());
    QVERIFY(!host->boxChangePasswd->isChecked());
    QVERIFY(!host->boxPrivacy->isChecked());
    QVERIFY(!host->boxFreePbx->isChecked());
    QVERIFY(!host->boxSpeexSettings->isChecked());
    QVERIFY(host->boxSpeexEnhanced->isEnabled());
    QVERIFY(host->editManagerServer->isReadOnly());
    for (QRadioButton *r : {host->radioILBC, host->radioSPEEX, host->radioGSM, host->radioALAW, host->radioULAW})
        QVERIFY(!r->isChecked());
    // The primary codec is one choice: the radios share one parent.
    host->radioGSM->setChecked(true);
    host->radioULAW->setChecked(true);
    QVERIFY(!host->radioGSM->isChecked());
    // The never-used groups exist but are disabled.
    for (QWidget *w : QList<QWidget *>{host->editRingTone, host->pushButton, host->comboBox, host->comboBox_dtmf,
                                       host->editJittersize})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QCOMPARE(host->editServer->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(host->editPort->text(), QStringLiteral("4569"));
    QCOMPARE(host->editDNDfamily->text(), QStringLiteral("DND"));
    QCOMPARE(host->editDNDNumber->text(), QStringLiteral("*78"));
    QCOMPARE(host->EditPenalty->text(), QStringLiteral("0"));
    QCOMPARE(host->labelVersion->text(), QStringLiteral("Version 1.0 beta"));
    QCOMPARE(host->label_dsc2->text(), QStringLiteral("       silence is detected"));
    QCOMPARE(host->boxFwdAll->text(), QStringLiteral("Call forwarding "));
    QCOMPARE(host->buttonAdmin->text(), QStringLiteral("Unlock settings"));
    QCOMPARE(host->editSpeexQuality->text(), QStringLiteral("-1"));
    QCOMPARE(host->tableAgents->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(host->buttonAgent->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(host->buttonAgent->size(), QSize(103, 33));
    QCOMPARE(host->buttonPause->size(), QSize(49, 33));
}

void TestForms::editLimits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<bool>("password");
    QTest::newRow("port") << "editPort" << 5 << false;
    QTest::newRow("manager port") << "editManagerPort" << 5 << false;
    QTest::newRow("vm prefix") << "editVmSendPreffix" << 5 << false;
    QTest::newRow("penalty") << "EditPenalty" << 2 << false;
    QTest::newRow("admin password") << "editLockPassword" << 31 << true;
    QTest::newRow("new password 1") << "editLockNewPasswd1" << 31 << true;
    QTest::newRow("new password 2") << "editLockNewPasswd2" << 31 << true;
    QTest::newRow("phone password") << "editPassword" << 32767 << true;
    QTest::newRow("manager password") << "editManagerPasswd" << 32767 << true;
    QTest::newRow("vm password") << "editVmPassword" << 32767 << true;
    QTest::newRow("incoming app") << "launchApp" << 250 << false;
    QTest::newRow("incoming script") << "launchArg" << 250 << false;
    QTest::newRow("crm url") << "launchCRM" << 250 << false;
    QTest::newRow("outgoing app") << "launchApp_2" << 250 << false;
    QTest::newRow("outgoing script") << "launchArg_2" << 250 << false;
}

void TestForms::editLimits()
{
    QFETCH(QString, name);
    QFETCH(int, maxLength);
    QFETCH(bool, password);
    auto *e = host->findChild<QLineEdit *>(name);
    QVERIFY(e);
    QCOMPARE(e->maxLength(), maxLength);
    QCOMPARE(e->echoMode() == QLineEdit::Password, password);
    // A longer paste is cut, never refused as a whole.
    e->setText(QString(maxLength == 32767 ? 40 : maxLength + 3, QLatin1Char('x')));
    QCOMPARE(e->text().size(), maxLength == 32767 ? 40 : maxLength);
}

void TestForms::menuButtons()
{
    const QList<QPushButton *> buttons{host->buttonUser,    host->buttonOptions,  host->buttonManager,
                                       host->buttonContact, host->buttonActions,  host->buttonAudioOpt,
                                       host->buttonCodecs,  host->buttonFilters, host->buttonAdmin,
                                       host->buttonAbout};
    for (QPushButton *b : buttons) {
        QCOMPARE(b->size(), QSize(169, 22));
        QCOMPARE(b->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QVERIFY(b->isFlat());
        QVERIFY(!b->text().isEmpty());
    }
    // The two always-usable buttons stand apart from the page buttons.
    QVERIFY(inHost(host->buttonAdmin, host).top() > inHost(host->buttonFilters, host).bottom());
    // Hiding the contacts button closes the gap: the list stays contiguous.
    host->buttonContact->hide();
    QApplication::processEvents();
    QCOMPARE(inHost(host->buttonActions, host).top(), inHost(host->buttonManager, host).bottom() + 1);
    QVERIFY(inHost(host->buttonAbout, host).bottom() < 395);
}

void TestForms::messageLabelIsPlainText()
{
    // Status texts come from the PBX (names, numbers): never interpreted as markup.
    host->labelMessage->setText(QStringLiteral("<b>201</b> <img src=x>"));
    QCOMPARE(host->labelMessage->textFormat(), Qt::PlainText);
    QVERIFY(host->labelMessage->sizeHint().width() > host->labelMessage->fontMetrics().horizontalAdvance(
                                                         QStringLiteral("201 ")));
}

void TestForms::imagesResolve()
{
    const auto labels = host->findChildren<QLabel *>();
    int withPixmap = 0;
    for (QLabel *l : labels) {
        const QString name = l->objectName();
        if (name == QLatin1String("labelMail") || name.startsWith(QLatin1String("labelConnection"))
            || name == QLatin1String("labelDND") || name == QLatin1String("labelFWD")
            || name.startsWith(QLatin1String("bg_btn_")) || name == QLatin1String("label_status_L")
            || name == QLatin1String("labelLogo")) {
            QVERIFY2(!l->pixmap().isNull(), qPrintable(name));
            ++withPixmap;
        }
    }
    QCOMPARE(withPixmap, 9);
    QVERIFY(!host->boxLockSettings->icon().isNull());
    QVERIFY(!host->buttonAgent->icon().isNull());
    QVERIFY(!host->buttonPause->icon().isNull());
    // Images the dialog's code switches to at run time.
    for (const char *img : {"Unlocked.png", "Locked.png", "unlock.png", "lock.png", "bg_agent_red.png",
                            "bg_agent_green.png", "bg_unpause.png", "bg_pause.png"}) {
        const QString path = QStringLiteral(":/ui/images/") + QLatin1String(img);
        QVERIFY2(!QPixmap(path).isNull(), img);
    }
    // Pixmaps must match the label they fill, so nothing is cut or stretched.
    QCOMPARE(host->bg_btn_aLogin->pixmap().size(), QSize(152, 33));
    QCOMPARE(host->bg_btn_aPause->pixmap().size(), QSize(49, 33));
    QCOMPARE(QPixmap(QStringLiteral(":/ui/images/btn_settings.png")).size(), QSize(169, 22));
}

void TestForms::styleSheetImagesResolve()
{
    QFile css(QStringLiteral(":/ui/css/settings.css"));
    QVERIFY(css.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(css.readAll());
    QCOMPARE(text.count(u'{'), text.count(u'}'));
    const QRegularExpression urlRe(QStringLiteral("url\\(([^)]+)\\)"));
    int count = 0;
    for (auto it = urlRe.globalMatch(text); it.hasNext();) {
        const QString path = it.next().captured(1);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QVERIFY2(!QPixmap(path).isNull(), qPrintable(path));
        ++count;
    }
    QCOMPARE(count, 12);
    QVERIFY(!host->styleSheet().isEmpty());
}

void TestForms::aboutPage()
{
    QFile html(QStringLiteral(":/txt/about_M.html"));
    QVERIFY(html.open(QIODevice::ReadOnly));
    const QByteArray doc = html.readAll();
    QVERIFY2(doc.size() >= 4 * 1024 && doc.size() <= 16 * 1024, QByteArray::number(doc.size()).constData());
    QVERIFY(doc.contains("<title>About</title>"));
    QVERIFY(doc.contains("mailto:support@quor.example"));
    QCOMPARE(host->About->source(), QUrl(QStringLiteral("qrc:/txt/about_M.html")));
    QVERIFY(host->About->document()->toPlainText().contains(QLatin1String("Quor team")));
    QVERIFY(host->About->isReadOnly());
    QVERIFY(host->About->openExternalLinks());
    QCOMPARE(host->About->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    // The web link is a link, not a plain address.
    QVERIFY(host->label_aboutUrl->text().contains(QLatin1String("href=")));
    QVERIFY(host->label_aboutUrl->openExternalLinks());
}

void TestForms::renderPages()
{
    const QString dir = qEnvironmentVariable("QUOR_FORMS_RENDER_DIR");
    struct Shot
    {
        const char *file;
        QList<QWidget *> frames;
        const char *caption;
    };
    const QList<Shot> shots{
        {"menu", {host->frameSelect}, "Select settings"},
        {"phone", {host->framePhone}, "PBX user settings"},
        {"options", {host->framePhoneOptions}, "Options"},
        {"options-dnd", {host->framePhoneOptions, host->frameOptDND}, "Options"},
        {"options-fwd", {host->framePhoneOptions, host->frameOptFWD}, "Options"},
        {"options-vm", {host->framePhoneOptions, host->frameOptVM}, "Options"},
        {"manager", {host->frameManager}, "PBX Manager"},
        {"audio", {host->frameAudioOpt}, "Audio devices"},
        {"filters", {host->frameFilters}, "Select filters"},
        {"codecs", {host->frameCodecs, host->frameOptSpeex}, "Select codecs"},
        {"actions", {host->frameActions}, "Actions"},
        {"admin", {host->frameAdmin}, "Administrator"},
        {"agent", {host->frameAgent}, "Agent Login"},
        {"about", {host->frameAbout}, "About Quor"},
    };
    host->comboInputDevices->addItem(QStringLiteral("USB headset"));
    host->comboOutputDevices->addItem(QStringLiteral("USB headset"));
    host->comboRingingDevices->addItem(QStringLiteral("Built-in speakers"));
    host->labelButtonAgent->setText(QStringLiteral("Select\na Queue"));
    host->tableAgents->addItem(QStringLiteral("201 IAX2/201 sales"));
    for (const Shot &shot : shots) {
        host->frameSelect->hide();
        for (QWidget *p : host->pages())
            p->hide();
        for (QWidget *s : host->subForms())
            s->hide();
        for (QWidget *f : shot.frames)
            f->show();
        const bool menu = shot.frames.first() == host->frameSelect;
        host->buttonApply->setVisible(!menu && shot.frames.first() != host->frameAgent);
        host->buttonBack->setVisible(!menu && shot.frames.first() != host->frameAgent);
        host->labelCaption->setText(QLatin1String(shot.caption));
        QApplication::processEvents();
        const QPixmap pix = host->grab();
        QCOMPARE(pix.size(), QSize(170, 415));
        if (!dir.isEmpty())
            QVERIFY(pix.save(dir + u'/' + QLatin1String(shot.file) + QLatin1String(".png")));
    }

    // The menu as it looks at start: page buttons disabled, contacts hidden,
    // the pointer over "About"; Apply under the pointer on a page.
    for (QWidget *p : host->pages())
        p->hide();
    host->frameSelect->show();
    for (QPushButton *b : {host->buttonUser, host->buttonOptions, host->buttonManager, host->buttonActions,
                           host->buttonAudioOpt, host->buttonCodecs, host->buttonFilters})
        b->setEnabled(false);
    host->buttonContact->hide();
    host->labelCaption->setText(QStringLiteral("Select settings"));
    host->labelMessage->setText(QStringLiteral("Registered"));
    QTest::mouseMove(host->buttonAbout, host->buttonAbout->rect().center());
    QApplication::processEvents();
    const QPixmap locked = host->grab();
    if (!dir.isEmpty())
        QVERIFY(locked.save(dir + QLatin1String("/menu-locked.png")));
}

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
