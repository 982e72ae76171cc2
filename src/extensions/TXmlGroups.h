#pragma once

#include <QDomElement>
#include <QHash>
#include <QList>
#include <QString>

#include "core/XmlReader.h"

class TExtensionGroup;

// What "extgroups.xml" keeps of one grouped extension until its peer appears
// and the tile takes its place in the group.
struct TGroupExt
{
    QString groupName;
    QString tech;
    QString chan;
    QString uname;
    QString ci;
};

// Reader and writer of "extgroups.xml": the groups in display order with their
// name, description, visibility, expansion, sort key and extensions.
class TXmlGroups : public XmlReader
{
public:
    explicit TXmlGroups(const QString &fileName);
    ~TXmlGroups() override;

    // One new group per "group" element, in file order; one new record per
    // "extension" element appended to *exts (a list is made when there is
    // none). The caller owns everything.
    QList<TExtensionGroup *> readGroups(QList<TGroupExt *> *&exts);

    // Records whose peer has not appeared yet, by the group they are kept in.
    using Unclaimed = QHash<const TExtensionGroup *, QList<const TGroupExt *>>;

    // Replaces the whole document (its document type too) by the groups, each
    // with its tiles and then its unclaimed records. Does not write the file.
    void writeGroups(QList<TExtensionGroup *> &groups, const Unclaimed &unclaimed = {});

    // An element holding one text node; characters XML cannot carry are left
    // out, so that a caller name from the PBX cannot make the file unreadable.
    QDomElement createTextElement(const QString &tag, const QString &text);

private:
    void appendExtension(
        QDomElement &group, const QString &tech, const QString &chan, const QString &uname, const QString &ci);
};
