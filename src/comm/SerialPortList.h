// The serial ports an operator can choose from.
#pragma once

#include <string>
#include <vector>

// Every tty with a real device behind it plus every running simulated unit,
// as sorted device paths without duplicates.
std::vector<std::string> ListSerialPorts();

// Where simulated units register their port as a symlink:
// $XDG_RUNTIME_DIR/ormid/ports, or /tmp/ormid-<uid>/ports without a runtime folder.
std::string SimulatedPortsFolder();
