// The per-port default line configuration. The application keeps it (the GUI in
// its settings store) and hands the serial layer a provider; CSerial::Open applies
// the stored default before the caller's own settings.
#pragma once

#include <string>

struct PortDefaults {
    int baud = 9600;
    int dataBits = 8;
    int parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int stopBits = 0;     // 0 one, 1 one and a half, 2 two
    int handshaking = 0;  // 0 none, 1 hardware, 2 software
};

class IPortDefaultsProvider {
public:
    virtual ~IPortDefaultsProvider() = default;
    // False when nothing is stored for the port.
    virtual bool Load(const std::string& port, PortDefaults& defaults) = 0;
    virtual bool Store(const std::string& port, const PortDefaults& defaults) = 0;
};

// Shows the configuration of one port to the operator; true when confirmed.
class IPortConfigEditor {
public:
    virtual ~IPortConfigEditor() = default;
    virtual bool Edit(const std::string& port, PortDefaults& defaults) = 0;
};

// "9600 baud, 8 data bits, no parity, 1 stop bit, no handshaking".
std::string DescribePortDefaults(const PortDefaults& defaults);

// The provider stays owned by the caller; nullptr removes it.
void SetPortDefaultsProvider(IPortDefaultsProvider* provider);
IPortDefaultsProvider* GetPortDefaultsProvider();
