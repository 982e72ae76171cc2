#include "extensions/TXmlGroups.h"

#include <QDomDocument>

#include "extensions/QuorAgent.h"
#include "extensions/TExtensionGroup.h"

namespace {

QString yesNo(bool on)
{
    return on ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

TXmlGroups::TXmlGroups(const QString &fileName)
    : XmlReader(fileName)
{
}

TXmlGroups::~TXmlGroups() = default;

QList<TExtensionGroup *> TXmlGroups::readGroups(QList<TGroupExt *> *&exts)
{
    if (!exts)
        exts = new QList<TGroupExt *>;
    QList<TExtensionGroup *> result;
    for (QDomNode node = m_document->documentElement().firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement groupElement = node.toElement();
        if (groupElement.isNull() || groupElement.tagName() != QLatin1String("group"))
            continue;
        auto *group = new TExtensionGroup;
        for (QDomNode child = groupElement.firstChild(); !child.isNull(); child = child.nextSibling()) {
            const QDomElement e = child.toElement();
            if (e.isNull())
                continue;
            const QString tag = e.tagName();
            if (tag == QLatin1String("name")) {
                group->setName(e.text());
            } else if (tag == QLatin1String("desc")) {
                group->setDesc(e.text());
            } else if (tag == QLatin1String("visible")) {
                group->setVisibleFlag(e.text() == QLatin1String("yes"));
            } else if (tag == QLatin1String("expanded")) {
                group->setExpanded(e.text() == QLatin1String("yes"));
            } else if (tag == QLatin1String("sort")) {
                group->setSort(e.text().isEmpty() ? QStringLiteral("num") : e.text());
            } else if (tag == QLatin1String("extension")) {
                // The group's name as read so far: a later "name" renames the
                // group but not the records before it.
                auto *ext = new TGroupExt;
                ext->groupName = group->name;
                for (QDomNode f = e.firstChild(); !f.isNull(); f = f.nextSibling()) {
                    const QDomElement field = f.toElement();
                    const QString fieldTag = field.tagName();
                    if (fieldTag == QLatin1String("tech"))
                        ext->tech = field.text();
                    else if (fieldTag == QLatin1String("chan"))
                        ext->chan = field.text();
                    else if (fieldTag == QLatin1String("uname"))
                        ext->uname = field.text();
                    else if (fieldTag == QLatin1String("ci"))
                        ext->ci = field.text();
                }
                exts->append(ext);
            }
        }
        result.append(group);
    }
    return result;
}

void TXmlGroups::writeGroups(QList<TExtensionGroup *> &groups, const Unclaimed &unclaimed)
{
    m_document->clear();
    QDomElement root = m_document->createElement(QStringLiteral("groups"));
    m_document->appendChild(root);
    for (const TExtensionGroup *group : std::as_const(groups)) {
        QDomElement g = m_document->createElement(QStringLiteral("group"));
        root.appendChild(g);
        g.appendChild(createTextElement(QStringLiteral("name"), group->name));
        g.appendChild(createTextElement(QStringLiteral("desc"), group->desc));
        g.appendChild(createTextElement(QStringLiteral("visible"), yesNo(group->visibleFlag)));
        g.appendChild(createTextElement(QStringLiteral("expanded"), yesNo(group->expanded)));
        g.appendChild(createTextElement(QStringLiteral("sort"), group->sort));
        for (const QuorAgent *tile : group->tiles)
            appendExtension(g, tile->tech, tile->extension, tile->callerIdName, tile->customIndex);
        for (const TGroupExt *ext : unclaimed.value(group))
            appendExtension(g, ext->tech, ext->chan, ext->uname, ext->ci);
    }
}

void TXmlGroups::appendExtension(
    QDomElement &group, const QString &tech, const QString &chan, const QString &uname, const QString &ci)
{
    QDomElement e = m_document->createElement(QStringLiteral("extension"));
    group.appendChild(e);
    e.appendChild(createTextElement(QStringLiteral("tech"), tech));
    e.appendChild(createTextElement(QStringLiteral("chan"), chan));
    e.appendChild(createTextElement(QStringLiteral("uname"), uname));
    e.appendChild(createTextElement(QStringLiteral("ci"), ci));
}

QDomElement TXmlGroups::createTextElement(const QString &tag, const QString &text)
{
    QDomElement e = m_document->createElement(tag);
    e.appendChild(m_document->createTextNode(xmlSafe(text)));
    return e;
}
