#pragma once

#include <QList>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <QXmlStreamReader>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// The update check, made once at start-up: fetches the release manifest
// https://<update host>/download/version/qm-linux/version.xml and offers the
// download page when a record's "verType" differs from the running type.
//
// The update host is a build setting (CMake QUOR_UPDATE_HOST); without one no
// request is made. Tests point the check at a loopback server through the
// environment variable QUOR_UPDATE_URL (a base URL), which is honoured only for
// a loopback address.
//
// Nothing modal runs while the reply is read: each piece of the manifest is
// parsed at once and every record that calls for an announcement is queued; the
// boxes come up afterwards, one at a time, through BoxRunner.
class TUpdate : public QWidget
{
    Q_OBJECT

public:
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit TUpdate(QWidget *parent = nullptr);
    ~TUpdate() override;

    // The manifest and download addresses; empty when the check is off.
    QUrl manifestUrl() const;
    QUrl downloadUrl() const;
    // True from the request until its reply has finished.
    bool isFetching() const { return !m_reply.isNull(); }

    // Replaces the desktop's URL opener (tests capture the address instead).
    void setUrlOpener(UrlOpener opener);

public slots:
    // Starts the check. Shadows QWidget::update(): this widget is never shown.
    void update();
    void fetch();
    void finished();
    void readData();
    void goToDownload();

private slots:
    void sslErrors(const QList<QSslError> &errors);
    void checkStatus();
    void showNextBox();

private:
    void parseVersion();
    // Ends the check as failed: the rest of the reply is not read.
    void stopReading(const QString &reason);
    void abortReply(const QString &reason);

    QXmlStreamReader reader;
    QString updateHost;
    QString productSegment;
    QString platformSuffix;
    QString currentElement;
    QString typeText;
    QNetworkAccessManager *httpClient = nullptr;

    QUrl m_base; // scheme and authority (and a loopback base path) of the server
    QPointer<QNetworkReply> m_reply;
    qint64 m_received = 0;
    bool m_failed = false;
    int m_pendingBoxes = 0;
    bool m_boxOpen = false;
    UrlOpener m_openUrl;
};
