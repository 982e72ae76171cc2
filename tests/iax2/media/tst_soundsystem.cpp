#include <QElapsedTimer>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <unistd.h>

#include "iax2/media/PortAudioDevice.h"

// A sound library that never returns from PortAudio's first probe (a stale
// lock of a killed JACK client) must not take the phone, or the window that
// makes it, down with it.
class TestSoundSystem : public QObject
{
    Q_OBJECT

private slots:
    void stuckProbeLeavesThePhoneWithoutSound()
    {
        // Left allocated: the probe still waits on them when the program ends.
        static auto *mutex = new std::mutex;
        static auto *never = new std::condition_variable;
        static int probes = 0;
        iax2::PortAudioDevice::setFirstInitialisation(
            [] {
                std::unique_lock<std::mutex> lock(*mutex);
                ++probes;
                never->wait(lock, [] { return false; });
                return 0;
            },
            300);

        // QtTest's watchdog reads the environment on its own thread at every
        // test function, like Qt's and the sound libraries' threads in the
        // program: a device must find it set already and leave it alone.
        QCOMPARE(qgetenv("JACK_NO_START_SERVER"), QByteArray("1"));
        char **const environment = environ;

        for (int i = 0; i < 2; ++i) {
            QElapsedTimer clock;
            clock.start();
            iax2::PortAudioDevice card;
            QCOMPARE(environ, environment);
            QVERIFY(clock.elapsed() < 3000);
            QVERIFY(!card.isInitialized());
            QVERIFY(card.devices().empty());
            std::string reported;
            card.setErrorHandler([&reported](const std::string &message) { reported = message; });
            QVERIFY(!card.start());
            QVERIFY2(reported.find("did not answer") != std::string::npos, reported.c_str());
        }
        std::lock_guard<std::mutex> lock(*mutex);
        QCOMPARE(probes, 1);
    }
};

QTEST_GUILESS_MAIN(TestSoundSystem)
#include "tst_soundsystem.moc"
