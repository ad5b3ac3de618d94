// The memory map under the panel's list: the unit's memory as one bar, each
// message in its own colour with its number, the room left, the sectors the
// next write sends hatched, and the line that says what that write takes.
#pragma once

#include <QWidget>

#include <memory>

#include "CMemoryMapLayout.h"

class cMemoryMap;

class CMemoryMapBar : public QWidget {
    Q_OBJECT

public:
    CMemoryMapBar(const cMemoryMap& map, QWidget* parent = nullptr);
    ~CMemoryMapBar() override;

    // The image or the chosen line speed changed.
    void Refresh(int baud);
    const CMemoryMapLayout& Layout() const { return *m_layout; }
    QRect BarRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const cMemoryMap& m_map;
    int m_baud = 0;
    std::unique_ptr<CMemoryMapLayout> m_layout;
};
