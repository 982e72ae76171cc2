#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>

class QAction;
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
    struct Topic
    {
        QAction *action;
        QString path;
    };

    void loadUrl(const QString &address);
    void createActions();
    void createMenus();
    QAction *topic(int id) const;

    QString url;
    QString jQuery;
    int progress = 0;
    QList<Topic> m_topics;
    QAction *m_exitAction = nullptr;
};
