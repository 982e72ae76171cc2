#include "mainwindow/HelpLinks.h"

#include <QDir>

#include "core/Logger.h"
#include "core/Paths.h"

#ifndef QUOR_HELP_HOST
#define QUOR_HELP_HOST ""
#endif

namespace HelpLinks {

QString helpHost()
{
    return QStringLiteral(QUOR_HELP_HOST).trimmed();
}

QString helpDir()
{
    return QDir::cleanPath(Paths::resourcesDir() + QLatin1String("help"));
}

QUrl pageUrl(const QString &path)
{
    const qsizetype queryAt = path.indexOf(QLatin1Char('?'));
    QString file = queryAt < 0 ? path : path.left(queryAt);

    const QString host = helpHost();
    if (!host.isEmpty()) {
        QUrl url(QLatin1String("https://") + host);
        url.setPath(QDir::cleanPath(QLatin1Char('/') + file));
        if (queryAt >= 0)
            url.setQuery(path.mid(queryAt + 1));
        return url;
    }

    file = QDir::cleanPath(QLatin1Char('/') + file);
    if (file.startsWith(QLatin1String("/.."))) {
        Logger::warning(QStringLiteral("Help path outside the help pages: %1").arg(Logger::escaped(path)));
        file = QDir::cleanPath(QLatin1String(kMainPagePath));
    }
    if (file == QLatin1String("/"))
        file = QStringLiteral("/index.html");
    else if (file.endsWith(QLatin1String(".php")))
        file = file.left(file.size() - 4) + QLatin1String(".html");
    return QUrl::fromLocalFile(helpDir() + file);
}

QUrl linkUrl(const QUrl &link)
{
    const QString scheme = link.scheme().toLower();
    if (!scheme.isEmpty() && scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return mainPage();
    QString path = link.path();
    if (link.hasQuery())
        path += QLatin1Char('?') + link.query();
    return pageUrl(path);
}

QUrl mainPage()
{
    return pageUrl(QLatin1String(kMainPagePath));
}

} // namespace HelpLinks
