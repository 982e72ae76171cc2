#include "mainwindow/WhatsThisText.h"

namespace WhatsThisText {

QString build(const QString &title, const QStringList &lines, const QList<Link> &links)
{
    const auto paragraph = [](const QString &content) {
        if (content.isEmpty())
            return QStringLiteral("<p style=\"-qt-paragraph-type:empty; margin:0px;\"><br /></p>");
        return QStringLiteral("<p style=\"margin:0px;\">%1</p>").arg(content);
    };
    QString text = QStringLiteral("<html><head><meta name=\"qrichtext\" content=\"1\" /></head>"
                                  "<body style=\"font-family:Arial, Helvetica, sans-serif; font-size:10pt;\">");
    text += paragraph(QStringLiteral("<span style=\"font-weight:600;\">%1</span>").arg(title.toHtmlEscaped()));
    for (const QString &line : lines)
        text += paragraph(line.toHtmlEscaped());
    for (const Link &link : links) {
        text += paragraph(QStringLiteral("<a href=\"%1%2\"><span style=\"text-decoration:underline; "
                                         "color:#0000ff;\">%3</span></a>")
                              .arg(QLatin1String(kLinkHost), link.second.toHtmlEscaped(), link.first.toHtmlEscaped()));
    }
    return text + QStringLiteral("</body></html>");
}

} // namespace WhatsThisText
