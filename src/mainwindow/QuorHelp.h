#pragma once

#include <QMainWindow>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;
class QWebEngineView;

// The help window: a web view on the help pages with a menu bar of help topics.
// While a page loads the title shows its progress. Each help request of the main
// window opens a window of its own, which deletes itself when closed.
class QuorHelp : public QMainWindow
{
    Q_OBJECT

public:
    explicit QuorHelp(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~QuorHelp() override;

    // The page view; the opener sets the first page through it.
    QWebEngineView *webView = nullptr;

    // The address last chosen through a topic ("" before the first).
    const QString &topicUrl() const { return url; }

private slots:
    void showConf();
    void helpUrl();

protected slots:
    void adjustTitle();
    void setProgress(int p);
    void finishLoading(bool ok);

private:
    // A topic action, its text and its page; bare page names lie in the topic folder.
    struct Topic
    {
        QAction *QuorHelp::*action;
        const char *text;
        const char *page;
    };
    // In the order a click is matched against them.
    static const Topic kTopics[];

    void loadUrl(const QString &address);
    void createActions();
    void createMenus();

    QString url;
    QString jQuery;
    int progress = 0;
    QMenuBar *m_menuBar = nullptr;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QMenu *m_setupMenu = nullptr;
    QMenu *m_phoneOptionsMenu = nullptr;
    QMenu *m_managerOptionsMenu = nullptr;
    QMenu *m_useMenu = nullptr;
    QMenu *m_phoneMenu = nullptr;
    QMenu *m_extensionsMenu = nullptr;
    QMenu *m_addressBookMenu = nullptr;
    QMenu *m_shortcutsMenu = nullptr;
    QMenu *m_asteriskMenu = nullptr;
    QMenu *m_troubleshootingMenu = nullptr;
    QAction *m_introductionAction = nullptr;
    QAction *m_installationAction = nullptr;
    QAction *m_setupIntroAction = nullptr;
    QAction *m_phoneSetupAction = nullptr;
    QAction *m_allOptionsAction = nullptr;
    QAction *m_dndAction = nullptr;
    QAction *m_forwardAction = nullptr;
    QAction *m_voiceMailAction = nullptr;
    QAction *m_sendToVoiceMailAction = nullptr;
    QAction *m_portsAction = nullptr;
    QAction *m_managerAction = nullptr;
    QAction *m_privacyAction = nullptr;
    QAction *m_useFreePbxAction = nullptr;
    QAction *m_actionsAction = nullptr;
    QAction *m_audioOptionsAction = nullptr;
    QAction *m_codecsAction = nullptr;
    QAction *m_filtersAction = nullptr;
    QAction *m_lockSettingsAction = nullptr;
    QAction *m_useInterfaceAction = nullptr;
    QAction *m_menuAction = nullptr;
    QAction *m_phoneInterfaceAction = nullptr;
    QAction *m_shortcutsAction = nullptr;
    QAction *m_displayAction = nullptr;
    QAction *m_buttonsAction = nullptr;
    QAction *m_callButtonAction = nullptr;
    QAction *m_keypadAction = nullptr;
    QAction *m_activityFrameAction = nullptr;
    QAction *m_callReportsAction = nullptr;
    QAction *m_agentLoginAction = nullptr;
    QAction *m_audioControlAction = nullptr;
    QAction *m_logsAction = nullptr;
    QAction *m_settingsAction = nullptr;
    QAction *m_phoneVoiceMailAction = nullptr;
    QAction *m_extensionsAction = nullptr;
    QAction *m_groupsAction = nullptr;
    QAction *m_makeCallAction = nullptr;
    QAction *m_answerCallAction = nullptr;
    QAction *m_holdAction = nullptr;
    QAction *m_transferAction = nullptr;
    QAction *m_sendToVmAction = nullptr;
    QAction *m_hangUpAction = nullptr;
    QAction *m_doNotDisturbAction = nullptr;
    QAction *m_callForwardAction = nullptr;
    QAction *m_contactsAction = nullptr;
    QAction *m_searchAction = nullptr;
    QAction *m_queuesAction = nullptr;
    QAction *m_parkingLotsAction = nullptr;
    QAction *m_glossaryAction = nullptr;
    QAction *m_managerConfigurationAction = nullptr;
    QAction *m_extensionsConfigurationAction = nullptr;
    QAction *m_faqAction = nullptr;
    QAction *m_forumAction = nullptr;
    QAction *m_exitAction = nullptr;
};
