#include "core/XmlReader.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/Logger.h"

XmlReader::XmlReader(const QString &fileName)
    : m_fileName(fileName)
    , m_document(new QDomDocument(QStringLiteral("xmlreader")))
{
    QFile file(m_fileName);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_unreadable = true;
        Logger::warning(QStringLiteral("Could not read %1: %2").arg(m_fileName, file.errorString()));
        return;
    }
    QString error;
    int line = 0;
    int column = 0;
    const bool parsed = m_document->setContent(&file, &error, &line, &column);
    file.close();
    if (parsed && !m_document->documentElement().isNull())
        return;

    *m_document = QDomDocument(QStringLiteral("xmlreader"));
    moveAside(line, column, parsed ? QStringLiteral("no document element") : error);
}

// Keeps the user's file for inspection rather than overwrite it with defaults,
// and never in place of a copy kept from an earlier start.
void XmlReader::moveAside(int line, int column, const QString &why)
{
    for (int n = 0; n < kMaxKeptCopies; ++n) {
        const QString aside = m_fileName + QLatin1String(".bad") + (n ? u'.' + QString::number(n) : QString());
        const QFileInfo taken(aside);
        if (taken.exists() || taken.isSymLink())
            continue;
        if (!QFile::rename(m_fileName, aside))
            break;
        m_movedAsidePath = aside;
        Logger::warning(QStringLiteral("%1 is not a valid settings file (line %2, column %3: %4); kept as %5")
                            .arg(m_fileName)
                            .arg(line)
                            .arg(column)
                            .arg(why, aside));
        return;
    }
    m_unreadable = true;
    Logger::error(QStringLiteral("%1 is not a valid settings file and could not be moved aside; "
                                 "it will not be overwritten")
                      .arg(m_fileName));
}

XmlReader::~XmlReader()
{
    delete m_document;
}

void XmlReader::createRoot(const QString &tag)
{
    if (QFile::exists(m_fileName) || !m_document->documentElement().isNull())
        return;
    m_document->appendChild(m_document->createElement(tag));
}

bool XmlReader::save()
{
    if (m_unreadable) {
        Logger::error(QStringLiteral("Not saving %1: the file on disk could not be read").arg(m_fileName));
        return false;
    }
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        Logger::error(QStringLiteral("Could not write %1: %2").arg(m_fileName, file.errorString()));
        return false;
    }
    file.write(m_document->toByteArray(4));
    if (!file.commit()) {
        Logger::error(QStringLiteral("Could not write %1: %2").arg(m_fileName, file.errorString()));
        return false;
    }
    return true;
}

QString XmlReader::xmlSafe(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(c).append(text.at(++i));
            continue;
        }
        if ((u >= 0x20 && u != 0xfffe && u != 0xffff && !c.isSurrogate()) || u == '\t' || u == '\n' || u == '\r')
            out.append(c);
    }
    return out;
}

// The value as the file can hold it, with a warning when something was left out.
static QString storable(const QString &value, const QString &key)
{
    QString safe = XmlReader::xmlSafe(value);
    if (safe.size() != value.size())
        Logger::warning(QStringLiteral("Left control characters out of the value of \"%1\"").arg(key));
    return safe;
}

static QDomElement sectionElement(const QDomDocument *document, const QString &section)
{
    const QDomElement root = document->documentElement();
    if (root.isNull())
        return {};
    return root.firstChildElement(section);
}

QString XmlReader::getValue(const QString &key, const QString &section) const
{
    const QDomElement sec = sectionElement(m_document, section);
    if (sec.isNull())
        return notFound();
    const QDomElement element = sec.firstChildElement(key);
    if (element.isNull())
        return notFound();
    return element.text();
}

void XmlReader::setValue(const QString &key, const QString &value, const QString &section)
{
    const QDomElement sec = sectionElement(m_document, section);
    if (sec.isNull())
        return;
    QDomElement element = sec.firstChildElement(key);
    if (element.isNull())
        return;
    while (element.hasChildNodes())
        element.removeChild(element.firstChild());
    const QString safe = storable(value, key);
    if (!safe.isEmpty())
        element.appendChild(m_document->createTextNode(safe));
}

void XmlReader::addValue(const QString &key, const QString &value, const QString &section)
{
    QDomElement root = m_document->documentElement();
    if (root.isNull())
        return;
    QDomElement sec = root.firstChildElement(section);
    if (sec.isNull())
        sec = root.appendChild(m_document->createElement(section)).toElement();
    if (!sec.firstChildElement(key).isNull())
        return;
    QDomElement element = m_document->createElement(key);
    const QString safe = storable(value, key);
    if (!safe.isEmpty())
        element.appendChild(m_document->createTextNode(safe));
    sec.appendChild(element);
}

bool XmlReader::hasSection(const QString &section) const
{
    return !sectionElement(m_document, section).isNull();
}
