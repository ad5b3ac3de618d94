// One lamp of the "Modem Status" group: a round light, green when the modem
// line is on, dark grey when it is off. A screen reader hears the line and
// its state ("CTS on"), through CModemLampAccessible.
#pragma once

#include <QWidget>

class CModemLamp : public QWidget {
    Q_OBJECT

public:
    // line: the modem line the lamp shows, as its label names it ("CTS").
    explicit CModemLamp(const QString& line, QWidget* parent = nullptr);

    void SetLit(bool lit);
    bool IsLit() const { return m_lit; }
    // "CTS on" or "CTS off".
    QString StateText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_line;
    bool m_lit = false;
};
