#pragma once
// The unit's end of a pseudo-terminal. The host opens the slave path like a
// serial port; this side holds the master and paces every byte both ways.

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <termios.h>

#include "CLinePacer.h"
#include "IUnitLink.h"

class CPtyLink : public IUnitLink {
public:
    // stop, when given, is polled during every wait: a signal sets it.
    CPtyLink(const CLinePacer& pacer, const volatile std::sig_atomic_t* stop);
    ~CPtyLink() override;
    CPtyLink(const CPtyLink&) = delete;
    CPtyLink& operator=(const CPtyLink&) = delete;

    bool Open(std::string* error);
    void Close();
    const std::string& SlavePath() const { return m_slavePath; }
    bool Gone() const { return m_master < 0; }

    // Waits up to timeoutMs for host bytes and takes what the line has carried
    // by now. Returns the count, 0 when nothing came, -1 when the line is gone.
    ssize_t Receive(uint8_t* buf, size_t max, int timeoutMs);

    bool Send(const uint8_t* data, size_t n) override;
    bool Pause(unsigned ms) override;
    void Vanish() override;

    // Whether the host set the line as the unit runs it (baud rate, 8N1). On a
    // pty the master reports the slave's settings.
    bool HostSettingsMatch(std::string* why) const;
    static bool SettingsMatch(const struct termios& t, unsigned baud, std::string* why);
    // What the unit makes of a byte sent at the wrong rate or format.
    static uint8_t Garble(uint8_t b);
    // The termios speed constant for a baud rate; B0 when there is none.
    static speed_t SpeedConstant(unsigned baud);

    // How long a reply may stay blocked (host not reading) before it is dropped,
    // as a real line would have sent it into the void.
    static constexpr int kStuckMs = 5000;

private:
    bool Stopping() const { return m_stop && *m_stop; }

    CLinePacer m_pacer;
    const volatile std::sig_atomic_t* m_stop;
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    int64_t m_txFreeAt = 0;
    int64_t m_rxFreeAt = 0;
    bool m_rxBacklog = false;  // bytes were still queued after the last read
};
