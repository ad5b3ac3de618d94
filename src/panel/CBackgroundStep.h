// Runs a long step (decoding and converting an audio file) on a worker thread
// while the user-interface thread keeps handling events. Meanwhile the
// operator's input is held off every window; a step that lasts long enough to
// be noticed shows a progress box whose Cancel button (or Escape) asks the
// step to stop. Returns when the step has ended either way; control.stop then
// tells whether the operator cancelled, even if the step had just finished.
#pragma once

#include <QString>

#include <functional>

#include "CAudioConverter.h"
#include "ILongStep.h"

class QWidget;

class CBackgroundStep {
public:
    static void Run(QWidget* parent, const QString& label, CConvertControl& control, const std::function<void()>& work);

    // How long a step runs unseen before its box appears (300 ms). Tests that
    // press the box's buttons set 0 so that the box never depends on how fast
    // this machine decodes.
    static void SetShowAfterMs(int ms);
};

// The image commands' slow steps, run as above over a parent window.
class CBackgroundLongStep : public ILongStep {
public:
    explicit CBackgroundLongStep(QWidget* parent) : m_parent(parent) { }
    void Run(const std::string& caption, CConvertControl& control, const std::function<void()>& work) override
    {
        CBackgroundStep::Run(m_parent, QString::fromStdString(caption), control, work);
    }

private:
    QWidget* m_parent;
};
