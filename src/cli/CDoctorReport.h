// What ormid-cli doctor tells an operator about this machine: the serial
// ports and whether they open, membership of the dialout group, the sound
// devices, and where settings and working files are. Gather() reads the
// machine for the current user; Text() and Problems() work on the facts alone,
// so they can be checked with any facts.
#pragma once

#include <string>
#include <vector>

#include "CSoundDeviceReport.h"

struct SDoctorPort {
    std::string path;
    int error = 0;  // 0: the port opens; otherwise the errno of the attempt
};

struct SDoctorFacts {
    std::string user;
    bool root = false;
    // The dialout group: whether it exists, whether the user belongs to it in
    // the group database, and whether this session already carries it.
    bool dialoutExists = false;
    bool dialoutMember = false;
    bool dialoutActive = false;
    std::vector<SDoctorPort> ports;
    // Sound: the file devices named in the environment, the sound cards the
    // kernel knows, and a sound server's socket.
    std::string captureFile;
    std::string playbackFile;
    std::vector<std::string> soundCards;
    std::string soundServer;
    // The devices the audio library can use and ORMID's choice among them.
    SSoundDeviceFacts sound;
    std::string programFolder;
    bool programFolderWritable = false;
    std::string workingFolder;
    bool workingFolderWritable = false;
    std::string settingsFile;
    bool settingsExist = false;
    std::string guideFile;
    bool guideExists = false;
    std::string debugIni;
    bool debugIniExists = false;
    bool logOn = false;
};

class CDoctorReport {
public:
    // Reads this machine for the user running the program.
    void Gather();
    void SetFacts(const SDoctorFacts& facts) { m_facts = facts; }
    const SDoctorFacts& Facts() const { return m_facts; }

    // The report, several lines, each problem on a line starting "  problem: ".
    std::string Text() const;
    // How many problems Text() names; 0 means nothing keeps ORMID from working.
    int Problems() const;

    // Tries to open a serial port for reading and writing, without changing
    // its settings; 0 when it opens, otherwise the errno.
    static int ProbePort(const std::string& path);

private:
    std::vector<std::string> ProblemTexts() const;

    SDoctorFacts m_facts;
};
