#include "mainwindow/LayoutFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace LayoutFile {

namespace {

// The file is tiny; anything larger is not one of ours and is not read whole.
constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr int kMaxGeometryBytes = 255;

} // namespace

ReadResult read(const QString &path, Blocks *blocks)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Missing;
    if (file.size() > kMaxFileBytes)
        return ReadResult::Bad;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return ReadResult::Bad;
    const int length = static_cast<unsigned char>(bytes.at(0));
    if (bytes.size() - 1 < length)
        return ReadResult::Bad;
    blocks->geometry = bytes.mid(1, length);
    blocks->state = bytes.mid(1 + length);
    return blocks->state.isEmpty() ? ReadResult::Bad : ReadResult::Ok;
}

WriteResult write(const QString &path, const Blocks &blocks, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *errorText = file.errorString();
        return WriteResult::OpenFailed;
    }
    if (blocks.geometry.size() > kMaxGeometryBytes) {
        file.cancelWriting();
        *errorText = QCoreApplication::translate("LayoutFile", "The window geometry takes %1 bytes, more than %2")
                         .arg(blocks.geometry.size())
                         .arg(kMaxGeometryBytes);
        return WriteResult::WriteFailed;
    }
    const char length = static_cast<char>(blocks.geometry.size());
    const bool written = file.putChar(length) && file.write(blocks.geometry) == blocks.geometry.size()
        && file.write(blocks.state) == blocks.state.size();
    if (!written) {
        *errorText = file.errorString();
        file.cancelWriting();
        return WriteResult::WriteFailed;
    }
    if (!file.commit()) {
        *errorText = file.errorString();
        return WriteResult::WriteFailed;
    }
    return WriteResult::Ok;
}

} // namespace LayoutFile
