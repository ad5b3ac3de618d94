#include "CSerialTransferLink.h"

int32_t CSerialTransferLink::Open(const char* portName, uint32_t inQueue, uint32_t outQueue)
{
    return m_port.Open(portName, inQueue, outQueue);
}

int32_t CSerialTransferLink::Close()
{
    return m_port.Close();
}
bool CSerialTransferLink::IsOpen()
{
    return m_port.IsOpen();
}
int32_t CSerialTransferLink::SetupBaudrate(int32_t baudRate)
{
    return m_port.SetupBaudrate(baudRate);
}
int32_t CSerialTransferLink::SetupHandshakingMode(int mode)
{
    return m_port.SetupHandshakingMode(mode);
}
int32_t CSerialTransferLink::SetTimeoutForIO()
{
    return m_port.SetTimeoutForIO();
}
int32_t CSerialTransferLink::Purge()
{
    return m_port.Purge();
}
int32_t CSerialTransferLink::SetMask(uint32_t mask)
{
    return m_port.SetMask(mask);
}
bool CSerialTransferLink::GetCTS()
{
    return m_port.GetCTS() != 0;
}
bool CSerialTransferLink::GetDSR()
{
    return m_port.GetDSR() != 0;
}
bool CSerialTransferLink::GetRLSD()
{
    return m_port.GetRLSD() != 0;
}
int32_t CSerialTransferLink::StartWorker()
{
    return m_port.StartWorker();
}
void CSerialTransferLink::SendData(const void* data, uint32_t length)
{
    m_port.SendData(data, length);
}
TransferRequest& CSerialTransferLink::Request()
{
    return m_port.Request();
}
void CSerialTransferLink::ClearTransfer()
{
    m_port.ClearTransfer();
}
std::mutex& CSerialTransferLink::TransferMutex()
{
    return m_port.TransferMutex();
}
void CSerialTransferLink::Trace(const std::string& text)
{
    DebugTrace("%s", text.c_str());
}
void CSerialTransferLink::SetEventSink(ITransferEventSink* sink)
{
    m_port.SetEventSink(sink);
}
bool CSerialTransferLink::IsLineGone()
{
    return m_port.IsLineGone();
}
