// Serial port layer: the port wrapper, its worker, the port list and the
// per-port defaults.
#pragma once

#include "CSerial.h"
#include "CSerialPort.h"
#include "DebugTrace.h"
#include "NetworkAddress.h"
#include "RememberedNetworkPorts.h"
#include "PortDefaults.h"
#include "SerialPortList.h"
