// The per-port default line configuration of the program: kept in the
// settings store under "Port defaults", one group per port name, and edited
// in the small port settings dialog. The serial layer asks it for a port's
// default when the port opens.
#pragma once

#include <QString>

#include <string>

#include "PortDefaults.h"

class QWidget;


class CQtPortDefaults : public IPortDefaultsProvider, public IPortConfigEditor {
public:
    explicit CQtPortDefaults(QWidget* dialogParent = nullptr) : m_dialogParent(dialogParent) {}

    // False when nothing usable is stored for the port.
    bool Load(const std::string& port, PortDefaults& defaults) override;
    bool Store(const std::string& port, const PortDefaults& defaults) override;
    // Shows the port settings dialog; true when the operator pressed OK.
    bool Edit(const std::string& port, PortDefaults& defaults) override;

    // The settings group of a port: slashes in device paths would otherwise
    // nest groups.
    static QString GroupOf(const std::string& port);
    // True when every field holds a value the serial layer accepts.
    static bool IsValid(const PortDefaults& defaults);

private:
    QWidget* m_dialogParent;
};
