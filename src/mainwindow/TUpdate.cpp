#include "mainwindow/TUpdate.h"

#include <QDesktopServices>
#include <QHostAddress>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QSslError>

#include "core/Logger.h"
#include "core/Version.h"
#include "mainwindow/BoxRunner.h"

#ifndef QUOR_UPDATE_HOST
#define QUOR_UPDATE_HOST ""
#endif

namespace {

// A manifest is a few hundred bytes; anything far larger is not one.
constexpr qint64 kMaxManifestBytes = 64 * 1024;

const char kLinuxTag[] = "-linux";

// The loopback base a test names, or an empty URL (with a log line saying why).
QUrl loopbackOverride()
{
    const QString text = qEnvironmentVariable("QUOR_UPDATE_URL");
    if (text.isEmpty())
        return {};
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const QHostAddress address(url.host());
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || address.isNull()
        || !address.isLoopback()) {
        Logger::info(QStringLiteral("Update check: QUOR_UPDATE_URL %1 ignored, only a loopback address is used")
                         .arg(Logger::escaped(text)));
        return {};
    }
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

// The running type compared with a manifest's "verType" text: exactly, blanks
// included, after one trailing "-linux" is dropped from the text.
bool sameType(const QString &manifestType)
{
    QString type = manifestType;
    if (type.endsWith(QLatin1String(kLinuxTag)))
        type.chop(int(sizeof(kLinuxTag)) - 1);
    return type == QLatin1String(Version::type);
}

} // namespace

TUpdate::TUpdate(QWidget *parent)
    : QWidget(parent)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    platformSuffix = QStringLiteral("-linux");
    updateHost = QStringLiteral(QUOR_UPDATE_HOST).trimmed();
    productSegment = QStringLiteral("/qm");

    m_base = loopbackOverride();
    if (m_base.isEmpty() && !updateHost.isEmpty())
        m_base = QUrl(QLatin1String("https://") + updateHost, QUrl::StrictMode);

    httpClient = new QNetworkAccessManager(this);
    // A redirect is answered like any other status but 200; a loopback test
    // server is reached directly, never through a proxy.
    httpClient->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    if (!m_base.isEmpty() && QHostAddress(m_base.host()).isLoopback())
        httpClient->setProxy(QNetworkProxy::NoProxy);
}

TUpdate::~TUpdate()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

QUrl TUpdate::manifestUrl() const
{
    if (m_base.isEmpty())
        return {};
    QUrl url = m_base;
    url.setPath(m_base.path() + QLatin1String("/download/version") + productSegment + platformSuffix
        + QLatin1String("/version.xml"));
    return url;
}

QUrl TUpdate::downloadUrl() const
{
    if (m_base.isEmpty())
        return {};
    QUrl url = m_base;
    url.setPath(m_base.path() + QLatin1String("/Download/"));
    return url;
}

void TUpdate::setUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void TUpdate::update()
{
    fetch();
}

void TUpdate::fetch()
{
    if (m_reply)
        return;
    reader.clear();
    currentElement.clear();
    typeText.clear();
    m_received = 0;
    m_failed = false;

    const QUrl url = manifestUrl();
    if (url.isEmpty()) {
        Logger::info(QStringLiteral("Update check off: this build names no update host"));
        return;
    }

    QNetworkRequest request(url);
    request.setTransferTimeout();
    QNetworkReply *reply = httpClient->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &TUpdate::checkStatus);
    connect(reply, &QIODevice::readyRead, this, &TUpdate::readData);
    connect(reply, &QNetworkReply::finished, this, &TUpdate::finished);
    connect(reply, &QNetworkReply::sslErrors, this, &TUpdate::sslErrors);
}

void TUpdate::checkStatus()
{
    if (!m_reply || m_failed)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() == 200)
        return;
    const QString reason = QStringLiteral("status %1").arg(status.toInt());
    // An error status already ends the reply with an error of its own; aborting
    // it as well would report that error twice.
    if (status.toInt() >= 400)
        stopReading(reason);
    else
        abortReply(reason);
}

void TUpdate::readData()
{
    if (!m_reply)
        return;
    checkStatus();
    if (!m_reply || m_failed) {
        if (m_reply)
            m_reply->readAll();
        return;
    }
    const QByteArray data = m_reply->readAll();
    m_received += data.size();
    if (m_received > kMaxManifestBytes) {
        abortReply(QStringLiteral("manifest larger than %1 bytes").arg(kMaxManifestBytes));
        return;
    }
    reader.addData(data);
    parseVersion();
    if (m_pendingBoxes > 0 && !m_boxOpen)
        QMetaObject::invokeMethod(this, &TUpdate::showNextBox, Qt::QueuedConnection);
}

void TUpdate::parseVersion()
{
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            currentElement = reader.name().toString();
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace() && currentElement == QLatin1String("verType"))
                typeText += reader.text();
            break;
        case QXmlStreamReader::EndElement:
            // Each record is decided on its own: queue an announcement when its
            // type differs, then start the next record with an empty type.
            if (reader.name() == QLatin1String("csop")) {
                if (!sameType(typeText))
                    ++m_pendingBoxes;
                typeText.clear();
            }
            break;
        default:
            break;
        }
    }
    if (reader.hasError() && reader.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        abortReply(QStringLiteral("ill-formed manifest: %1").arg(reader.errorString()));
}

void TUpdate::stopReading(const QString &reason)
{
    Logger::warning(QStringLiteral("Update check stopped: %1").arg(Logger::escaped(reason)));
    m_failed = true;
}

void TUpdate::abortReply(const QString &reason)
{
    stopReading(reason);
    if (m_reply)
        m_reply->abort();
}

void TUpdate::finished()
{
    QNetworkReply *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        reply = m_reply;
    if (!reply)
        return;
    if (reply->error() != QNetworkReply::NoError || m_failed) {
        qWarning("Unable to get version.");
        Logger::warning(QStringLiteral("Unable to get version: %1").arg(Logger::escaped(reply->errorString())));
    }
    reply->disconnect(this);
    reply->deleteLater();
    if (reply == m_reply)
        m_reply = nullptr;
}

void TUpdate::sslErrors(const QList<QSslError> &errors)
{
    // Never ignored: the request then fails and ends in "Unable to get version."
    for (const QSslError &error : errors)
        Logger::warning(QStringLiteral("Update check: %1").arg(Logger::escaped(error.errorString())));
}

void TUpdate::showNextBox()
{
    if (m_boxOpen || m_pendingBoxes <= 0)
        return;
    m_boxOpen = true;
    --m_pendingBoxes;

    QMessageBox box(QMessageBox::Information, QStringLiteral("Quor Manager"),
        tr("A New Release is available\nto download\n"), QMessageBox::NoButton, this);
    box.setWindowOpacity(0.9);
    QPushButton *download = box.addButton(tr("&Download the new Release"), QMessageBox::AcceptRole);
    box.addButton(tr("&Continue"), QMessageBox::RejectRole);
    BoxRunner::run(&box);
    const bool wantsDownload = box.clickedButton() == download;
    m_boxOpen = false;

    if (!wantsDownload) {
        // "Continue", Escape or closing the box: no further box for what has
        // been received so far.
        m_pendingBoxes = 0;
        return;
    }
    goToDownload();
    if (m_pendingBoxes > 0)
        QMetaObject::invokeMethod(this, &TUpdate::showNextBox, Qt::QueuedConnection);
}

void TUpdate::goToDownload()
{
    const QUrl url = downloadUrl();
    if (url.isEmpty() || !m_openUrl)
        return;
    m_openUrl(url);
}
