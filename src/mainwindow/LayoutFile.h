#pragma once

#include <QByteArray>
#include <QString>

// The main window's layout file (".geo" in the data directory): one byte N,
// N bytes of window geometry, then the window state to the end of the file.
// Both blocks are the toolkit's and opaque here.
namespace LayoutFile {

struct Blocks
{
    QByteArray geometry;
    QByteArray state;
};

enum class ReadResult {
    Missing, // no file, or it cannot be opened: the default arrangement, silently
    Bad,     // empty, shorter than its length byte says, or without a state block
    Ok,
};

enum class WriteResult {
    Ok,
    OpenFailed,  // nothing written
    WriteFailed, // the old file, if any, is left as it was
};

ReadResult read(const QString &path, Blocks *blocks);

// Written through a temporary file and a rename, so a failed write never
// leaves half a file. A geometry block longer than the length byte can tell
// is refused as a write failure. errorText receives the reason on failure.
WriteResult write(const QString &path, const Blocks &blocks, QString *errorText);

} // namespace LayoutFile
