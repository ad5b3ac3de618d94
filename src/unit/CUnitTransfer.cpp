#include "CUnitTransfer.h"

#include <algorithm>
#include <cstring>
#include <chrono>
#include <new>
#include <thread>

#include "CLogFile.h"
#include "ITransferLink.h"
#include "ITransferView.h"
#include "TickCount.h"
#include "TransferTexts.h"
#include "cMemoryMap.h"

namespace {

// Time a byte takes on the line, used for the checksum acknowledgement limit.
constexpr float kMsPerByte57600 = 0.17361f;
constexpr float kMsPerByte115200 = 0.08681f;
constexpr uint32_t kQueueSize = 4096;
constexpr uint8_t kNoSector = 255;
constexpr uint8_t kAckPreset = 'X';

// A read reply: 5 leading bytes, the sector, checksum low and high byte.
constexpr uint32_t kReplyLead = 5;
constexpr uint32_t kReplyExtra = 7;

// What completes a cut-off sector: zeros carry no command, and the two that
// the unit takes as the sector's checksum read 0x0000, which matches only
// when everything the unit collected sums to 0 modulo 65536.
const uint8_t kFiller[1024] = {};

// The last sector a message table reaches, without loading it anywhere:
// 71 when a message lies past the end of the unit's memory.
int LastUsedSectorOfTable(const uint8_t* table)
{
    auto get24 = [](const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); };
    uint32_t last = 0;
    for (int slot = 0; slot < cMemoryMap::kSlotCount; ++slot) {
        const uint8_t* entry = table + 8 * slot;
        const uint32_t end = get24(entry) + get24(entry + 3) - 1;  // wraps for an empty slot at 0
        if (end >= last)
            last = end;
    }
    if (last >= cMemoryMap::kImageSize)
        return cMemoryMap::kOutsideSectors;
    for (uint8_t sector = 0; sector < cMemoryMap::kSectorCount; ++sector)
        if (last < cMemoryMap::GetSectorEnd(sector))
            return sector;
    return cMemoryMap::kOutsideSectors;
}

// A reply to "P1" that begins with what a unit says at the end of a written
// sector ('A', 'N', 'G') and goes on with the echo of "P1".
bool EndOfAnEarlierSector(const uint8_t* reply)
{
    static const char kEcho[] = "P1\rA";
    for (int lead = 1; lead < 4; lead++) {
        const uint8_t b = reply[lead - 1];
        if (b != 'A' && b != 'N' && b != 'G')
            return false;
        if (memcmp(reply + lead, kEcho, size_t(4 - lead)) == 0)
            return true;
    }
    return false;
}

// States that act as soon as they are entered, without waiting for the line.
bool ActsAtOnce(uint8_t state)
{
    switch (state) {
    case CUnitTransfer::kEnterPgmMode:
    case CUnitTransfer::kNextNeededSector:
    case CUnitTransfer::kSendSectorData:
    case CUnitTransfer::kSendChecksum:
    case CUnitTransfer::kLeavePgmMode:
    case CUnitTransfer::kCompletePartialSector:
    case CUnitTransfer::kRequestSector0:
    case CUnitTransfer::kNextSector:
        return true;
    default:
        return false;
    }
}

} // namespace

CUnitTransfer::CUnitTransfer(cMemoryMap& image, ITransferLink& link, ITransferView& view)
    : m_image(image), m_link(link), m_view(view), m_tick(GetTickCountMs),
      m_readBuffer(new (std::nothrow) uint8_t[kReadBufferSize])
{
}

CUnitTransfer::~CUnitTransfer()
{
    // The worker must not deliver into the read buffer once it is gone.
    {
        std::lock_guard<std::mutex> lock(m_link.TransferMutex());
        m_link.ClearTransfer();
    }
    if (m_link.IsOpen())
        m_link.Close();
}

void CUnitTransfer::SetTickSource(std::function<uint32_t()> tick)
{
    m_tick = tick ? std::move(tick) : std::function<uint32_t()>(GetTickCountMs);
}

void CUnitTransfer::SetQuietPause(std::function<void(uint32_t ms)> pause)
{
    m_quietPause = std::move(pause);
}

uint8_t CUnitTransfer::ProtocolState()
{
    std::lock_guard<std::mutex> lock(m_link.TransferMutex());
    return m_link.Request().protocolState;
}

void CUnitTransfer::ShowWriteSectors()
{
    m_view.SetSectorLines(WriteSectorLines(m_image));
}

void CUnitTransfer::ShowLamps()
{
    m_view.SetLamps(m_link.GetCTS(), m_link.GetDSR(), m_link.GetRLSD());
}

void CUnitTransfer::Progress(const CTransferProgress::Display& display)
{
    if (display.rangeChanged)
        m_view.SetProgressRange(display.range);
    if (display.percent > 0)
        m_view.ShowProgressPercent(FormatText("Reading - %d %%", display.percent), display.percent);
    m_view.SetProgressPos(display.position);
}

bool CUnitTransfer::OpenPort(const TransferSettings& settings)
{
    m_link.Close();
    m_writeOneSectorAtATime = settings.writeOneSectorAtATime;
    m_disableTimeouts = settings.disableTimeouts;

    const bool slow = settings.baudPosition == 1;
    m_perByteFactor = slow ? kMsPerByte57600 : kMsPerByte115200;
    const char* baudText = slow ? "57600" : "115200";
    const int32_t baudRate = slow ? 57600 : 115200;
    m_link.Trace(FormatText("Comm Settings: %s, serial port: %s", (std::string(baudText) + ",N,8,1").c_str(),
                            settings.portName.c_str()));

    m_lastOpenError = 0;
    if (int32_t code = m_link.Open(settings.portName.c_str(), kQueueSize, kQueueSize)) {
        m_lastOpenError = code;
        TheLog().Write("Unable to open serial port: %s", settings.portName.c_str());
        return false;
    }
    // The reason is kept before closing, which starts the port afresh.
    if (int32_t code = m_link.SetupBaudrate(baudRate)) {
        m_lastOpenError = code;
        TheLog().Write("Setup BaudRate=%d failed", int(baudRate));
        m_link.Close();
        return false;
    }
    if (int32_t code = m_link.SetupHandshakingMode(1)) {
        m_lastOpenError = code;
        TheLog().Write("SetupHandshaking failed");
        m_link.Close();
        return false;
    }
    if (int32_t code = m_link.SetTimeoutForIO()) {
        m_lastOpenError = code;
        TheLog().Write("SetTimeoutForIO failed");
        m_link.Close();
        return false;
    }
    m_view.StorePortSelection(settings.portPosition, settings.baudPosition);
    return true;
}

bool CUnitTransfer::StartTransfer(const TransferSettings& settings, uint8_t firstState, unsigned periodMs,
                                  const char* openFailed)
{
    if (!OpenPort(settings) || !m_link.IsOpen()) {
        m_view.SetStatus(openFailed);
        return false;
    }
    ShowLamps();
    m_completed = false;
    m_verified = false;
    m_differing.clear();
    m_portName = settings.portName;
    m_transferStart = m_tick();
    if (firstState == kEnterPgmMode) {
        m_currentSector = 0;
        LetTheLineGoQuiet();
    }
    {
        std::lock_guard<std::mutex> lock(m_link.TransferMutex());
        m_link.Request().protocolState = firstState;
    }
    if (m_link.StartWorker() != 0) {
        TheLog().Write("Unable to start the serial worker");
        Finish();
        m_view.SetStatus(openFailed);
        return false;
    }
    if (!m_view.StartTimer(periodMs)) {
        m_view.SetStatus("Timer start failed - no action taken.");
        Finish();
        return false;
    }
    m_view.EnableControls(false);
    return true;
}

void CUnitTransfer::StartRead(const TransferSettings& settings)
{
    if (ProtocolState() != kIdle) {
        m_view.SetStatus("Read TX - previous read/write operation not completed");
        return;
    }
    if (!m_readBuffer) {
        m_view.SetStatus("Read TX - receive buffer not available");
        return;
    }
    if (!m_stage)
        m_stage.reset(new (std::nothrow) uint8_t[cMemoryMap::kImageSize]);
    if (!m_stage) {
        m_view.SetStatus("Read TX - receive buffer not available");
        return;
    }
    m_view.SetSectorLines({});
    m_mode = Mode::Read;
    StartTransfer(settings, kRequestSector0, kReadPeriodMs, "Read TX - could not open Comm Port");
}

void CUnitTransfer::StartWrite(const TransferSettings& settings)
{
    if (ProtocolState() != kIdle) {
        m_view.SetStatus("Write TX - previous read/write operation not complete");
        return;
    }
    ShowWriteSectors();
    m_mode = Mode::Write;
    m_written.clear();
    m_recoveryTried = false;
    m_verifyAfterWrite = settings.verifyAfterWrite && m_readBuffer;
    StartTransfer(settings, kEnterPgmMode, kWritePeriodMs, "Write TX - could not open Comm Port");
}

void CUnitTransfer::StartVerify(const TransferSettings& settings, std::vector<uint8_t> sectors)
{
    if (ProtocolState() != kIdle) {
        m_view.SetStatus("Verify - previous read/write operation not completed");
        return;
    }
    if (!m_readBuffer) {
        m_view.SetStatus("Read TX - receive buffer not available");
        return;
    }
    // Only sectors of the unit's memory can be compared with the image; the
    // ones past it (70 and up) have no bytes in the image to compare with.
    for (uint8_t sector : sectors) {
        if (sector > kLastImageSector) {
            m_view.SetStatus(FormatText("Verify - sector %d is not in the unit's memory", int(sector)));
            return;
        }
    }
    if (sectors.empty()) {
        const int last = std::min<int>(m_image.GetLastUsedSector(), kLastImageSector);
        for (int sector = 0; sector <= last; ++sector)
            sectors.push_back(uint8_t(sector));
    }
    m_view.SetSectorLines({});
    m_mode = Mode::Verify;
    m_verifyList = std::move(sectors);
    m_verifyIndex = 0;
    StartTransfer(settings, kNextSector, kReadPeriodMs, "Verify - could not open Comm Port");
}

void CUnitTransfer::Step()
{
    bool finish = false;
    {
        std::lock_guard<std::mutex> lock(m_link.TransferMutex());
        TransferRequest& request = m_link.Request();
        const uint8_t state = request.protocolState;
        const uint32_t expected = request.bytesExpected; // read once per step
        if (state != kIdle && m_link.IsLineGone()) {
            // Nothing more will come from a port that has gone away.
            m_view.SetStatus(FormatText("Transfer stopped - the port %s is gone", m_portName.c_str()));
            finish = true;
        } else if (state >= kEnterPgmMode && state <= kSettleLine)
            finish = WriteStep(state, expected);
        else if (state >= kRequestSector0 && state <= kReceiveSector)
            finish = ReadStep(state, expected);
    }
    // Finishing closes the port, which waits for the worker; the worker may
    // itself be waiting for the mutex, so finish only after letting go of it.
    if (finish)
        Finish();
    if (!m_pendingMessage.empty()) {
        std::string text;
        text.swap(m_pendingMessage);
        m_view.ShowMessage(text, m_pendingInformation);
    }
}

void CUnitTransfer::StepNow()
{
    // Bounded: a step chain never runs longer than one sector's states.
    for (int i = 0; i < 8; ++i) {
        const uint8_t before = ProtocolState();
        if (before == kIdle)
            return;
        Step();
        uint8_t after;
        bool replyComplete;
        {
            std::lock_guard<std::mutex> lock(m_link.TransferMutex());
            after = m_link.Request().protocolState;
            replyComplete = m_link.Request().receiveEnabled != 0 && m_link.Request().bytesExpected == 0;
        }
        // Go on into a state that acts on entry, or into one whose reply is
        // already in (a programming result right behind its checksum ack).
        if (after == kIdle || after == before || !(ActsAtOnce(after) || replyComplete))
            return;
    }
}

void CUnitTransfer::LetTheLineGoQuiet()
{
    // A unit may still be sending what an interrupted transfer asked for (a
    // read stopped with Ctrl+C leaves up to a 64 KB sector on its way). Let it
    // end and drop it, so that the first reply taken is the answer to "P1".
    // A quiet unit costs one short look; nothing is sent. The look outlasts
    // the pauses of a sender whose output was held while nobody read it.
    constexpr auto kQuiet = std::chrono::milliseconds(150);
    const auto limit = std::chrono::milliseconds(SectorReplyLimit(65536));
    const auto start = std::chrono::steady_clock::now();
    m_link.Purge();
    for (;;) {
        if (m_quietPause)
            m_quietPause(uint32_t(kQuiet.count()));
        else
            std::this_thread::sleep_for(kQuiet);
        if (m_link.DropQueuedInput() == 0 || std::chrono::steady_clock::now() - start > limit)
            break;
    }
    m_link.Purge();
}

uint32_t CUnitTransfer::SectorReplyLimit(uint32_t length) const
{
    // Like the checksum acknowledgement: the reply's line time and a margin.
    return uint32_t(m_perByteFactor * float(length + kReplyExtra) + float(kAckTimeoutMs));
}

void CUnitTransfer::Finish()
{
    m_view.StopTimer();
    {
        std::lock_guard<std::mutex> lock(m_link.TransferMutex());
        m_link.ClearTransfer();
    }
    m_sendPos = nullptr;
    m_bytesToSend = 0;
    m_progress.SetScale(1);
    m_currentSector = 0;
    m_view.SetProgressPos(0);
    m_view.SetLamps(false, false, false);
    if (m_link.IsOpen()) {
        // Closing purges the port; purging here too would report a vanished
        // port twice.
        m_link.SetMask(0);
        m_link.Close();
    }
    m_view.EnableControls(true);
}

bool CUnitTransfer::TimedOut(uint32_t limitMs)
{
    if (m_disableTimeouts)
        return false;
    return uint32_t(m_tick() - m_link.Request().requestStartTime) > limitMs;
}

// ---- read ------------------------------------------------------------------

void CUnitTransfer::IssueReadRequest(uint8_t sector)
{
    const uint32_t length = m_sectorLength;
    m_readBuffer[kReplyLead + length] = 0;
    m_readBuffer[kReplyLead + length + 1] = 0;
    TransferRequest& request = m_link.Request();
    request.destination = m_readBuffer.get();
    request.bytesExpected = length + kReplyExtra;
    request.receiveEnabled = 1;
    Progress(m_progress.Reset(0));
    std::string command = FormatText("U%02d\r", int(sector));
    m_link.SendData(command.data(), uint32_t(command.size()));
}

// Returns true when the transfer is to finish.
bool CUnitTransfer::ReadStep(uint8_t state, uint32_t expected)
{
    TransferRequest& request = m_link.Request();
    switch (state) {
    case kRequestSector0:
        m_view.SetStatus("Sending RX request");
        m_currentSector = 0;
        m_sectorLength = m_image.GetSectorEnd(0) - m_image.GetSectorStart(0);
        IssueReadRequest(0);
        request.protocolState = kReceiveSector0;
        request.requestStartTime = m_tick();
        return false;

    case kReceiveSector0:
    case kReceiveSector: {
        const bool firstSector = state == kReceiveSector0;
        if (expected > 0) {
            Progress(m_progress.Update(expected));
            // Sector 0 has its fixed limit; a later sector gets its line time
            // and a margin, so a unit that goes silent does not hold the read.
            const uint32_t limit = firstSector ? kAckTimeoutMs : SectorReplyLimit(m_sectorLength);
            if (TimedOut(limit)) {
                m_view.SetStatus(FormatText("Reading TX data timeout. elapsed time = %s",
                                            ElapsedText(m_tick() - m_transferStart).c_str()));
                return true;
            }
            return false;
        }
        const uint32_t length = m_sectorLength;
        const uint8_t* data = m_readBuffer.get() + kReplyLead;
        uint16_t computed = 0;
        for (uint32_t i = 0; i < length; i++)
            computed = uint16_t(computed + data[i]);
        const uint8_t low = data[length];
        const uint8_t high = data[length + 1];
        const uint16_t received = uint16_t(low | (high << 8));
        if (computed != received) {
            std::string text = ChecksumErrorText(received, computed, low, high, !firstSector);
            if (firstSector)
                TheLog().Write("%s", text.c_str());
            m_view.SetStatus("Checksum error");
            m_pendingMessage = text;
            m_pendingInformation = false;
            return true;
        }
        if (m_mode == Mode::Verify) {
            if (memcmp(m_image.GetImageBuffer() + m_image.GetSectorStart(m_currentSector), data, length) != 0)
                m_differing.push_back(m_currentSector);
            request.requestStartTime = m_tick();
            request.protocolState = kNextSector;
            return false;
        }
        std::string okText =
            FormatText("TX Read OK. elapsed time = %s", ElapsedText(m_tick() - m_transferStart).c_str());
        if (firstSector)
            m_view.SetStatus(okText);
        else
            TheLog().Write("%s", okText.c_str());
        // Into the staging copy: the image changes only when the read is whole.
        memcpy(m_stage.get() + m_image.GetSectorStart(m_currentSector), data, length);
        if (firstSector)
            m_readLast = LastUsedSectorOfTable(m_stage.get());
        request.requestStartTime = m_tick();
        request.protocolState = kNextSector;
        return false;
    }

    case kNextSector: {
        if (m_mode == Mode::Verify)
            return NextSector();
        m_currentSector++;
        const int last = m_readLast;
        if (last > kLastImageSector) {
            // The unit's table puts a message past the end of its memory.
            // Nothing beyond sector 0 can be trusted, and nothing beyond
            // sector 69 exists.
            m_view.SetSectorLines({});
            m_view.SetStatus("Read stopped - the unit's message table is invalid");
            m_pendingMessage = "The message table read from the unit is invalid: a message reaches past the "
                               "end of the unit's memory.\nOnly sector 0 was read.";
            m_pendingInformation = false;
            return true;
        }
        m_view.SetSectorLines(ReadSectorLines(last, m_currentSector));
        if (m_currentSector > last) {
            for (int sector = 0; sector <= last; ++sector) {
                const uint32_t start = m_image.GetSectorStart(uint8_t(sector));
                memcpy(m_image.GetImageBuffer() + start, m_stage.get() + start,
                       m_image.GetSectorEnd(uint8_t(sector)) - start);
            }
            m_image.LoadTableFromImage();
            m_view.SetStatus("");
            m_pendingMessage = "TX Data read OK";
            m_pendingInformation = true;
            m_view.SetUnitReadDone();
            m_completed = true;
            return true;
        }
        m_view.SetStatus("Sending RX request");
        m_sectorLength = m_image.GetSectorEnd(m_currentSector) - m_image.GetSectorStart(m_currentSector);
        IssueReadRequest(m_currentSector);
        request.protocolState = kReceiveSector;
        request.requestStartTime = m_tick();
        return false;
    }
    }
    return false;
}

// The next sector of a verify, or its end.
bool CUnitTransfer::NextSector()
{
    TransferRequest& request = m_link.Request();
    if (m_verifyIndex >= m_verifyList.size())
        return FinishVerify();
    m_currentSector = m_verifyList[m_verifyIndex++];
    m_view.SetStatus(FormatText("Verifying sector %d", int(m_currentSector)));
    m_sectorLength = m_image.GetSectorEnd(m_currentSector) - m_image.GetSectorStart(m_currentSector);
    IssueReadRequest(m_currentSector);
    request.protocolState = kReceiveSector;
    request.requestStartTime = m_tick();
    return false;
}

bool CUnitTransfer::FinishVerify()
{
    m_verified = true;
    m_completed = true;
    if (m_differing.empty()) {
        m_view.SetStatus(FormatText("Verify OK - %d sectors match", int(m_verifyList.size())));
        return true;
    }
    std::string list;
    for (uint8_t sector : m_differing)
        list += (list.empty() ? "" : ", ") + std::to_string(sector);
    m_view.SetStatus("Verify failed - sectors differ: " + list);
    return true;
}

// ---- write -----------------------------------------------------------------

void CUnitTransfer::IssueAckRequest(uint32_t bytes)
{
    // The examined byte is the last one; a reply that has not arrived must
    // never pass as an acknowledgement.
    m_ack[bytes - 1] = kAckPreset;
    TransferRequest& request = m_link.Request();
    request.destination = m_ack;
    request.bytesExpected = bytes;
    request.receiveEnabled = 1;
}

bool CUnitTransfer::WriteStep(uint8_t state, uint32_t expected)
{
    TransferRequest& request = m_link.Request();
    const uint8_t n = m_currentSector;
    switch (state) {
    case kEnterPgmMode:
        IssueAckRequest(4);
        request.requestStartTime = m_tick();
        m_link.SendData("P1\r", 3);
        request.protocolState = kAwaitPgmModeAck;
        m_view.SetStatus("Request start pgm mode");
        return false;

    case kAwaitPgmModeAck:
        if (expected > 0) {
            // Not one byte back, where a unit taking commands answers at once:
            // it may be inside a sector write that was cut off, taking "P1" as
            // sector data. Tried once per write.
            if (expected == 4 && !m_recoveryTried &&
                uint32_t(m_tick() - request.requestStartTime) > kRecoveryProbeMs) {
                m_recoveryTried = true;
                const char* text = "No answer to P1 - completing an interrupted sector write";
                TheLog().Write("%s", text);
                m_view.SetStatus(text);
                m_recoveryReply[0] = m_recoveryReply[1] = kAckPreset;
                request.destination = m_recoveryReply;
                request.bytesExpected = sizeof m_recoveryReply;
                request.receiveEnabled = 1;
                m_fillerSent = 0;
                m_fillerStopped = false;
                m_recoveryStart = m_tick();
                request.requestStartTime = m_recoveryStart;
                request.protocolState = kCompletePartialSector;
                return false;
            }
            if (!TimedOut(kAckTimeoutMs))
                return false;
            m_view.SetStatus("Timeout - Enter program Mode");
            return true;
        }
        if (m_ack[3] == 'A') {
            request.protocolState = kNextNeededSector;
            return false;
        }
        if (!m_recoveryTried && EndOfAnEarlierSector(m_ack)) {
            // The answer to a sector of a write that ended while its bytes
            // were still on their way ("AG"), then the echo of "P1": let the
            // line settle and ask again. Tried once per write.
            m_recoveryTried = true;
            TheLog().Write("Answers of an earlier sector before the echo of P1: let the line settle");
            ArmSink();
            m_quietSince = m_tick();
            request.requestStartTime = m_quietSince;
            request.protocolState = kSettleLine;
            return false;
        }
        m_view.SetStatus(FormatText("Bad Ack (Enter program mode). Expecting 'A', had '%c'\n", m_ack[3]));
        return true;

    case kNextNeededSector: {
        uint8_t sector = kNoSector;
        m_image.GetNextNeededSector(sector);
        m_currentSector = sector;
        if (sector == kNoSector) {
            request.protocolState = kLeavePgmMode;
            m_image.LoadTableFromImage();
            m_view.SetUnitReadDone();
            m_view.SetStatus("Ready");
            m_view.EnableControls(true);
            return false;
        }
        m_view.SetStatus(FormatText("Sending TX request sector R%02d\n", int(sector)));
        std::string command = FormatText("R%02d\r", int(sector));
        m_link.SendData(command.data(), uint32_t(command.size()));
        IssueAckRequest(5);
        request.requestStartTime = m_tick();
        request.protocolState = kAwaitSectorStartAck;
        return false;
    }

    case kAwaitSectorStartAck: {
        if (expected > 0) {
            if (!TimedOut(kAckTimeoutMs))
                return false;
            m_view.SetStatus(FormatText("Timeout - Sector start Ack sector %d\n", int(n)));
            return true;
        }
        if (m_ack[4] != 'A') {
            m_view.SetStatus(FormatText("Got bad or illegal sector start Ack. Expecting 'A', got '%c' - sector %d.\n",
                                        m_ack[4], int(n)));
            return true;
        }
        const uint32_t start = m_image.GetSectorStart(n);
        const uint32_t length = m_image.GetSectorEnd(n) - start;
        m_sendPos = m_image.GetImageBuffer() + start;
        m_bytesToSend = length;
        m_checksumAckLimit = uint32_t(m_perByteFactor * float(length) + 5000.0f);
        m_view.SetStatus(FormatText("Transmitting sector %d", int(n)));
        Progress(m_progress.Reset(length));
        m_sentCount = 0;
        request.requestStartTime = m_tick();
        request.protocolState = kSendSectorData;
        return false;
    }

    case kSendSectorData:
        if (m_bytesToSend > 0) {
            const uint32_t k = std::min(m_bytesToSend, kBlockSize);
            m_link.SendData(m_sendPos, k);
            m_bytesToSend -= k;
            m_sendPos += k;
            m_sentCount += k;
            Progress(m_progress.Update(m_bytesToSend));
            return false;
        }
        request.protocolState = kSendChecksum;
        m_view.SetStatus(FormatText("Sector %d sent finished doing checksum\n", int(n)));
        return false;

    case kSendChecksum: {
        const uint16_t checksum = m_image.GetSectorChecksum(n);
        // Ask for the checksum acknowledgement and the programming result
        // together: a unit that programs quickly can send its 'G' before the
        // next step, and bytes that come while nothing is asked for are lost.
        IssueAckRequest(2);
        m_ack[0] = kAckPreset;
        const uint8_t bytes[2] = {uint8_t(checksum & 0xFF), uint8_t(checksum >> 8)};
        m_link.SendData(bytes, 2);
        // The limit counts from the acceptance of the sector start.
        request.protocolState = kAwaitChecksumAck;
        return false;
    }

    case kAwaitChecksumAck:
        if (expected > 1) {
            if (!TimedOut(m_checksumAckLimit))
                return false;
            m_view.SetStatus("Timeout - Checksum Ack");
            return true;
        }
        if (m_ack[0] == 'A') {
            // The programming result is already asked for.
            request.protocolState = kAwaitPgmResult;
            request.requestStartTime = m_tick();
            m_view.SetStatus("Waiting for unit to erase/pgm");
            return false;
        } else {
            std::string text =
                FormatText("Got bad or illegal checksum Ack. Expecting 'A', got '%c' - sector %d.\n", m_ack[0], int(n));
            TheLog().Write("%s", text.c_str());
            m_view.SetStatus(text);
            return true;
        }

    case kAwaitPgmResult:
        if (expected > 0) {
            if (!TimedOut(kPgmResultTimeoutMs))
                return false;
            m_view.SetStatus("Timeout - Sector start Ack");
            return true;
        }
        if (m_ack[1] != 'G') {
            m_view.SetStatus(FormatText("Got bad or illegal programming result ack. Expecting 'G', got %c - sector %d",
                                        m_ack[1], int(n)));
            return true;
        }
        m_image.ClearSectorNeeded(n);
        m_written.push_back(n);
        m_currentSector++;
        ShowWriteSectors();
        request.protocolState = m_writeOneSectorAtATime ? kLeavePgmMode : kNextNeededSector;
        return false;

    case kLeavePgmMode:
        IssueAckRequest(4);
        request.requestStartTime = m_tick();
        m_link.SendData("P0\r", 3);
        request.protocolState = kAwaitExitAck;
        m_view.SetStatus("Request stop program mode.");
        return false;

    case kAwaitExitAck:
        if (expected > 0) {
            if (!TimedOut(kAckTimeoutMs))
                return false;
            m_view.SetStatus("Timeout - Exit program Mode");
            return true;
        }
        if (m_ack[3] == 'A') {
            m_view.SetStatus("Stop Program Mode OK");
        } else {
            std::string text = FormatText("Bad Ack (Exit program mode).Expecting 'A', got '%c'.", m_ack[3]);
            TheLog().Write("%s", text.c_str());
            m_view.SetStatus(text);
        }
        // With nothing needed there is no sector to name.
        if (m_writeOneSectorAtATime && m_currentSector != kNoSector)
            m_view.SetStatus(FormatText("sector %d completed", int(m_currentSector) - 1));
        else
            m_view.SetStatus("Unit write completed.");
        if (m_verifyAfterWrite && !m_written.empty()) {
            // Read back what was programmed on the same open line.
            m_view.EnableControls(false);
            m_mode = Mode::Verify;
            m_verifyList = m_written;
            m_verifyIndex = 0;
            m_differing.clear();
            request.protocolState = kNextSector;
            request.requestStartTime = m_tick();
            return false;
        }
        m_completed = true;
        return true;

    case kCompletePartialSector:
    case kSettleLine:
        return RecoveryStep(state, expected);
    }
    return false;
}

void CUnitTransfer::ArmSink()
{
    TransferRequest& request = m_link.Request();
    request.destination = m_sink;
    request.bytesExpected = sizeof m_sink;
    request.receiveEnabled = 1;
}

// Completing a sector whose write was cut off, so that the unit takes
// commands again. The unit counts the sector's bytes itself; whatever it
// answers once it has them all (normally 'N' for the checksum) ends the
// filler. A unit that was not inside a sector hears only zeros, which form no
// command, and its answer to "P1" ends the filler the same way.
bool CUnitTransfer::RecoveryStep(uint8_t state, uint32_t expected)
{
    TransferRequest& request = m_link.Request();
    if (state == kCompletePartialSector) {
        if (expected == sizeof m_recoveryReply) {
            if (m_fillerSent < kFillerBytes) {
                // Kept close to what the line has carried: once the unit
                // answers, zeros still queued in the driver would hold up the
                // next "P1" behind them.
                const float elapsed = float(uint32_t(m_tick() - m_recoveryStart));
                const float carried = m_perByteFactor > 0.0f ? elapsed / m_perByteFactor : float(kFillerBytes);
                if (float(m_fillerSent) <= carried + float(kFillerLead)) {
                    const uint32_t k = std::min(kBlockSize, kFillerBytes - m_fillerSent);
                    m_link.SendData(kFiller, k);
                    m_fillerSent += k;
                }
                return false;
            }
            // Every byte a sector can want went out, and nothing came back.
            const uint32_t limit = uint32_t(m_perByteFactor * float(kFillerBytes) + float(kAckTimeoutMs));
            if (!TimedOut(limit))
                return false;
            m_view.SetStatus("Timeout - Enter program Mode");
            return true;
        }
        if (!m_fillerStopped) {
            // The sector is complete; filler still queued would only reach a
            // unit that takes commands again.
            m_fillerStopped = true;
            const uint32_t got = sizeof m_recoveryReply - expected;
            m_link.ClearTransfer();
            request.destination = m_recoveryReply + got;
            request.bytesExpected = expected;
            request.receiveEnabled = 1;
            request.protocolState = kCompletePartialSector;
            request.requestStartTime = m_tick();
            TheLog().Write("The unit answered '%c' after %u filler bytes", m_recoveryReply[0],
                           unsigned(m_fillerSent));
        }
        // 'A': the unit found the sum right and is programming; let it end.
        if (expected > 0 && m_recoveryReply[0] == 'A' &&
            uint32_t(m_tick() - request.requestStartTime) <= kPgmResultTimeoutMs)
            return false;
        ArmSink();
        m_quietSince = m_tick();
        request.requestStartTime = m_quietSince;
        request.protocolState = kSettleLine;
        return false;
    }

    // kSettleLine: drop whatever the unit still says until the line is quiet.
    if (expected < sizeof m_sink) {
        ArmSink();
        m_quietSince = m_tick();
    }
    const bool chatty = uint32_t(m_tick() - request.requestStartTime) > SectorReplyLimit(65536);
    if (uint32_t(m_tick() - m_quietSince) < kSettleQuietMs && !chatty)
        return false;
    request.destination = nullptr;
    request.bytesExpected = 0;
    request.receiveEnabled = 0;
    request.protocolState = kEnterPgmMode;
    return false;
}
