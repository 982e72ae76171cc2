#include "softphone/AioPrefFile.h"

#include "core/Logger.h"
#include "core/Paths.h"

namespace {

const QString kRootTag = QStringLiteral("aiopref");
const QString kSection = QStringLiteral("levels");
const QString kInputKey = QStringLiteral("input");
const QString kOutputKey = QStringLiteral("output");

} // namespace

AioPrefFile::AioPrefFile()
    : AioPrefFile(Paths::dataFile(QStringLiteral("aiopref.xml")))
{
}

AioPrefFile::AioPrefFile(const QString &fileName)
    : XmlReader(fileName)
{
    createRoot(kRootTag);
}

int AioPrefFile::readLevel(const QString &key)
{
    const QString text = getValue(key, kSection);
    if (text == notFound()) {
        addValue(key, QString::number(kDefaultLevel), kSection);
        return kDefaultLevel;
    }
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    int level = value;
    if (!ok)
        level = kDefaultLevel;
    else if (value < 0)
        level = 0;
    else if (value > 100)
        level = 100;
    if (level != value || !ok) {
        Logger::warning(QStringLiteral("%1: level %2 \"%3\" is not a number from 0 to 100; using %4")
                            .arg(fileName(), key, Logger::escaped(text.left(40)))
                            .arg(level));
        setValue(key, QString::number(level), kSection);
    }
    return level;
}

void AioPrefFile::load(int *input, int *output)
{
    const int in = readLevel(kInputKey);
    const int out = readLevel(kOutputKey);
    if (input)
        *input = in;
    if (output)
        *output = out;
    save();
}

bool AioPrefFile::store(int input, int output)
{
    addValue(kInputKey, QString(), kSection);
    addValue(kOutputKey, QString(), kSection);
    setValue(kInputKey, QString::number(qBound(0, input, 100)), kSection);
    setValue(kOutputKey, QString::number(qBound(0, output, 100)), kSection);
    return save();
}
