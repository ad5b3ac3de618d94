// The per-port default line configuration of the program: kept in the
// settings store under "Port defaults", one array entry per port, and edited
// in the small port settings dialog. The serial layer asks it for a port's
// default when the port opens.
#pragma once

#include <QString>

#include <string>

#include "PortDefaults.h"

class QSettings;
class QWidget;

class CQtPortDefaults : public IPortDefaultsProvider, public IPortConfigEditor {
public:
    explicit CQtPortDefaults(QWidget* dialogParent = nullptr) : m_dialogParent(dialogParent) { }

    // False when nothing usable is stored for the port.
    bool Load(const std::string& port, PortDefaults& defaults) override;
    bool Store(const std::string& port, const PortDefaults& defaults) override;
    // Shows the port settings dialog; true when the operator pressed OK.
    bool Edit(const std::string& port, PortDefaults& defaults) override;

    // The settings key of one field of a port's stored entry ("Baud", ...),
    // empty when nothing is stored for the port.
    static QString KeyOf(const std::string& port, const char* field);
    // True when every field holds a value the serial layer accepts.
    static bool IsValid(const PortDefaults& defaults);

    // The most entries read: a settings file that claims more (by damage or
    // by hand) must not hold every port's opening up.
    static constexpr int kMaxEntries = 256;

private:
    // 1-based position of the port's entry in the array, 0 when none.
    static int EntryOf(QSettings& settings, const std::string& port);
    // The array's size, at most kMaxEntries.
    static int EntryCount(QSettings& settings);
    static int FreeEntry(QSettings& settings, int count);
    // Empty for a name that would be one of the array's own keys.
    static QString LegacyGroupOf(const std::string& port);

    QWidget* m_dialogParent;
};
