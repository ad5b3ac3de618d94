// One lamp of the "Modem Status" group: a round light, green when the modem
// line is on, dark grey when it is off.
#pragma once

#include <QWidget>

class CModemLamp : public QWidget {
    Q_OBJECT

public:
    explicit CModemLamp(QWidget* parent = nullptr);

    void SetLit(bool lit);
    bool IsLit() const { return m_lit; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_lit = false;
};
