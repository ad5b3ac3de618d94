// Which unit a port reaches, as far as the system can tell: device names are
// reused (a pseudo-terminal number, ttyUSB0 for the next adapter plugged in),
// so state kept for a unit must not be kept under the name alone.
#pragma once

#include <string>

// A stable name for what portName reaches: "by-id:NAME" for a device under
// /dev/serial/by-id, "unitsim:PID:START" for a simulated unit registered in
// the ports folder (its process and when it started), else the device's
// path with links resolved.
std::string PortIdentity(const std::string& portName);
