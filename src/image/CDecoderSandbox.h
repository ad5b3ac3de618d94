// The walls around the decoder helper (ormid-decode), put up before it reads
// a byte of the file: whatever a hostile file makes a decoder do, the helper
// can reach nothing but the file on its stdin and the pipes on its stdout
// and stderr.
//
//   Close()  limits on processor time, address space, open files, file size
//            and core files; no descriptor beyond the three; an empty
//            environment; "/" as working folder;
//            new user, network and mount namespaces where the system allows
//            them (a note on stderr, which reaches the program log, where not)
//   Seal()   no new privileges and a system-call filter that allows reading
//            and writing the descriptors it has, memory, time, threads and
//            exit, and kills the process on anything else (opening a file,
//            a socket, exec, fork, signals to other processes)
//
// Close() runs while the helper has a single thread (namespaces need that),
// Seal() once its threads are up: the filter covers all of them, and from
// then on no process or thread can be added.
#pragma once

#include <sys/resource.h>

#include <string>

class CDecoderSandbox {
public:
    CDecoderSandbox(rlim_t cpuSeconds, rlim_t memoryBytes) : m_cpu(cpuSeconds), m_memory(memoryBytes) { }

    void Close();
    // False (with the reason in Error()) when the filter could not be put in
    // place: the helper then decodes nothing.
    bool Seal();
    const std::string& Error() const { return m_error; }

private:
    rlim_t m_cpu;
    rlim_t m_memory;
    std::string m_error;
};
