// PortAudio prints its run-time complaints (a stream whose device failed:
// "Expression '...' failed in 'src/hostapi/alsa/pa_linux_alsa.c', line: N")
// to standard error from its stream threads, and Debian's build exports no
// hook to send them elsewhere. While a stream is open, standard error runs
// through a pipe: PortAudio's lines go to the audio log, every other line
// passes on to where standard error went before, unchanged.
#pragma once

#include <string>

class CStderrTap {
public:
    using Sink = void (*)(const char* line);

    // One more open stream; the first sets the tap up. Lines of PortAudio go
    // to sink (none: dropped).
    static void Acquire(Sink sink);
    // One stream fewer; the last gives standard error back. A program this
    // process started meanwhile still writes through the pipe, which is read
    // and passed on until that program closes it.
    static void Release();

    // Whether a line of standard error is one of PortAudio's.
    static bool IsPortAudioLine(const std::string& line);
};
