#include "contacts/XmlStore.h"

#include <QDomDocument>
#include <QFile>
#include <QSaveFile>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/Logger.h"
#include "core/XmlReader.h"

namespace {

const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Logger::error(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
        return false;
    }
    // The LDAP list keeps passwords in plain text, the address book private data.
    file.setPermissions(kOwnerOnly);
    file.write(bytes);
    if (!file.commit()) {
        Logger::error(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

} // namespace

// One thread per store that writes the latest text handed to it.
class XmlStore::Writer
{
public:
    explicit Writer(const QString &path)
        : m_path(path)
        , m_thread([this] { run(); })
    {
    }

    ~Writer()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void put(QByteArray bytes)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_bytes = std::move(bytes);
            ++m_requested;
        }
        m_wake.notify_all();
    }

    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_written == m_requested; });
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_taken != m_requested; });
            if (m_taken == m_requested)
                return;
            const QByteArray bytes = std::move(m_bytes);
            m_bytes = QByteArray();
            m_taken = m_requested;
            const quint64 taken = m_taken;
            lock.unlock();
            writeAtomically(m_path, bytes);
            lock.lock();
            m_written = taken;
            m_done.notify_all();
        }
    }

    const QString m_path;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    QByteArray m_bytes;
    quint64 m_requested = 0;
    quint64 m_taken = 0;
    quint64 m_written = 0;
    bool m_stop = false;
    std::thread m_thread;
};

XmlStore::XmlStore(const QString &fileName)
    : XmlReader(fileName)
{
    // A file that is there but gave no document, and was not set aside, could
    // not be read: the user's bytes stay untouched.
    m_readOnly = QFile::exists(fileName) && m_document->documentElement().isNull() && !movedAside();
}

XmlStore::~XmlStore()
{
    // The writer finishes its last text before it stops.
    m_writer.reset();
}

bool XmlStore::createFile(const QString &rootTag)
{
    if (QFile::exists(m_fileName))
        return false;
    createRoot(rootTag);
    saveNow();
    return true;
}

QByteArray XmlStore::documentBytes() const
{
    return m_document->toByteArray(4);
}

bool XmlStore::saveNow()
{
    if (m_readOnly) {
        Logger::error(QStringLiteral("Not saving %1: the file on disk could not be read").arg(m_fileName));
        return false;
    }
    waitForSaved();
    return writeAtomically(m_fileName, documentBytes());
}

void XmlStore::saveLater()
{
    if (m_readOnly) {
        Logger::error(QStringLiteral("Not saving %1: the file on disk could not be read").arg(m_fileName));
        return;
    }
    if (!m_writer)
        m_writer = std::make_unique<Writer>(m_fileName);
    m_writer->put(documentBytes());
}

void XmlStore::waitForSaved()
{
    if (m_writer)
        m_writer->wait();
}

void XmlStore::remember(const QObject *record, const QDomElement &element)
{
    m_elements.insert(record, element);
}

QDomElement XmlStore::elementOf(const QObject *record, const QString &tag, const XmlStore::Matcher &matches) const
{
    const QDomElement root = m_document->documentElement();
    if (root.isNull())
        return {};
    const auto known = m_elements.constFind(record);
    if (known != m_elements.cend())
        return known->parentNode() == root ? *known : QDomElement();
    for (QDomElement element = root.firstChildElement(tag); !element.isNull();
         element = element.nextSiblingElement(tag)) {
        if (matches(element))
            return element;
    }
    return {};
}

void XmlStore::appendRecord(const QObject *record, const QDomElement &element)
{
    QDomElement root = m_document->documentElement();
    if (!root.isNull())
        m_elements.insert(record, root.appendChild(element).toElement());
}

void XmlStore::removeRecord(const QObject *record, const QString &tag, const Matcher &matches)
{
    const QDomElement element = elementOf(record, tag, matches);
    if (element.isNull())
        return;
    m_document->documentElement().removeChild(element);
    m_elements.remove(record);
}

void XmlStore::replaceRecord(
    const QObject *record, const QString &tag, const Matcher &matches, const QDomElement &replacement)
{
    const QDomElement element = elementOf(record, tag, matches);
    if (element.isNull())
        return;
    m_document->documentElement().replaceChild(replacement, element);
    m_elements.insert(record, replacement);
}

QDomElement XmlStore::createTextElement(const QString &tag, const QString &text)
{
    QDomElement element = m_document->createElement(tag);
    element.appendChild(m_document->createTextNode(safeText(text)));
    return element;
}

QString XmlStore::safeText(const QString &text)
{
    const QString safe = XmlReader::xmlSafe(text);
    if (safe.size() != text.size())
        Logger::warning(QStringLiteral("Left characters that XML cannot carry out of a stored text"));
    return safe;
}
