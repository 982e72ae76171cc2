#pragma once

#include "core/XmlReader.h"

// "aiopref.xml": the volume levels of the phone's audio, as percentages.
//
//   <aiopref><levels><input>80</input><output>80</output></levels></aiopref>
class AioPrefFile : public XmlReader
{
public:
    static constexpr int kDefaultLevel = 80;

    // The file in the data directory, or another path (tests).
    AioPrefFile();
    explicit AioPrefFile(const QString &fileName);

    // Reads both levels; a missing, non-numeric or out-of-range value gives the
    // default or the nearest limit (with a warning), and the file is written
    // back complete.
    void load(int *input, int *output);
    // Stores both levels (clamped to 0..100) and saves the file.
    bool store(int input, int output);

private:
    int readLevel(const QString &key);
};
