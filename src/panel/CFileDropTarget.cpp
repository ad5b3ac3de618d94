#include "CFileDropTarget.h"
#include "CPanelSession.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QAbstractItemView>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include "cMemoryMap.h"

CFileDropTarget::CFileDropTarget(QWidget* window, QAbstractItemView* list, Dropped dropped)
    : QObject(window), m_window(window), m_list(list), m_dropped(std::move(dropped))
{
    window->setAcceptDrops(true);
    list->setAcceptDrops(true);
    list->viewport()->setAcceptDrops(true);
    window->installEventFilter(this);
    list->viewport()->installEventFilter(this);
}

QString CFileDropTarget::DraggedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return QString();
    const QString path = urls.first().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

int CFileDropTarget::RowAt(QObject* watched, QEvent* event) const
{
    if (watched != m_list->viewport())
        return -1;
    // QDragEnterEvent is a QDragMoveEvent, and both are QDropEvents.
    return m_list->indexAt(static_cast<QDropEvent*>(event)->position().toPoint()).row();
}

bool CFileDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = DraggedFile(drop->mimeData());
    const int row = RowAt(watched, event);
    // Entering the list anywhere keeps the drag alive; the row it moves over
    // decides where it may land.
    const bool enteringList = type == QEvent::DragEnter && watched == m_list->viewport();
    if (!(enteringList ? !path.isEmpty() : CPanelSession::AcceptsDrop(path, row))) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        QTimer::singleShot(0, m_window, [this, path, row] { m_dropped(path, row); });
    return true;
}
