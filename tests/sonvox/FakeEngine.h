// A device side for tests of the exports: the machine has no sound card, so
// the hooks of Engine.h record their calls and return what a test sets.
#pragma once

#include <string>

struct FakeEngine {
    bool prepareOk = true;
    bool formatOk = true;
    bool playbackOk = true;
    std::string formatError = "<Unknown Error>";
    int recordResult = 1;
    int stopResult = 1;
    int saveResult = 1;
    int previewResult = 1;
    bool inputLost = false;  // the recording ended by itself

    int prepareCalls = 0;
    int shutdownCalls = 0;
    int startPlaybackCalls = 0;
    int stopPlaybackCalls = 0;
    int previewCalls = 0;
    int cancelCalls = 0;
    int saveCalls = 0;
    int stopCalls = 0;
};

FakeEngine& Fake();
