// A serial port on the network, reached through libgensio: the telnet(rfc2217)
// gensio for rfc2217:// names, plain tcp for tcp:// names. The port's bytes
// cross a local socket pair, so the owner polls, reads and writes one
// descriptor as it does a tty; line settings, purge and modem lines are
// calls of this class. All gensio work runs on one thread of the line's own,
// which keeps libgensio single-threaded (no wake signal in the program).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "NetworkAddress.h"

struct gensio;
struct gensio_os_funcs;
struct gensio_iod;
struct selector_s;
struct sergensio;

class CNetworkLine {
public:
    // How long a connection may take, and how long a setting waits for the
    // server's confirmation.
    static constexpr int kConnectTimeoutMs = 5000;
    static constexpr int kConfirmTimeoutMs = 2000;
    // A server that closes this soon after accepting turned us away: twice
    // the time the connection took, within these bounds.
    static constexpr int kMinSettleMs = 30;
    static constexpr int kSettleMs = 250;

    ~CNetworkLine();
    CNetworkLine(const CNetworkLine&) = delete;
    CNetworkLine& operator=(const CNetworkLine&) = delete;

    // Connects; 0 with *line set and *programFd the descriptor to use (owned
    // by the caller), else a code of CSerial.h (an errno for a failed connect).
    static int32_t Connect(const NetworkAddress& address, std::unique_ptr<CNetworkLine>* line, int* programFd);

    const NetworkAddress& Address() const { return m_address; }
    bool IsRaw() const { return m_address.kind == NetworkAddress::Kind::Tcp; }
    bool IsLost() const { return m_lost.load(); }

    // parity and stopBits as CSerial::Setup takes them; 0 or a CSerial code.
    int32_t SetLine(int baud, int dataBits, int parity, int stopBits);
    int32_t SetHandshaking(int mode);  // 0 none, 1 RTS/CTS, 2 XON/XOFF
    int32_t Purge();
    int Baud() const { return m_baud; }
    int DataBits() const { return m_dataBits; }
    int Parity() const { return m_parity; }
    int StopBits() const { return m_stopBits; }
    int Handshaking() const { return m_handshaking; }
    // The modem lines as TIOCM_* bits; HasModemLines() once the server told them.
    int ModemLines() const { return m_modemLines.load(); }
    bool HasModemLines() const { return m_haveModemLines.load(); }

private:
    explicit CNetworkLine(const NetworkAddress& address);
    int32_t Start(int* programFd);
    void Loop();
    // Runs the call on the line's thread and waits for it; false when the
    // thread is gone.
    bool RunOnLoop(std::function<void()> call);
    void Shutdown();

    // On the line's thread.
    static int OnEvent(gensio* io, void* self, int event, int err, unsigned char* buf, unsigned long* buflen,
                       const char* const* auxdata);
    static void OnBridgeReadable(gensio_iod* iod, void* self);
    static void OnBridgeWritable(gensio_iod* iod, void* self);
    static void OnWake(gensio_iod* iod, void* self);
    static void OnCleared(gensio_iod* iod, void* self);
    int HandleEvent(int event, int err, unsigned char* buf, unsigned long* buflen);
    void ToServer();
    void LoseConnection(const char* why);
    struct Confirm {
        const char* setting = "";
        unsigned want = 0;
        bool answered = false;
        int err = 0;
        unsigned value = 0;
    };
    // Asks for the settings together and waits for the server's answers,
    // kConfirmTimeoutMs at most. Returns the first setting answered with
    // another value (its index), or -1.
    int Negotiate(const std::vector<std::pair<const char*, unsigned>>& settings);
    static void OnConfirm(sergensio* sio, int err, unsigned value, void* data);

    NetworkAddress m_address;
    selector_s* m_selector = nullptr;
    gensio_os_funcs* m_os = nullptr;
    gensio* m_io = nullptr;
    int m_bridgeFd = -1;  // our end of the socket pair
    int m_wakeFd = -1;    // eventfd: calls are waiting
    gensio_iod* m_bridgeIod = nullptr;
    gensio_iod* m_wakeIod = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_lost{false};
    std::atomic<int> m_modemLines{0};
    std::atomic<bool> m_haveModemLines{false};

    bool m_open = false;  // line thread only: the gensio is open or opening
    std::atomic<bool> m_closed{false};
    std::atomic<int> m_cleared{0};

    std::mutex m_callMutex;
    std::condition_variable m_callDone;
    std::deque<std::function<void()>> m_calls;
    unsigned m_callsDone = 0;  // guarded by m_callMutex

    // Line thread only: bytes read from the program that the server has not
    // taken yet, and bytes from the server the program's end has no room for.
    std::string m_toServer;
    std::string m_toProgram;

    // Answers the server owes; kept until the line ends, since a late answer
    // still arrives at its entry. Line thread only.
    std::list<Confirm> m_confirms;

    int m_baud = 9600, m_dataBits = 8, m_parity = 0, m_stopBits = 0, m_handshaking = 0;
    bool m_toldUnconfirmed = false;
};
