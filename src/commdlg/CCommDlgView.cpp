#include "CCommDlgView.h"

#include <QMetaObject>
#include <QProgressBar>

#include "CModemLamp.h"
#include "TXCommDlg.h"

void CCommDlgView::SetStatus(const std::string& text)
{
    m_dialog.SetStatusText(QString::fromStdString(text));
}

void CCommDlgView::ShowProgressPercent(const std::string& text, int)
{
    m_dialog.SetStatusText(QString::fromStdString(text));
}

void CCommDlgView::SetProgressRange(int maximum)
{
    m_dialog.ProgressBar()->setRange(0, maximum < 0 ? 0 : maximum);
}

void CCommDlgView::SetProgressPos(int position)
{
    m_dialog.ProgressBar()->setValue(position);
}

void CCommDlgView::SetSectorLines(const std::vector<std::string>& lines)
{
    QStringList items;
    for (const std::string& line : lines)
        items << QString::fromStdString(line);
    m_dialog.SetSectorLines(items);
}

void CCommDlgView::ShowMessage(const std::string& text, bool information)
{
    m_dialog.ShowMessage(QString::fromStdString(text), information);
}

void CCommDlgView::EnableControls(bool enable)
{
    m_dialog.EnableTransferControls(enable);
}

void CCommDlgView::SetLamps(bool cts, bool dsr, bool cd)
{
    m_dialog.Lamp(TXCommDlg::LampCts)->SetLit(cts);
    m_dialog.Lamp(TXCommDlg::LampDsr)->SetLit(dsr);
    m_dialog.Lamp(TXCommDlg::LampCd)->SetLit(cd);
}

void CCommDlgView::SetUnitReadDone()
{
    m_dialog.SetUnitReadDone();
}

bool CCommDlgView::StartTimer(unsigned periodMs)
{
    QTimer& timer = m_dialog.StepTimer();
    timer.start(int(periodMs));
    return timer.isActive();
}

void CCommDlgView::StopTimer()
{
    m_dialog.StepTimer().stop();
}

void CCommDlgView::StorePortSelection(int portPosition, int baudPosition)
{
    m_dialog.StorePortSelection(portPosition, baudPosition);
}

void CCommDlgView::OnModemLine(int message, int on)
{
    // Posted, never sent: the worker must not wait for the dialog, which may
    // itself be waiting for the worker (closing the port joins it). A change
    // still queued when the dialog goes away is dropped with it.
    QMetaObject::invokeMethod(
        &m_dialog, [this, message, on] { ApplyModemLine(message, on); }, Qt::QueuedConnection);
}

void CCommDlgView::OnTransferEvent()
{
    if (m_stepQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        &m_dialog,
        [this] {
            m_stepQueued = false;
            m_dialog.OnTransferEvent();
        },
        Qt::QueuedConnection);
}

void CCommDlgView::ApplyModemLine(int message, int on)
{
    // A change that was on its way while the transfer finished must not
    // light a lamp of a closed port.
    if (!m_dialog.IsPortOpen())
        return;
    switch (message) {
    case WM_CTS_CHANGED:
        m_dialog.Lamp(TXCommDlg::LampCts)->SetLit(on != 0);
        break;
    case WM_DSR_CHANGED:
        m_dialog.Lamp(TXCommDlg::LampDsr)->SetLit(on != 0);
        break;
    case WM_RLSD_CHANGED:
        m_dialog.Lamp(TXCommDlg::LampCd)->SetLit(on != 0);
        break;
    default:
        break;
    }
}
