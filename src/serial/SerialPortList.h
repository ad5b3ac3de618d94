// The serial ports an operator can choose from.
#pragma once

#include <string>
#include <vector>

// Every tty with a real device behind it plus every running simulated unit,
// as device paths without duplicates, in PortNameLess order.
std::vector<std::string> ListSerialPorts();

// The running simulated units among them.
std::vector<std::string> ListSimulatedPorts();

// Orders numbers inside names by value: /dev/ttyUSB2 before /dev/ttyUSB10.
bool PortNameLess(const std::string& a, const std::string& b);

// Where simulated units register their port as a symlink:
// $XDG_RUNTIME_DIR/ormid/ports, or /tmp/ormid-<uid>/ports without a runtime folder.
std::string SimulatedPortsFolder();
