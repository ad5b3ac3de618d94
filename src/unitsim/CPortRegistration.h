#pragma once
// Symlinks that make a running simulator findable: one in the user's ports
// folder, which the program's port list reads, and any the caller asks for.
// Each is removed again on exit, if it still points to this simulator's port.

#include <string>
#include <vector>

class CPortRegistration {
public:
    CPortRegistration() = default;
    ~CPortRegistration();
    CPortRegistration(const CPortRegistration&) = delete;
    CPortRegistration& operator=(const CPortRegistration&) = delete;

    // $XDG_RUNTIME_DIR/ormid/ports, or /tmp/ormid-<uid>/ports without it.
    static std::string PortsFolder();

    // Links PortsFolder()/unitsim-<pid> to the port, creating the folder, and
    // clears links left behind by simulators that did not end cleanly.
    bool Register(const std::string& port, std::string* error);
    // A link at a path of the caller's choosing; an existing symlink there is
    // replaced, anything else is left alone and refused.
    bool AddLink(const std::string& linkPath, const std::string& port, std::string* error);
    void RemoveAll();

    const std::vector<std::string>& Links() const { return m_links; }

private:
    bool Link(const std::string& linkPath, const std::string& port, std::string* error);

    std::vector<std::string> m_links;
    std::string m_port;
};
