// Printing tests: a GUI application on the offscreen platform for the whole
// test program, images with messages, a recorder of printing's messages and
// PDF printers in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPageSize>
#include <QPrinter>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "IPrintReport.h"
#include "cMemoryMap.h"

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "print_test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QGuiApplication> m_app;
};

class RecordedPrintReport : public IPrintReport {
public:
    struct Box {
        std::string caption, text;
        bool stop;
    };
    std::vector<Box> boxes;
    void ShowMessage(const std::string& caption, const std::string& text, bool stop) override
    {
        boxes.push_back({caption, text, stop});
    }
};

// Every slot empty, then a message of `length` bytes in `slot`.
inline void ClearAll(cMemoryMap& map)
{
    for (uint8_t s = 0; s < cMemoryMap::kSlotCount; ++s)
        map.ClearSlot(s);
}

inline void Put(cMemoryMap& map, int slot, uint32_t length, const char* name, int count = 1)
{
    map.AllocateAtEnd(uint8_t(slot));
    map.SetLength(uint8_t(slot), length);
    map.SetName(uint8_t(slot), name);
    map.SetPlayCount(uint8_t(slot), uint8_t(count));
}

// A high-resolution printer that writes a PDF file.
inline void ToPdf(QPrinter& printer, const std::string& path, const QPageSize& size = QPageSize(QPageSize::A4))
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    printer.setPageSize(size);
}

// Device units of a printed page (from the printable area's corner) as points
// from the sheet's corner, as pdftotext gives them.
inline double PointsX(const QPrinter& printer, double x)
{
    return (printer.pageRect(QPrinter::DevicePixel).left() + x) * 72.0 / printer.logicalDpiX();
}
inline double PointsY(const QPrinter& printer, double y)
{
    return (printer.pageRect(QPrinter::DevicePixel).top() + y) * 72.0 / printer.logicalDpiY();
}
