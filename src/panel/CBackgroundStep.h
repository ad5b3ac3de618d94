// Runs a long step (decoding and converting an audio file) on a worker thread
// while the user-interface thread keeps handling events. Meanwhile the
// operator's input is held off every window and a progress box shows whose
// Cancel button (or Escape) asks the step to stop: at once for a conversion
// (its decoder may take long or stop answering), after a moment for a step
// that is usually over at once. Afterwards the focus goes back where it was. Returns when the step has ended either way; control.stop then
// tells whether the operator cancelled, even if the step had just finished.
#pragma once

#include <QString>

#include <functional>

#include "CAudioConverter.h"
#include "ILongStep.h"

class QWidget;

class CBackgroundStep {
public:
    // showAfterMs: how long the step runs unseen before its box appears.
    static void Run(QWidget* parent, const QString& label, int showAfterMs, CConvertControl& control,
                    const std::function<void()>& work);
};

// The image commands' slow steps, run as above over a parent window.
class CBackgroundLongStep : public ILongStep {
public:
    explicit CBackgroundLongStep(QWidget* parent) : m_parent(parent) { }
    void Run(const std::string& caption, Length length, CConvertControl& control,
             const std::function<void()>& work) override
    {
        // A short step that ends within this is never seen.
        const int kShortStepUnseenMs = 300;
        CBackgroundStep::Run(m_parent, QString::fromStdString(caption), length == Length::Long ? 0 : kShortStepUnseenMs,
                             control, work);
    }

private:
    QWidget* m_parent;
};
