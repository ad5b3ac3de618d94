// Builds test recordings with known truth: synthetic speech from espeak-ng,
// converted by sox to the capture rates and sizes, padded with silence of
// known length, with band-limited noise at a known SNR, DC and clicks mixed
// in. Everything lives in a temporary folder removed with the object.
#pragma once

#include <string>
#include <vector>

struct FixtureCase {
    std::string name;
    unsigned rate = 22050;
    unsigned bits = 16;
    double peakDb = -12.0;     // speech peak, dBFS
    double snrDb = 45.0;       // speech over noise (noise-only cases: noise level, dBFS)
    double dc = 0.0;           // offset, 16-bit units
    double clickBeforeMs = 0;  // a loud click this long before the speech (0: none)
    double clickAfterMs = 0;   // a loud click this long after the speech (0: none)
    bool speech = true;        // false: noise alone
    double leadMs = 800.0;     // silence before the speech
    double trailMs = 800.0;    // silence after it
    double humDb = -200.0;     // mains hum with its harmonics, dBFS RMS of them all
    double humHz = 50.0;       // its fundamental
    double secondDb = -200.0;  // the sentence again this much softer after a pause (-200: not)
    double pauseMs = 800.0;    // between the two sentences
    double speechMs = 0.0;     // the speech cut to this long (0: whole)
    // Sounds made by sox: a 5 ms square-wave click (a switch, a tap on the
    // microphone) at this peak level, this long before or after the speech
    // (0: none); and low-frequency rumble (brown noise low-passed at
    // rumbleHz) at this RMS level over the whole recording (-200: none).
    double tapBeforeMs = 0.0;
    double tapAfterMs = 0.0;
    double tapPeakDb = -1.0;
    double rumbleDb = -200.0;
    double rumbleHz = 150.0;
};

struct Fixture {
    std::string path;
    double speechStartMs = 0.0;  // true boundaries of the speech in the file
    double speechEndMs = 0.0;
    double firstEndMs = 0.0;  // end of the first (louder) sentence
    double snrDb = 0.0;       // true SNR as mixed
    double durationMs = 0.0;
};

class CSpeechFixture {
public:
    static const char* const kText;

    CSpeechFixture();
    ~CSpeechFixture();
    CSpeechFixture(const CSpeechFixture&) = delete;
    CSpeechFixture& operator=(const CSpeechFixture&) = delete;

    // Empty when the tools or the folder are missing.
    const std::string& Error() const { return m_error; }
    const std::string& Dir() const { return m_dir; }
    // Writes the case's WAV file (a fresh copy on every call).
    Fixture Make(const FixtureCase& c);

    // Mains hum at 16-bit scale: the fundamental and harmonics up to 950 Hz
    // (odd ones stronger), dBFS RMS of them all.
    static std::vector<float> Hum(size_t samples, double rate, double hz, double db);

    // Reads a 16-bit or 8-bit PCM or mu-law mono WAV file into 16-bit-scale floats.
    static bool ReadSamples(const std::string& path, std::vector<float>& x, unsigned& rate);
    static bool WritePcm16(const std::string& path, const std::vector<float>& x, unsigned rate);

private:
    bool CleanSpeech(unsigned rate, std::vector<float>& x);
    // Runs sox with these arguments after "sox -R -n -r RATE -b 16 -c 1 FILE"
    // and reads what it made.
    bool SoxSynth(unsigned rate, const std::string& args, std::vector<float>& x);
    bool Run(const std::string& command);

    std::string m_dir;
    std::string m_error;
    int m_serial = 0;
};
