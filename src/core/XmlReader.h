#pragma once

#include <QString>

class QDomDocument;

// Base of every XML file the program keeps: a document element, sections under
// it and keys under the sections whose text is the value.
//
// A file that exists but does not parse (or has no document element) is moved
// aside so that the owner starts a fresh document instead of overwriting the
// user's file; see movedAside(). Earlier copies are kept: the first goes to
// "<file>.bad", later ones to "<file>.bad.1", "<file>.bad.2" and so on. A file
// that cannot be read, or cannot be moved aside, is never overwritten.
class XmlReader
{
public:
    explicit XmlReader(const QString &fileName);
    virtual ~XmlReader();

    XmlReader(const XmlReader &) = delete;
    XmlReader &operator=(const XmlReader &) = delete;

    // Appends a document element when the file does not exist yet (or was set
    // aside as corrupt). Does not save.
    void createRoot(const QString &tag);

    // Writes the whole document (UTF-8, no XML declaration, document type line
    // first, indent 4) through a temporary file and rename. Returns false and
    // logs when the file cannot be written; the old file is then untouched.
    bool save();

    // The text of key in section under the document element, or "not_found".
    QString getValue(const QString &key, const QString &section) const;
    // Replaces the text of an existing key; nothing when section or key is missing.
    void setValue(const QString &key, const QString &value, const QString &section);
    // Appends key with its value to the section when the section has no such key;
    // a missing section is created first.
    void addValue(const QString &key, const QString &value, const QString &section);
    bool hasSection(const QString &section) const;

    QString fileName() const { return m_fileName; }
    // True when the constructor found a corrupt file and moved it aside.
    bool movedAside() const { return !m_movedAsidePath.isEmpty(); }
    // Where the corrupt file went; empty when it was not moved.
    QString movedAsidePath() const { return m_movedAsidePath; }

    static QString notFound() { return QStringLiteral("not_found"); }

    // The text without the characters XML 1.0 cannot carry (most control
    // characters, lone surrogates, U+FFFE and U+FFFF), which would make the
    // whole file unreadable at the next start. setValue and addValue apply it.
    static QString xmlSafe(const QString &text);

    // Corrupt copies kept at most; with every name taken the file stays put.
    static constexpr int kMaxKeptCopies = 10;

protected:
    QString m_fileName;
    QDomDocument *m_document;

private:
    void moveAside(int line, int column, const QString &why);
    QString m_movedAsidePath;
    // The file exists but could not be read or set aside: never overwrite it.
    bool m_unreadable = false;
};
