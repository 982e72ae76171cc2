#include "softphone/AioPrefFile.h"

#include "core/Logger.h"
#include "core/Paths.h"

namespace {

const QString rootTag = QStringLiteral("aiopref");
const QString section = QStringLiteral("levels");
const QString inputKey = QStringLiteral("input");
const QString outputKey = QStringLiteral("output");

} // namespace

AioPrefFile::AioPrefFile()
    : AioPrefFile(Paths::dataFile(QStringLiteral("aiopref.xml")))
{
}

AioPrefFile::AioPrefFile(const QString &fileName)
    : XmlReader(fileName)
{
    createRoot(rootTag);
}

int AioPrefFile::readLevel(const QString &key)
{
    const QString text = getValue(key, section);
    if (text == notFound()) {
        addValue(key, QString::number(defaultLevel), section);
        return defaultLevel;
    }
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    int level = value;
    if (!ok)
        level = defaultLevel;
    else if (value < 0)
        level = 0;
    else if (value > 100)
        level = 100;
    if (level != value || !ok) {
        Logger::warning(QStringLiteral("%1: level %2 \"%3\" is not a number from 0 to 100; using %4")
                            .arg(fileName(), key, Logger::escaped(text.left(40)))
                            .arg(level));
        setValue(key, QString::number(level), section);
    }
    return level;
}

void AioPrefFile::load(int *input, int *output)
{
    const int in = readLevel(inputKey);
    const int out = readLevel(outputKey);
    if (input)
        *input = in;
    if (output)
        *output = out;
    save();
}

bool AioPrefFile::store(int input, int output)
{
    addValue(inputKey, QString(), section);
    addValue(outputKey, QString(), section);
    setValue(inputKey, QString::number(qBound(0, input, 100)), section);
    setValue(outputKey, QString::number(qBound(0, output, 100)), section);
    return save();
}
