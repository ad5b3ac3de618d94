// Builds the codec information report from a codec registry. Each failed
// query is one "CoderInfor ln:N - text" line in the diagnostics log (and in
// Failures()) and leaves its part out of the report.
#pragma once

#include "ICodecRegistry.h"

#include <string>
#include <vector>

class CCodecReport {
public:
    explicit CCodecReport(ICodecRegistry& registry) : m_registry(registry) { }

    // Builds the whole report; Text() holds it afterwards.
    void Build();
    const std::string& Text() const { return m_text; }
    const std::vector<std::string>& Failures() const { return m_failures; }

    // The log text of a registry error code.
    static const char* ErrorText(int code);

private:
    // Appends the details, the formats; false when a step failed.
    bool AddDriver(const CodecDriver& driver);
    void Fail(int line, int code);
    void Append(const char* format, ...) __attribute__((format(printf, 2, 3)));

    ICodecRegistry& m_registry;
    std::string m_text;
    std::vector<std::string> m_failures;
};
