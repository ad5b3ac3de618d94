// Points the user's state folder (XDG_STATE_HOME, where the write journals
// live) at a fresh temporary folder while it lives, so that journals of one
// test never reach another; child processes inherit it.
#pragma once

#include <cstdlib>
#include <string>

#include "TempFolder.h"

class StateFolder {
public:
    StateFolder()
    {
        const char* old = std::getenv("XDG_STATE_HOME");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        setenv("XDG_STATE_HOME", m_folder.Path().c_str(), 1);
    }
    ~StateFolder()
    {
        if (m_hadOld)
            setenv("XDG_STATE_HOME", m_old.c_str(), 1);
        else
            unsetenv("XDG_STATE_HOME");
    }
    const std::string& Path() const { return m_folder.Path(); }

private:
    TempFolder m_folder;
    std::string m_old;
    bool m_hadOld = false;
};
