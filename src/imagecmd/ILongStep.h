// How the slow steps of a command (reading and converting an audio file) run:
// ormid-cli runs them in line, the panel on a worker thread behind a progress
// box whose Cancel stops them.
#pragma once

#include <functional>
#include <string>

#include "CAudioConverter.h"

class ILongStep {
public:
    // Short: usually over at once (reading a file's format), shown only when
    // it lasts; Long: a conversion the operator asked for, shown at once.
    enum class Length { Short, Long };

    virtual ~ILongStep() = default;
    // Runs work to its end. When the operator stops it, control.stop is set
    // on return, even if the work had just finished.
    virtual void Run(const std::string& caption, Length length, CConvertControl& control,
                     const std::function<void()>& work) = 0;
};

// Runs every step in line, with nobody to stop it.
class CInlineStep : public ILongStep {
public:
    void Run(const std::string&, Length, CConvertControl&, const std::function<void()>& work) override { work(); }
};
