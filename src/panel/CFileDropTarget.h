// Files dragged from the file manager onto the panel: an image file (.txi)
// anywhere on the window, an audio file onto a row of the message list. It
// decides what a drag may land on and hands an accepted drop over once the
// drop has ended (the file manager waits for it; questions and a conversion
// come after), so that nothing is changed by a refused drop.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAbstractItemView;
class QMimeData;
class QWidget;

class CFileDropTarget : public QObject {
public:
    // row is the message row dropped on, or -1 (the window elsewhere).
    using Dropped = std::function<void(const QString& path, int row)>;

    CFileDropTarget(QWidget* window, QAbstractItemView* list, Dropped dropped);

    // The one local regular file of a drag, or empty.
    static QString DraggedFile(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int RowAt(QObject* watched, QEvent* event) const;

    QWidget* m_window;
    QAbstractItemView* m_list;
    Dropped m_dropped;
};
