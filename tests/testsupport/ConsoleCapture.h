#pragma once

// What a piece of code prints on stderr, for the checks that libraries
// (libspeex, JACK, ALSA) keep quiet on the user's console.

#include <QByteArray>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

template<class Code>
QByteArray stderrOf(Code code)
{
    QTemporaryFile file;
    if (!file.open())
        return QByteArrayLiteral("(stderr could not be captured)");
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(file.handle(), STDERR_FILENO);
    code();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
}
