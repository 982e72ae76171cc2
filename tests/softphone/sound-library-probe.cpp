// Starts and stops PortAudio and nothing else, so that the sound-card test can
// tell a machine whose sound library does not start from a fault of the
// program's. Exits 0 when it starts; otherwise prints the library's error.

#include <portaudio.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main()
{
    // The test's own check of its skip: hang as a library stuck on a lock does.
    if (std::getenv("QUOR_SOUND_PROBE_HANG")) {
        for (;;)
            pause();
    }
    const PaError error = Pa_Initialize();
    if (error != paNoError) {
        std::printf("%s\n", Pa_GetErrorText(error));
        return 1;
    }
    Pa_Terminate();
    return 0;
}
