#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include "core/Paths.h"
#include "core/XmlReader.h"

// Values of "quorer.xml" in the data directory, each as ("section/key",
// value), written before the settings object reads the file.
using SettingKeys = QList<QPair<QString, QString>>;

inline bool writeSettingKeys(const SettingKeys &keys)
{
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    for (const auto &k : keys) {
        const QString section = k.first.section(QLatin1Char('/'), 0, 0);
        const QString key = k.first.section(QLatin1Char('/'), 1);
        xml.addValue(key, k.second, section);
        xml.setValue(key, k.second, section);
    }
    return xml.save();
}
