// Runs a long step (decoding and converting an audio file) on a worker thread
// while the user-interface thread stays free. A step that ends within a few
// milliseconds is never seen; a longer one shows a modal progress box whose
// Cancel button (or Escape) asks the step to stop. Returns when the step has
// ended either way.
#pragma once

#include <QString>

#include <functional>

#include "CAudioConverter.h"

class QWidget;

class CBackgroundStep {
public:
    static void Run(QWidget* parent, const QString& label, CConvertControl& control,
                    const std::function<void()>& work);
};
