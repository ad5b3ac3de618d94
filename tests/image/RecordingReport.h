// Keeps every text an operation shows; answers questions with a fixed reply.
#pragma once

#include <string>
#include <vector>

#include "IOperatorReport.h"

class RecordingReport : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override
    {
        questions.push_back(text);
        return answer;
    }
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer = true;
};
