// Writes the seed corpora of every fuzz target into the folder given as the
// only argument: <folder>/<target>/<name>. Run at build time; the replay test
// and scripts/fuzz.sh take the seeds from there.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "CDecoderProcess.h"
#include "FuzzImageInput.h"
#include "cMemoryMap.h"

namespace {

using Bytes = std::vector<uint8_t>;
std::string g_root;

void Put(Bytes& out, uint32_t value, int bytes)
{
    FuzzImageInput::Put(out, value, bytes);
}
void Put(Bytes& out, const char* text)
{
    out.insert(out.end(), text, text + std::strlen(text));
}

void Save(const char* target, const char* name, const Bytes& bytes)
{
    const std::string folder = g_root + "/" + target;
    ::mkdir(g_root.c_str(), 0755);
    ::mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    // An empty seed writes nothing (and hands fwrite no null buffer).
    bool ok = f && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    if (f)
        ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

// ------------------------------------------------------------------ WAV files

struct Chunk {
    std::string id;
    Bytes data;
    bool pad = true;  // a pad byte after an odd-sized chunk
};

Bytes Riff(const std::vector<Chunk>& chunks, int riffSizeChange = 0)
{
    Bytes body;
    Put(body, "WAVE");
    for (const Chunk& c : chunks) {
        Put(body, c.id.c_str());
        Put(body, uint32_t(c.data.size()), 4);
        body.insert(body.end(), c.data.begin(), c.data.end());
        if ((c.data.size() & 1) && c.pad)
            body.push_back(0);
    }
    Bytes out;
    Put(out, "RIFF");
    Put(out, uint32_t(int64_t(body.size()) + riffSizeChange), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int extension = -1)
{
    Bytes f;
    const uint16_t align = uint16_t(channels * ((bits + 7) / 8));
    Put(f, tag, 2);
    Put(f, channels, 2);
    Put(f, rate, 4);
    Put(f, rate * align, 4);
    Put(f, align, 2);
    Put(f, bits, 2);
    if (extension >= 0) {
        Put(f, uint32_t(extension), 2);
        f.resize(f.size() + size_t(extension), 0);
    }
    return f;
}

Bytes Wav(const Bytes& format, const Bytes& data, std::vector<Chunk> extra = {})
{
    std::vector<Chunk> chunks{{"fmt ", format}};
    chunks.insert(chunks.end(), extra.begin(), extra.end());
    chunks.push_back({"data", data});
    return Riff(chunks);
}

Bytes MuLawAudio(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(0x80 + int(40 * std::sin(double(i) * 0.3)));
    return b;
}

// Speech-like: a tone in bursts between quiet noise, 16-bit or 8-bit PCM.
Bytes Speech(uint32_t rate, int bits, double seconds, double noise)
{
    const size_t n = size_t(rate * seconds);
    Bytes b;
    uint32_t seed = 12345;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        seed = seed * 1103515245u + 12345u;
        const double hiss = noise * (double((seed >> 16) & 0x7FFF) / 16384.0 - 1.0);
        const bool voiced = t > seconds * 0.3 && t < seconds * 0.7;
        const double v =
            (voiced ? 9000.0 * std::sin(2 * M_PI * 220 * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 4 * t)) : 0) + hiss;
        const int s = int(std::lround(std::fmax(-32768, std::fmin(32767, v))));
        if (bits == 16)
            Put(b, uint16_t(int16_t(s)), 2);
        else
            b.push_back(uint8_t((s >> 8) + 128));
    }
    return b;
}

void WavSeeds(const char* target)
{
    const Bytes unitFormat = Format(7, 1, 8000, 8);
    Save(target, "unit.wav", Wav(unitFormat, MuLawAudio(800)));
    Save(target, "unit_empty.wav", Wav(unitFormat, {}));
    Save(target, "unit_fmt18.wav", Wav(Format(7, 1, 8000, 8, 0), MuLawAudio(301)));
    Save(target, "unit_odd_chunk_padded.wav", Wav(unitFormat, MuLawAudio(500), {{"LIST", Bytes(37, 'x')}}));
    Save(target, "unit_odd_chunk_unpadded.wav", Wav(unitFormat, MuLawAudio(500), {{"LIST", Bytes(37, 'x'), false}}));
    Save(target, "unit_odd_data_last.wav", Riff({{"fmt ", unitFormat}, {"data", MuLawAudio(333), false}}));
    Save(target, "unit_chunk_before_fmt.wav",
         Riff({{"fact", Bytes(4, 1)}, {"fmt ", unitFormat}, {"data", MuLawAudio(200)}}));
    Bytes lying = Wav(unitFormat, MuLawAudio(1000));
    lying[40] = 0xF0, lying[41] = 0xFF, lying[42] = 0xFF, lying[43] = 0xFF;  // data claims 0xFFFFFFF0 bytes
    Save(target, "unit_data_claims_4g.wav", lying);
    Bytes truncated = Wav(unitFormat, MuLawAudio(1000));
    truncated.resize(600);
    Save(target, "unit_truncated.wav", truncated);
    Save(target, "unit_riff_size_wrong.wav", Riff({{"fmt ", unitFormat}, {"data", MuLawAudio(100)}}, 10));
    Save(target, "pcm16_8k.wav", Wav(Format(1, 1, 8000, 16), Speech(8000, 16, 0.1, 50)));
    Save(target, "alaw.wav", Wav(Format(6, 1, 8000, 8), MuLawAudio(100)));
    Save(target, "extensible.wav", Wav(Format(0xFFFE, 2, 44100, 16, 22), Bytes(64, 0)));
    Save(target, "fmt_huge.wav", Riff({{"fmt ", Bytes(2000, 7)}, {"data", MuLawAudio(10)}}));
    Save(target, "not_riff.wav", Bytes{'R', 'I', 'F', 'X', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
    Save(target, "header_only.wav", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
}

void LevelcutSeeds()
{
    const char* t = "levelcut";
    Save(t, "pcm16_11025_speech.wav", Wav(Format(1, 1, 11025, 16), Speech(11025, 16, 1.0, 40)));
    Save(t, "pcm8_11025_noisy.wav", Wav(Format(1, 1, 11025, 8), Speech(11025, 8, 1.0, 2500)));
    Save(t, "pcm16_22050_short.wav", Wav(Format(1, 1, 22050, 16), Speech(22050, 16, 0.4, 10)));
    Save(t, "pcm16_44100_silence.wav", Wav(Format(1, 1, 44100, 16), Bytes(8820, 0)));
    Save(t, "pcm16_11025_odd_chunk.wav",
         Wav(Format(1, 1, 11025, 16), Speech(11025, 16, 0.3, 40), {{"LIST", Bytes(11, 'i')}}));
    Save(t, "pcm16_stereo.wav", Wav(Format(1, 2, 11025, 16), Bytes(4000, 1)));
    Save(t, "pcm16_8000.wav", Wav(Format(1, 1, 8000, 16), Speech(8000, 16, 0.2, 40)));
    Save(t, "mulaw.wav", Wav(Format(7, 1, 8000, 8), MuLawAudio(400)));
    Bytes truncated = Wav(Format(1, 1, 11025, 16), Speech(11025, 16, 0.5, 40));
    truncated.resize(truncated.size() / 2);
    Save(t, "pcm16_truncated.wav", truncated);
    Save(t, "garbage.wav", Bytes{'h', 'e', 'l', 'l', 'o'});
}

// ----------------------------------------------------------- decoder replies

void Record(Bytes& out, char type, const Bytes& payload)
{
    out.push_back(uint8_t(type));
    Put(out, uint32_t(payload.size()), 4);
    out.insert(out.end(), payload.begin(), payload.end());
}

Bytes Description(int rate, int channels)
{
    CAudioFileInfo info;
    info.sampleRate = rate;
    info.channels = channels;
    info.bitsPerSample = 16;
    info.frames = 8000;
    return CDecoderProcess::PackInfo(info);
}

// A head (task, samples asked for, piece size) and the helper's records.
Bytes ReplyHead(bool convert, uint32_t asked, uint8_t piece)
{
    Bytes out{uint8_t(convert ? 1 : 0)};
    if (convert)
        Put(out, asked, 2);
    out.push_back(piece);
    return out;
}

void DecoderReplySeeds()
{
    const char* t = "decoder_replies";
    const Bytes done(9, 0);
    const Bytes progress{0xF4, 0x01, 0, 0};  // 500 permille
    Bytes s = ReplyHead(true, 4000, 255);
    Record(s, 'P', progress);
    Record(s, 'I', Description(44100, 2));
    Record(s, 'D', Bytes(3000, 0x7F));
    Record(s, 'R', done);
    Save(t, "convert_good.bin", s);
    s.push_back('R');
    Save(t, "convert_after_done.bin", s);
    s = ReplyHead(true, 100, 7);
    Record(s, 'I', Description(8000, 1));
    Record(s, 'D', Bytes(101, 1));
    Record(s, 'R', done);
    Save(t, "convert_too_many_samples.bin", s);
    s = ReplyHead(true, 100, 0);
    Record(s, 'I', Description(22050, 1));
    Put(s, "E");
    Put(s, 17, 4);
    Put(s, "flac decoder lost");
    Save(t, "convert_reason.bin", s);
    s = ReplyHead(false, 0, 3);
    Record(s, 'I', Description(48000, 1));
    Record(s, 'R', done);
    Save(t, "probe_good.bin", s);
    s = ReplyHead(false, 0, 3);
    Record(s, 'I', Description(-5, 0));
    Record(s, 'R', done);
    Save(t, "probe_bad_rate.bin", s);
}

// ------------------------------------------------------------------- images

Bytes FreshTable()
{
    cMemoryMap map;
    return Bytes(map.GetTable(), map.GetTable() + cMemoryMap::kTableSize);
}

void ImageSeeds()
{
    using namespace FuzzImageInput;
    const char* t = "image_ops";
    Save(t, "empty.bin", WellFormed(FreshTable()));

    // A new image filled by the operations themselves.
    Bytes ops = WellFormed(FreshTable());
    const Bytes fill = {kAllocateAtEnd,
                        0,
                        0x10,
                        0x00,
                        kSetName,
                        0,
                        4,
                        'A',
                        'B',
                        'C',
                        'D',
                        kUpdateChecksum,
                        0,
                        kAllocateAtEnd,
                        1,
                        0x00,
                        0x40,
                        kExportImport,
                        0,
                        2,
                        kDrainNeeded,
                        0,
                        kRoomLeft,
                        0,
                        kClearSlot,
                        0,
                        kRoomLeft,
                        1,
                        kSaveAndReload,
                        0,
                        kSilenceImport,
                        3,
                        0xE8,
                        0x03};
    ops.insert(ops.end(), fill.begin(), fill.end());
    Save(t, "empty_then_operations.bin", ops);

    // Three messages back to back in sectors 1-9, named.
    Bytes table = FreshTable();
    PutEntry(table, 0, 0x2000, 6000);
    PutEntry(table, 1, 0x2000 + 6000, 70000, 3);
    PutEntry(table, 2, 0x2000 + 76000, 500, 9);
    std::memcpy(&table[cMemoryMap::kNameOffset], "Welcome", 7);
    std::memcpy(&table[cMemoryMap::kNameOffset + 16], "Closed today", 12);
    Bytes slots = WellFormed(table);
    const Bytes edit = {kClearSlot,
                        0,
                        kShiftDown,
                        2,
                        0x10,
                        0x00,
                        0x00,
                        kDrainNeeded,
                        0,
                        kImportBytes,
                        4,
                        12,
                        'R',
                        'I',
                        'F',
                        'F',
                        4,
                        0,
                        0,
                        0,
                        'W',
                        'A',
                        'V',
                        'E',
                        kMarkNeeded,
                        1,
                        kRebuildNeeded,
                        0,
                        kExportImport,
                        1,
                        5,
                        kSetLength,
                        2,
                        0xFF,
                        0xFF,
                        0x3F,
                        kUpdateChecksum,
                        2,
                        kRoomLeft,
                        0};
    slots.insert(slots.end(), edit.begin(), edit.end());
    Save(t, "three_slots.bin", slots);

    // Tables no valid image holds: past the end, overlapping, at 0, full.
    Bytes hostile = FreshTable();
    PutEntry(hostile, 0, 0, 0);
    PutEntry(hostile, 1, 0x3EFF00, 0x1000);
    PutEntry(hostile, 2, 0x100, 0x3000);
    PutEntry(hostile, 3, 0x2500, 0x100);
    PutEntry(hostile, 4, 0xFFFFFF, 0xFFFFFF);
    std::memset(&hostile[cMemoryMap::kNameOffset + 48], 'N', 16);  // no terminator
    Bytes hostileOps = WellFormed(hostile);
    const Bytes poke = {kRoomLeft,
                        0,
                        kAllocateAtEnd,
                        5,
                        0x10,
                        0x00,
                        kClearSlot,
                        2,
                        kDrainNeeded,
                        0,
                        kShiftDown,
                        1,
                        0x00,
                        0x00,
                        0x01,
                        kExportImport,
                        1,
                        6,
                        kClearSlot,
                        0,
                        kExportImport,
                        4,
                        0,
                        kSaveAndReload,
                        0};
    hostileOps.insert(hostileOps.end(), poke.begin(), poke.end());
    Save(t, "hostile_table.bin", hostileOps);

    Bytes full = FreshTable();
    PutEntry(full, 0, 0x2000, cMemoryMap::kImageSize - 0x2000 - 10);
    Bytes fullOps = WellFormed(full);
    const Bytes more = {kSilenceImport, 1, 0x10, 0x00, kAllocateAtEnd, 1, 0xFF, 0xFF, kRoomLeft, 1};
    fullOps.insert(fullOps.end(), more.begin(), more.end());
    Save(t, "nearly_full.bin", fullOps);

    Bytes version{kVersion};
    Put(version, 2, 4);
    Put(version, 0, 2);
    Save(t, "version_2.bin", version);
    Save(t, "one_byte_short.bin", Bytes{kLength, 0xFF, 0, 0});
    Save(t, "one_byte_long.bin", Bytes{kLength, 0x01, 0, 0});
    Save(t, "raw_small_file.bin", Bytes{kRaw, 1, 0, 0, 0, 0, 0, 0, 0});
}

// ------------------------------------------------------------------ transfers

Bytes TransferInput(uint8_t flags, const Bytes& table, const Bytes& script)
{
    Bytes out{flags};
    out.insert(out.end(), table.begin(), table.end());
    out.resize(1 + 192, 0);
    // A transfer starts on a quiet line: a script first lets its time pass
    // (20 x 10 ms) and steps out of it.
    if (!script.empty())
        out.insert(out.end(), {4, 20, 0, 0});
    out.insert(out.end(), script.begin(), script.end());
    return out;
}

void TransferSeeds()
{
    const char* t = "unit_transfer";
    Bytes table = FreshTable();
    FuzzImageInput::PutEntry(table, 0, 0x2000, 9000);
    FuzzImageInput::PutEntry(table, 1, 0x2000 + 9000, 300, 2);
    Save(t, "read_good.bin", TransferInput(0, table, {}));
    Save(t, "read_fresh_unit.bin", TransferInput(0, FreshTable(), {}));
    // Scripts (after the quiet line) start with a step: the first request
    // goes out on it.
    // A read whose sector 0 reply arrives in pieces, one of them corrupt.
    Save(t, "read_corrupt_reply.bin", TransferInput(0, table, {1, 5, 0x00, 0x01, 2, 2, 'x', 'y', 'z', 3}));
    // A read where the unit stops answering after sector 0.
    Save(t, "read_timeout.bin", TransferInput(0, table, {1, 3, 1, 4, 0xFF, 0xFF, 0}));
    Bytes outside = FreshTable();
    FuzzImageInput::PutEntry(outside, 0, 0x3E0000, 0x20000);
    Save(t, "read_table_past_end.bin", TransferInput(0x42, outside, {}));  // 0x42 % 3 == 0: a read
    Save(t, "write_good.bin", TransferInput(1, table, {}));
    Save(t, "write_one_sector_verify.bin", TransferInput(1 | 0x04 | 0x10, table, {}));
    Save(t, "write_slow_baud.bin", TransferInput(1 | 0x20, table, {3, 3, 0, 3}));
    Save(t, "write_bad_ack.bin", TransferInput(1, table, {1, 2, 3, 'P', '1', '\r', 'X'}));
    Save(t, "write_timeout.bin", TransferInput(1, table, {1, 4, 0xFF, 0xFF, 0}));
    Save(t, "write_line_gone.bin", TransferInput(1, table, {1, 6, 1, 0}));
    Save(t, "write_no_timeouts.bin", TransferInput(1 | 0x08, table, {1, 4, 0xFF, 0xFF, 0, 3}));
    Save(t, "verify_sectors.bin", TransferInput(2, table, {3, 0, 1, 5}));
    Save(t, "verify_all_used.bin", TransferInput(2, table, {0}));
}

// A journal (its length in two bytes) in front of a transfer's input.
Bytes JournalInput(const std::string& journal, const Bytes& transfer)
{
    Bytes out;
    Put(out, uint32_t(journal.size()), 2);
    out.insert(out.end(), journal.begin(), journal.end());
    out.insert(out.end(), transfer.begin(), transfer.end());
    return out;
}

void JournalSeeds()
{
    const char* t = "journal";
    Bytes table = FreshTable();
    FuzzImageInput::PutEntry(table, 0, 0x2000, 9000);
    // The port "fuzz" has no device behind it: its identity is its name. The
    // process never ran, so the write it names was interrupted.
    const std::string interrupted =
        "port=fuzz\nunit=fuzz\nsector=1\nstarted=2026-01-01 10:00:00\npid=2147483647\nprocess-start=1\nboot=x\n";
    Save(t, "interrupted_write_good.bin", JournalInput(interrupted, TransferInput(1, table, {})));
    Save(t, "interrupted_read_good.bin", JournalInput(interrupted, TransferInput(0, table, {})));
    Save(t, "interrupted_silent_unit.bin", JournalInput(interrupted, TransferInput(1, table, {1, 4, 0xFF, 0xFF, 0})));
    Save(t, "interrupted_lone_answer.bin",
         JournalInput(interrupted, TransferInput(1, table, {1, 2, 0, 'N', 4, 200, 0, 0, 3})));
    Save(t, "other_unit.bin",
         JournalInput("port=fuzz\nunit=unitsim:1:2\nsector=1\npid=2147483647\nboot=x\n", TransferInput(1, table, {})));
    Save(t, "garbage_write_good.bin", JournalInput("\x01\x02garbage\nsector=x", TransferInput(1, table, {})));
    Save(t, "garbage_write_timeout.bin",
         JournalInput("sector=1\npid=-1", TransferInput(1, table, {1, 4, 0xFF, 0xFF, 0})));
}

void HandOverSeeds()
{
    const char* t = "handover_line";
    auto text = [](const std::string& line) { return Bytes(line.begin(), line.end()); };
    Save(t, "absolute.bin", text("/home/operator/units/front door.txi"));
    Save(t, "empty.bin", text(""));
    Save(t, "relative.bin", text("units/front.txi"));
    Save(t, "nul.bin", text(std::string("/a\0b", 4)));
    Save(t, "too_long.bin", text("/" + std::string(5000, 'a')));
}

void SettingsSeeds()
{
    const char* t = "settings_values";
    auto text = [](const std::string& conf) { return Bytes(conf.begin(), conf.end()); };
    const std::string entries = "[Port%20defaults]\n1\\Port=/dev/ttyS0\n1\\Baud=115200\n1\\Data%20bits=8\n"
                                "1\\Parity=0\n1\\Stop%20bits=0\n1\\Handshaking=0\n"
                                "2\\Port=1\n2\\Baud=57600\n2\\Data%20bits=7\n2\\Parity=1\n"
                                "2\\Stop%20bits=1\n2\\Handshaking=1\n";
    Save(t, "two_ports.conf", text(entries + "size=2\n"));
    Save(t, "huge_size.conf", text("[Port%20defaults]\nsize=2147483647\n"));
    Save(t, "legacy_group.conf",
         text("[Port%20defaults]\n%252Fdev%252FttyS0\\Baud=9600\n"
              "%252Fdev%252FttyS0\\Data%20bits=8\n%252Fdev%252FttyS0\\Parity=0\n"
              "%252Fdev%252FttyS0\\Stop%20bits=0\n%252Fdev%252FttyS0\\Handshaking=0\n"));
    Save(t, "numbered_port.conf",
         text("[Port%20defaults]\n3\\Port=/dev/ttyS3\n3\\Baud=38400\n3\\Data%20bits=8\n"
              "3\\Parity=0\n3\\Stop%20bits=0\n3\\Handshaking=0\nsize=3\n"));
    Save(t, "bad_values.conf", text("[Port%20defaults]\n1\\Port=/dev/ttyS0\n1\\Baud=-5\nsize=1\n"));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    ImageSeeds();
    WavSeeds("wav_import");
    WavSeeds("sonvox_wav");
    TransferSeeds();
    LevelcutSeeds();
    JournalSeeds();
    HandOverSeeds();
    SettingsSeeds();
    DecoderReplySeeds();
    return 0;
}
