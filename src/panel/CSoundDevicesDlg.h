// "Sound Devices": the microphone and the speaker the program uses, each
// chosen from a list with "System default" first; the current choice is
// selected when the dialog opens.
#pragma once

#include <QDialog>

#include "CSoundDeviceChoice.h"

class QComboBox;

class CSoundDevicesDlg : public QDialog {
    Q_OBJECT

public:
    CSoundDevicesDlg(const SDeviceOffer& inputs, const SDeviceOffer& outputs, QWidget* parent = nullptr);

    int InputIndex() const;
    int OutputIndex() const;

private:
    QComboBox* m_input = nullptr;
    QComboBox* m_output = nullptr;
};
