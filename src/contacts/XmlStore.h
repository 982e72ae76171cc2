#pragma once

#include <QDomElement>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "core/XmlReader.h"

class QDomDocument;

// An XmlReader file that a store edits through the DOM. Every text it puts into
// the document passes the XML filter, and the file is written atomically and
// readable by its owner only: at once, or on a writer thread so that a large
// file never holds the GUI.
//
// A file that exists but could not be read is never written over; one that did
// not parse has been set aside by XmlReader and a fresh file starts.
class XmlStore : public XmlReader
{
public:
    explicit XmlStore(const QString &fileName);
    // Waits until every change handed to saveLater() is on disk.
    ~XmlStore() override;

    // Creates the file with its document element when no file exists (also
    // after a corrupt one was set aside); false when a file was there.
    bool createFile(const QString &rootTag);

    // Writes the document now; false (and a log line) when it cannot or may not.
    bool saveNow();
    // Takes the document's text now and writes it on the writer thread; a newer
    // text replaces one whose write has not started.
    void saveLater();
    // Returns once everything given to saveLater() is on disk (or has failed).
    void waitForSaved();

    // A new element tag holding one text node, also when the text is empty, so
    // that it is written <tag></tag>.
    QDomElement createTextElement(const QString &tag, const QString &text);

    // The text without the characters XML 1.0 cannot carry, which would make
    // the whole file unreadable at the next start.
    static QString safeText(const QString &text);

protected:
    QDomDocument &document() { return *m_document; }
    const QDomDocument &document() const { return *m_document; }

    // The records of a store are found by identity: the element a record was
    // read from, added as or last replaced by. A matching rule serves only
    // records the store has never seen.
    using Matcher = std::function<bool(const QDomElement &)>;
    void remember(const QObject *record, const QDomElement &element);
    // The record's own element, else the first element named tag that matches;
    // null when none, or when the record's element has left the document.
    QDomElement elementOf(const QObject *record, const QString &tag, const Matcher &matches) const;
    void appendRecord(const QObject *record, const QDomElement &element);
    void removeRecord(const QObject *record, const QString &tag, const Matcher &matches);
    // The replacement takes the place of the record's element and becomes it.
    void replaceRecord(
        const QObject *record, const QString &tag, const Matcher &matches, const QDomElement &replacement);

private:
    class Writer;

    QByteArray documentBytes() const;

    QHash<const QObject *, QDomElement> m_elements;
    bool m_readOnly = false;
    std::unique_ptr<Writer> m_writer;
};
