// The small dialog, titled after the port, that edits the port's stored
// default line configuration: baud rate, data bits, parity, stop bits and
// handshaking.
#pragma once

#include <QDialog>
#include <QList>

#include "PortDefaults.h"

class QComboBox;

class CPortSettingsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CPortSettingsDlg(const QString& port, QWidget* parent = nullptr);

    // Shows a configuration; a value the lists do not offer leaves that list
    // as it was (9600 baud, 8 data bits, no parity, one stop bit, no
    // handshaking when the dialog opens).
    void SetDefaults(const PortDefaults& defaults);
    PortDefaults Defaults() const;

    // The rates the serial layer sets as asked.
    static QList<int> BaudRates();

    QComboBox* BaudBox() const { return m_baud; }
    QComboBox* DataBitsBox() const { return m_dataBits; }
    QComboBox* ParityBox() const { return m_parity; }
    QComboBox* StopBitsBox() const { return m_stopBits; }
    QComboBox* HandshakingBox() const { return m_handshaking; }

private:
    QComboBox* m_baud;
    QComboBox* m_dataBits;
    QComboBox* m_parity;
    QComboBox* m_stopBits;
    QComboBox* m_handshaking;
};
