// Takes the pictures of windows into a folder as PNG files, at twice their
// size for print; the file says so by its resolution (192 dots an inch), so
// that the guide sets it at its size on the screen.
#pragma once

#include <QString>

#include <functional>

class QWidget;

class CWindowGrabber {
public:
    // The scale the program runs at while it takes the pictures.
    static constexpr int kScale = 2;

    explicit CWindowGrabber(const QString& folder) : m_folder(folder) { }

    // Shows, lays out and paints the window, then keeps its picture as
    // FOLDER/name.png.
    void Take(QWidget& window, const char* name);
    // The same for the modal window that start opens, which is then closed
    // (rejected) so that start returns.
    void TakeModal(const char* name, const std::function<void()>& start);
    // A picture could not be taken or written.
    bool Failed() const { return m_failed; }

private:
    QString m_folder;
    bool m_failed = false;
};
