#pragma once

#include <QDomElement>
#include <QString>

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

private:
    class Writer;

    QByteArray documentBytes() const;

    bool m_readOnly = false;
    std::unique_ptr<Writer> m_writer;
};
