#include "FuzzTransferLink.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "CUnitTransfer.h"
#include "cMemoryMap.h"

FuzzTransferLink::FuzzTransferLink(const uint8_t table[192])
{
    std::memcpy(m_table, table, sizeof m_table);
}

int32_t FuzzTransferLink::Open(const char*, uint32_t, uint32_t)
{
    m_open = true;
    m_lineGone = false;
    return 0;
}

int32_t FuzzTransferLink::Close()
{
    m_open = false;
    return 0;
}

void FuzzTransferLink::SendData(const void* data, uint32_t length)
{
    m_bytesSent += length;
    const auto* p = static_cast<const uint8_t*>(data);
    // Commands are short texts ending in a carriage return; sector data and
    // checksums are not remembered.
    if (length >= 3 && length <= 5 && p[length - 1] == '\r' && (p[0] == 'P' || p[0] == 'R' || p[0] == 'U'))
        m_lastCommand.assign(reinterpret_cast<const char*>(p), length);
}

size_t FuzzTransferLink::Deliver(const uint8_t* bytes, size_t n)
{
    // As the worker: only while a reply is asked for, never past it.
    if (!m_request.receiveEnabled || m_request.bytesExpected == 0)
        return 0;
    if (!m_request.destination) {
        m_noDestination = true;  // the worker would write through a null pointer
        return 0;
    }
    const size_t taken = std::min<size_t>(n, m_request.bytesExpected);
    std::memcpy(m_request.destination, bytes, taken);
    m_request.destination += taken;
    m_request.bytesExpected -= uint32_t(taken);
    return taken;
}

const std::vector<uint8_t>& FuzzTransferLink::GoodReply()
{
    const uint8_t state = m_request.protocolState;
    const std::string key = m_lastCommand + char('0' + state % 64);
    if (key == m_replyFor)
        return m_reply;
    m_replyFor = key;
    m_reply.clear();
    switch (state) {
    case CUnitTransfer::kAwaitPgmModeAck:
    case CUnitTransfer::kAwaitExitAck:
    case CUnitTransfer::kAwaitSectorStartAck:
        // The unit echoes the command and accepts it.
        m_reply.assign(m_lastCommand.begin(), m_lastCommand.end());
        m_reply.push_back('A');
        break;
    case CUnitTransfer::kAwaitChecksumAck:
    case CUnitTransfer::kAwaitPgmResult:
        m_reply = {'A', 'G'};
        break;
    case CUnitTransfer::kReceiveSector0:
    case CUnitTransfer::kReceiveSector: {
        // Whatever sector is asked for, even one the unit does not have: a
        // unit may answer anything.
        if (m_lastCommand.size() < 4 || m_lastCommand[0] != 'U')
            break;
        const int sector = std::atoi(m_lastCommand.c_str() + 1);
        if (sector < 0 || sector > 255)
            break;
        const uint32_t length = cMemoryMap::GetSectorEnd(uint8_t(sector)) - cMemoryMap::GetSectorStart(uint8_t(sector));
        m_reply.assign(m_lastCommand.begin(), m_lastCommand.end());
        m_reply.push_back('D');
        const size_t data = m_reply.size();
        m_reply.resize(data + length, uint8_t(sector == 0 ? 0xFF : sector * 13 + 1));
        if (sector == 0)
            std::memcpy(&m_reply[data], m_table, sizeof m_table);
        uint16_t sum = 0;
        for (uint32_t i = 0; i < length; ++i)
            sum = uint16_t(sum + m_reply[data + i]);
        m_reply.push_back(uint8_t(sum & 0xFF));
        m_reply.push_back(uint8_t(sum >> 8));
        break;
    }
    default:
        break;
    }
    return m_reply;
}

size_t FuzzTransferLink::DeliverGood(size_t n)
{
    if (!m_request.receiveEnabled || m_request.bytesExpected == 0)
        return 0;
    const std::vector<uint8_t>& reply = GoodReply();
    if (reply.size() < m_request.bytesExpected)
        return 0;
    const size_t from = reply.size() - m_request.bytesExpected;
    return Deliver(reply.data() + from, std::min(n, reply.size() - from));
}
