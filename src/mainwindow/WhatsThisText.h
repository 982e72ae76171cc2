#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The rich text of a What's This help: a bold title, then one paragraph per
// line (an empty line stays empty), then one paragraph per link, each
// underlined in blue and pointing at a help path. A click on a link reaches the
// main window, which opens the help window on it.
namespace WhatsThisText {

using Link = QPair<QString, QString>; // caption, help path

// The host part that links carry; the main window reads only their path.
inline constexpr char kLinkHost[] = "https://help.quor.example";

QString build(const QString &title, const QStringList &lines, const QList<Link> &links);

} // namespace WhatsThisText
