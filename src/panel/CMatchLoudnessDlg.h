// "Match Loudness": the target loudness and which messages it is for.
#pragma once

#include <QDialog>

class QDoubleSpinBox;
class QRadioButton;

class CMatchLoudnessDlg : public QDialog {
    Q_OBJECT

public:
    // selected: the number (1-8) of the selected message, or 0 when none is.
    CMatchLoudnessDlg(double target, int selected, QWidget* parent = nullptr);

    double Target() const;
    bool AllMessages() const;

    QDoubleSpinBox* TargetBox() const { return m_target; }
    QRadioButton* AllButton() const { return m_all; }
    QRadioButton* SelectedButton() const { return m_selected; }

private:
    QDoubleSpinBox* m_target = nullptr;
    QRadioButton* m_all = nullptr;
    QRadioButton* m_selected = nullptr;
};
