#include "CNetworkLine.h"

#include <gensio/gensio.h>
#include <gensio/gensio_err.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/gensio_unix.h>
#include <gensio/selector.h>
#include <gensio/sergensio.h>

#include <cerrno>
#include <csignal>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <list>
#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "CLogFile.h"
#include "CSerial.h"

namespace {

// The program's end of the socket pair holds little, so that a write
// waits for the server as it waits for a tty's driver.
constexpr int kProgramSendBuffer = 4096;
constexpr size_t kChunk = 16384;

int32_t ConnectCode(int err)
{
    switch (err) {
    case GE_CONNREFUSE:
        return ECONNREFUSED;
    case GE_HOSTDOWN:
        return EHOSTUNREACH;
    case GE_TIMEDOUT:
        return ETIMEDOUT;
    case GE_REMCLOSE:
        return SERIAL_NET_IN_USE;
    case GE_NOTFOUND:
        return SERIAL_NET_NAME_NOT_FOUND;
    default:
        return ECONNABORTED;
    }
}

void LogToProgram(gensio_os_funcs*, enum gensio_log_levels level, const char* log, va_list args)
{
    if (level > GENSIO_LOG_WARNING)
        return;
    char text[512];
    std::vsnprintf(text, sizeof text, log, args);
    TheLog().Write("gensio: %s", text);
}

}  // namespace

CNetworkLine::CNetworkLine(const NetworkAddress& address) : m_address(address) { }

CNetworkLine::~CNetworkLine()
{
    Shutdown();
}

int32_t CNetworkLine::Connect(const NetworkAddress& address, std::unique_ptr<CNetworkLine>* line, int* programFd)
{
    // Resolved here first, so that a wrong name is told as one.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    const int rc = getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        TheLog().Write("Network port %s: %s", address.HostPort().c_str(), gai_strerror(rc));
        return rc == EAI_SYSTEM ? (errno != 0 ? errno : EIO) : SERIAL_NET_NAME_NOT_FOUND;
    }
    freeaddrinfo(found);
    std::unique_ptr<CNetworkLine> made(new CNetworkLine(address));
    if (int32_t code = made->Start(programFd))
        return code;
    *line = std::move(made);
    return 0;
}

int32_t CNetworkLine::Start(int* programFd)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return errno;
    int size = kProgramSendBuffer;
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    m_bridgeFd = pair[1];
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    // The gensio stack: Telnet with the COM port option over TCP, or TCP alone.
    const std::string stack =
        std::string(IsRaw() ? "tcp," : "telnet(rfc2217),tcp,") + m_address.host + "," + std::to_string(m_address.port);
    int err = sel_alloc_selector_nothread(&m_selector);
    if (err == 0)
        err = gensio_unix_funcs_alloc(m_selector, 0, &m_os);
    if (err == 0) {
        gensio_os_funcs_set_vlog(m_os, LogToProgram);
        err = str_to_gensio(stack.c_str(), m_os, &CNetworkLine::OnEvent, this, &m_io);
    }
    if (err == 0)
        err = m_os->add_iod(m_os, GENSIO_IOD_SOCKET, m_bridgeFd, &m_bridgeIod);
    if (err == 0)
        err = m_os->add_iod(m_os, GENSIO_IOD_SOCKET, m_wakeFd, &m_wakeIod);
    if (err == 0)
        err = m_os->set_fd_handlers(m_bridgeIod, this, &CNetworkLine::OnBridgeReadable, &CNetworkLine::OnBridgeWritable,
                                    nullptr, &CNetworkLine::OnCleared);
    if (err == 0)
        err = m_os->set_fd_handlers(m_wakeIod, this, &CNetworkLine::OnWake, nullptr, nullptr, &CNetworkLine::OnCleared);
    if (err != 0 || m_wakeFd < 0) {
        TheLog().Write("Network port %s: %s", m_address.HostPort().c_str(), gensio_err_to_str(err));
        ::close(pair[0]);
        Shutdown();
        return err == GE_NOTFOUND ? SERIAL_NET_NAME_NOT_FOUND : ENOMEM;
    }
    m_os->set_read_handler(m_wakeIod, true);
    m_thread = std::thread([this] { Loop(); });

    // The open, bounded: an address that drops the connection attempt would
    // otherwise hold it for the system's two minutes.
    struct Opening {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        int err = 0;
    };
    auto opening = std::make_shared<Opening>();
    auto* keep = new std::shared_ptr<Opening>(opening);  // released by the callback
    int startErr = 0;
    RunOnLoop([&] {
        startErr = gensio_open(
            m_io,
            [](gensio*, int e, void* data) {
                auto* held = static_cast<std::shared_ptr<Opening>*>(data);
                {
                    std::lock_guard<std::mutex> lock((*held)->mutex);
                    (*held)->finished = true;
                    (*held)->err = e;
                    (*held)->done.notify_all();
                }
                delete held;
            },
            keep);
        // From here on the gensio needs closing, whether or not it opens.
        m_open = startErr == 0;
    });
    const auto openStart = std::chrono::steady_clock::now();
    int openErr = startErr;
    if (startErr != 0) {
        delete keep;
    } else {
        std::unique_lock<std::mutex> lock(opening->mutex);
        if (!opening->done.wait_for(lock, std::chrono::milliseconds(kConnectTimeoutMs),
                                    [&] { return opening->finished; }))
            openErr = GE_TIMEDOUT;
        else
            openErr = opening->err;
    }
    if (openErr != 0) {
        TheLog().Write("Network port %s: %s", m_address.HostPort().c_str(), gensio_err_to_str(openErr));
        ::close(pair[0]);
        Shutdown();
        // An open given up on is never answered; the line's thread is gone now.
        if (startErr == 0 && !opening->finished)
            delete keep;
        return ConnectCode(openErr);
    }
    RunOnLoop([this] {
        gensio_set_read_callback_enable(m_io, true);
        m_os->set_read_handler(m_bridgeIod, true);
        if (sergensio* sio = gensio_to_sergensio(m_io))
            sergensio_modemstate(sio, SERGENSIO_MODEMSTATE_CTS_CHANGED | SERGENSIO_MODEMSTATE_DSR_CHANGED |
                                          SERGENSIO_MODEMSTATE_CD_CHANGED | SERGENSIO_MODEMSTATE_RI_CHANGED);
    });
    // A server whose port another client holds accepts and closes at once:
    // its close comes about one round trip after the connection, which the
    // open took at least, so twice the open's time (within bounds) sees it.
    const auto openTook =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - openStart);
    const auto settle = std::chrono::milliseconds(
        std::min<long long>(kSettleMs, std::max<long long>(kMinSettleMs, 2 * openTook.count())));
    std::this_thread::sleep_for(settle);
    if (m_lost.load()) {
        ::close(pair[0]);
        Shutdown();
        return SERIAL_NET_IN_USE;
    }
    *programFd = pair[0];
    return 0;
}

void CNetworkLine::Loop()
{
    // A write to a connection the server reset must fail with EPIPE, not end
    // the program; every socket write of the line happens on this thread.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!m_stop.load()) {
        gensio_time timeout{0, 200 * 1000 * 1000};
        gensio_os_funcs_service(m_os, &timeout);
    }
}

bool CNetworkLine::RunOnLoop(std::function<void()> call)
{
    std::unique_lock<std::mutex> lock(m_callMutex);
    if (!m_thread.joinable() || m_stop.load())
        return false;
    m_calls.push_back(std::move(call));
    const unsigned target = m_callsDone + unsigned(m_calls.size());
    uint64_t one = 1;
    ssize_t ignored = ::write(m_wakeFd, &one, sizeof one);
    (void)ignored;
    m_callDone.wait(lock, [&] { return int(m_callsDone - target) >= 0 || m_stop.load(); });
    return int(m_callsDone - target) >= 0;
}

void CNetworkLine::OnWake(gensio_iod*, void* data)
{
    auto* self = static_cast<CNetworkLine*>(data);
    uint64_t value = 0;
    ssize_t ignored = ::read(self->m_wakeFd, &value, sizeof value);
    (void)ignored;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(self->m_callMutex);
            if (self->m_calls.empty())
                return;
            call = std::move(self->m_calls.front());
            self->m_calls.pop_front();
        }
        call();
        std::lock_guard<std::mutex> lock(self->m_callMutex);
        ++self->m_callsDone;
        self->m_callDone.notify_all();
    }
}

void CNetworkLine::OnCleared(gensio_iod*, void* data)
{
    auto* self = static_cast<CNetworkLine*>(data);
    ++self->m_cleared;
}

int CNetworkLine::OnEvent(gensio*, void* data, int event, int err, unsigned char* buf, unsigned long* buflen,
                          const char* const*)
{
    return static_cast<CNetworkLine*>(data)->HandleEvent(event, err, buf, buflen);
}

int CNetworkLine::HandleEvent(int event, int err, unsigned char* buf, unsigned long* buflen)
{
    switch (event) {
    case GENSIO_EVENT_READ: {
        if (err != 0) {
            LoseConnection(gensio_err_to_str(err));
            return 0;
        }
        const ssize_t n = ::send(m_bridgeFd, buf, *buflen, MSG_NOSIGNAL | MSG_DONTWAIT);
        const gensiods taken = n > 0 ? gensiods(n) : 0;
        if (taken < *buflen) {
            // The program has not read what came before: the server waits.
            gensio_set_read_callback_enable(m_io, false);
            m_os->set_write_handler(m_bridgeIod, true);
        }
        *buflen = taken;
        return 0;
    }
    case GENSIO_EVENT_WRITE_READY:
        ToServer();
        return 0;
    case GENSIO_EVENT_SER_MODEMSTATE: {
        const unsigned state = *reinterpret_cast<unsigned*>(buf);
        int lines = 0;
        if (state & SERGENSIO_MODEMSTATE_CTS)
            lines |= TIOCM_CTS;
        if (state & SERGENSIO_MODEMSTATE_DSR)
            lines |= TIOCM_DSR;
        if (state & SERGENSIO_MODEMSTATE_CD)
            lines |= TIOCM_CD;
        if (state & SERGENSIO_MODEMSTATE_RI)
            lines |= TIOCM_RI;
        m_modemLines = lines;
        m_haveModemLines = true;
        return 0;
    }
    default:
        return GE_NOTSUP;
    }
}

void CNetworkLine::OnBridgeReadable(gensio_iod*, void* data)
{
    auto* self = static_cast<CNetworkLine*>(data);
    char chunk[kChunk];
    const ssize_t n = ::read(self->m_bridgeFd, chunk, sizeof chunk);
    if (n <= 0) {
        if (n == 0)
            self->m_os->set_read_handler(self->m_bridgeIod, false);
        return;
    }
    self->m_toServer.append(chunk, size_t(n));
    self->ToServer();
}

void CNetworkLine::OnBridgeWritable(gensio_iod*, void* data)
{
    auto* self = static_cast<CNetworkLine*>(data);
    self->m_os->set_write_handler(self->m_bridgeIod, false);
    if (self->m_open && !self->m_lost.load())
        gensio_set_read_callback_enable(self->m_io, true);
}

void CNetworkLine::ToServer()
{
    if (!m_open || m_lost.load())
        return;
    if (!m_toServer.empty()) {
        gensiods count = 0;
        const int err = gensio_write(m_io, &count, m_toServer.data(), m_toServer.size(), nullptr);
        if (err != 0) {
            LoseConnection(gensio_err_to_str(err));
            return;
        }
        m_toServer.erase(0, count);
    }
    // Until the server took it all, no more is read from the program: its
    // writes wait as they would on a busy line.
    const bool waiting = !m_toServer.empty();
    gensio_set_write_callback_enable(m_io, waiting);
    m_os->set_read_handler(m_bridgeIod, !waiting);
}

void CNetworkLine::LoseConnection(const char* why)
{
    if (m_lost.exchange(true))
        return;
    TheLog().Write("Network port %s: the connection was lost (%s)", m_address.HostPort().c_str(), why);
    gensio_set_read_callback_enable(m_io, false);
    gensio_set_write_callback_enable(m_io, false);
    m_os->set_read_handler(m_bridgeIod, false);
    m_os->set_write_handler(m_bridgeIod, false);
    // The program's end reads end of file, as a tty that hung up.
    ::shutdown(m_bridgeFd, SHUT_RDWR);
}

void CNetworkLine::OnConfirm(sergensio*, int err, unsigned value, void* data)
{
    // On the line's thread; the entry lives in the line's list, and the line
    // outlives its gensio.
    auto* confirm = static_cast<Confirm*>(data);
    confirm->err = err;
    confirm->value = value;
    confirm->answered = true;
}

int CNetworkLine::Negotiate(const std::vector<std::pair<const char*, unsigned>>& settings)
{
    std::vector<Confirm*> asked;
    // Made here, read and answered on the line's thread only.
    RunOnLoop([&] {
        for (const auto& setting : settings) {
            m_confirms.emplace_back();
            m_confirms.back().setting = setting.first;
            m_confirms.back().want = setting.second;
            asked.push_back(&m_confirms.back());
        }
    });
    std::vector<int> startErr(settings.size(), 0);
    RunOnLoop([&] {
        sergensio* sio = gensio_to_sergensio(m_io);
        for (size_t i = 0; i < asked.size(); ++i) {
            Confirm* c = asked[i];
            const std::string name = c->setting;
            if (!sio)
                startErr[i] = GE_NOTSUP;
            else if (name == "baud")
                startErr[i] = sergensio_baud(sio, c->want, &CNetworkLine::OnConfirm, c);
            else if (name == "data size")
                startErr[i] = sergensio_datasize(sio, c->want, &CNetworkLine::OnConfirm, c);
            else if (name == "parity")
                startErr[i] = sergensio_parity(sio, c->want, &CNetworkLine::OnConfirm, c);
            else if (name == "stop bits")
                startErr[i] = sergensio_stopbits(sio, c->want, &CNetworkLine::OnConfirm, c);
            else
                startErr[i] = sergensio_flowcontrol(sio, c->want, &CNetworkLine::OnConfirm, c);
        }
    });
    // The answers arrive on the line's thread; they are looked at from here
    // through the call queue, so that no lock is shared with the callbacks.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConfirmTimeoutMs);
    std::vector<Confirm> answers(asked.size());
    for (;;) {
        bool all = true;
        RunOnLoop([&] {
            for (size_t i = 0; i < asked.size(); ++i)
                answers[i] = *asked[i];
        });
        for (size_t i = 0; i < asked.size(); ++i)
            all = all && (answers[i].answered || startErr[i] != 0);
        if (all || m_lost.load() || std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    int refused = -1;
    for (size_t i = 0; i < asked.size(); ++i) {
        const Confirm& c = answers[i];
        const int err = startErr[i] != 0 ? startErr[i] : c.err;
        if (c.answered && err == 0 && c.value != c.want) {
            TheLog().Write("Network port %s: the server set the %s to %u, not %u", m_address.HostPort().c_str(),
                           c.setting, c.value, c.want);
            if (refused < 0)
                refused = int(i);
        } else if ((!c.answered || err != 0) && !m_toldUnconfirmed) {
            // Servers without the port's modem lines leave some settings
            // unanswered; the transfer goes on without them.
            m_toldUnconfirmed = true;
            TheLog().Write("Network port %s: the server did not confirm the %s (%s); going on",
                           m_address.HostPort().c_str(), c.setting, err != 0 ? gensio_err_to_str(err) : "no answer");
        }
    }
    return refused;
}

int32_t CNetworkLine::SetLine(int baud, int dataBits, int parity, int stopBits)
{
    if (m_lost.load())
        return SERIAL_EOF;
    if (!IsRaw()) {
        static const unsigned kParity[] = {SERGENSIO_PARITY_NONE, SERGENSIO_PARITY_ODD, SERGENSIO_PARITY_EVEN,
                                           SERGENSIO_PARITY_MARK, SERGENSIO_PARITY_SPACE};
        static const unsigned kStop[] = {1, 3, 2};
        const int refused = Negotiate({{"baud", unsigned(baud)},
                                       {"data size", unsigned(dataBits)},
                                       {"parity", kParity[parity]},
                                       {"stop bits", kStop[stopBits]}});
        if (refused == 0)
            return SerialNetBaudRefused(baud);
        if (refused > 0)
            return EINVAL;
    }
    // Over raw TCP the server's own settings apply; these are what was asked.
    m_baud = baud;
    m_dataBits = dataBits;
    m_parity = parity;
    m_stopBits = stopBits;
    return 0;
}

int32_t CNetworkLine::SetHandshaking(int mode)
{
    if (m_lost.load())
        return SERIAL_EOF;
    if (!IsRaw()) {
        static const unsigned kFlow[] = {SERGENSIO_FLOWCONTROL_NONE, SERGENSIO_FLOWCONTROL_RTS_CTS,
                                         SERGENSIO_FLOWCONTROL_XON_XOFF};
        if (Negotiate({{"handshaking", kFlow[mode]}}) >= 0)
            return EINVAL;
    }
    m_handshaking = mode;
    return 0;
}

int32_t CNetworkLine::Purge()
{
    if (m_lost.load())
        return SERIAL_EOF;
    RunOnLoop([this] {
        m_toServer.clear();
        if (sergensio* sio = gensio_to_sergensio(m_io))
            sergensio_flush(sio, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS);
    });
    return 0;
}

void CNetworkLine::Shutdown()
{
    if (m_thread.joinable()) {
        RunOnLoop([this] {
            m_os->clear_fd_handlers(m_bridgeIod);
            m_os->clear_fd_handlers(m_wakeIod);
            if (m_open) {
                m_open = false;
                const int err = gensio_close(
                    m_io, [](gensio*, void* data) { static_cast<CNetworkLine*>(data)->m_closed = true; }, this);
                if (err != 0)
                    m_closed = true;
            } else {
                m_closed = true;
            }
        });
        // The loop runs on until the close and the handlers are done, a
        // short while at most even on a dead connection.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!(m_closed.load() && m_cleared.load() >= 2) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        m_stop = true;
        m_thread.join();
    }
    if (m_bridgeIod)
        m_os->release_iod(m_bridgeIod);
    if (m_wakeIod)
        m_os->release_iod(m_wakeIod);
    m_bridgeIod = m_wakeIod = nullptr;
    if (m_io)
        gensio_free(m_io);
    m_io = nullptr;
    if (m_os)
        gensio_os_funcs_free(m_os);
    m_os = nullptr;
    if (m_selector)
        sel_free_selector(m_selector);
    m_selector = nullptr;
    for (int* fd : {&m_bridgeFd, &m_wakeFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}
