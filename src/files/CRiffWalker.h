// Walking the chunks of a RIFF file, for every reader of WAV files. The file
// may be hostile: every read is bounded by the file's length, and every step
// moves forward, so a walk ends on any input.
//
// The pad byte: RIFF pads an odd-sized chunk to an even size, but files
// written without the pad are common. A pad byte is 0 and never part of an
// id, so after an odd-sized chunk the next chunk starts right after the data
// when four id characters stand there, and one byte later otherwise (never
// past the end).
#pragma once

#include <cstddef>
#include <cstdint>

class CRiffWalker {
public:
    struct Chunk {
        char id[4] = {};
        uint32_t size = 0;
        uint64_t dataPos = 0;  // file offset of the chunk's first data byte
    };

    // Reads through fd (positioned reads: the descriptor's offset is not
    // used); fileLength bounds every read.
    CRiffWalker(int fd, uint64_t fileLength) : m_fd(fd), m_length(fileLength) { }

    uint64_t Length() const { return m_length; }
    // Exactly n bytes at pos, or false.
    bool ReadAt(uint64_t pos, void* to, size_t n) const;
    // The chunk header at pos; false when fewer than 8 bytes are there.
    bool ReadChunk(uint64_t pos, Chunk& chunk) const;
    // Where the chunk after chunk starts, by the pad-byte rule above. False
    // when the chunk's data runs past end.
    bool Next(const Chunk& chunk, uint64_t end, uint64_t& next) const;
    // The first chunk with the id at or after from, before end.
    bool Find(const char id[4], uint64_t from, uint64_t end, Chunk& chunk) const;

    // Bytes 0-11 are "RIFF", a size and "WAVE"; riffSize is the size field.
    bool IsWave(uint32_t& riffSize) const;

private:
    int m_fd;
    uint64_t m_length;
};
