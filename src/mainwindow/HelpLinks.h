#pragma once

#include <QString>
#include <QUrl>

// Where a help path leads. Help paths are the addresses the menus and the
// What's This texts name ("/en/quormanager-help/2.php", a topic page, the FAQ
// ...). Unless the build names a help host (CMake QUOR_HELP_HOST), they lead
// to the pages shipped in Resources/help/, so that help never needs the network.
namespace HelpLinks {

// The main help page, opened by the Help action, the menu strip's Help button
// and Ctrl+Help.
inline constexpr char kMainPagePath[] = "/en/quormanager-help/2.php";

// The host named by the build; empty for the shipped pages.
QString helpHost();

// The shipped help folder: resources directory + "help", without "." or "..".
QString helpDir();

// A help path (query allowed) as the URL to show. Shipped pages: the query is
// dropped, ".php" is read as ".html" and the file lies under helpDir(); a path
// that climbs out of that folder leads to the main page. With a help host:
// "https://" + host + the path as given.
QUrl pageUrl(const QString &path);

// A clicked link (a What's This href). http, https and relative links are read
// by their path and query, whatever their host; any other scheme leads to the
// main page.
QUrl linkUrl(const QUrl &link);

// pageUrl(kMainPagePath).
QUrl mainPage();

} // namespace HelpLinks
