// The unit image as a document: image files loaded and saved under the image
// lock, and the changed mark (changes not yet saved to a file). The panel
// keeps one over the program's image; ormid-cli changes a file in one step.
#pragma once

#include <functional>
#include <string>

class cMemoryMap;
class IOperatorReport;

class CImageDocument {
public:
    CImageDocument(cMemoryMap& map, IOperatorReport& report) : m_map(map), m_report(report) { }

    // Reads an image file under a shared lock, so that no writer is caught
    // half way. A load clears the changed mark; a failed one leaves the image
    // and the mark as they were.
    bool Load(const std::string& path);
    // Writes the image under an exclusive lock; clears the changed mark once
    // the file is written. A failed save leaves the changes unsaved.
    bool Save(const std::string& path);

    bool Changed() const { return m_changed; }
    void SetChanged(bool changed) { m_changed = changed; }

    // Reads an image file for reading only, under a shared lock let go once
    // the file is in memory.
    static bool ReadShared(const std::string& path, cMemoryMap& map, IOperatorReport& report);
    // One change of an image file: the exclusive lock is held from the read
    // to the write, so that no other program's change is lost; the file is
    // written only when change returns true. True when written.
    static bool Change(const std::string& path, IOperatorReport& report,
                       const std::function<bool(cMemoryMap&)>& change);

private:
    cMemoryMap& m_map;
    IOperatorReport& m_report;
    bool m_changed = false;
};
