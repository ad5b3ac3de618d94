/* A plain C client of libsonvox.so: binds it at load time through sonvox.h
 * and uses the exports that need no sound device. Exits 0 when all is well. */
#include "sonvox.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int failures = 0;

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond);                                         \
            ++failures;                                                                                                \
        }                                                                                                              \
    } while (0)

static void put32(unsigned char* p, unsigned long v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

/* A mu-law 8000 Hz mono file with n bytes of audio 0..n-1. */
static int write_wav(const char* path, unsigned n)
{
    unsigned char hdr[44] = "RIFF....WAVEfmt ";
    FILE* f;
    unsigned i;
    put32(hdr + 4, 36 + n);
    put32(hdr + 16, 16);
    hdr[20] = 7;
    hdr[21] = 0;
    hdr[22] = 1;
    hdr[23] = 0;
    put32(hdr + 24, 8000);
    put32(hdr + 28, 8000);
    hdr[32] = 1;
    hdr[33] = 0;
    hdr[34] = 8;
    hdr[35] = 0;
    memcpy(hdr + 36, "data", 4);
    put32(hdr + 40, n);
    f = fopen(path, "wb");
    if (!f)
        return 0;
    fwrite(hdr, 1, 44, f);
    for (i = 0; i < n; ++i)
        fputc((int)(i & 0xFF), f);
    return fclose(f) == 0;
}

int main(void)
{
    char dir[] = "/tmp/sonvox-c-XXXXXX";
    char wav[64], logp[64];
    unsigned char buf[240];
    int peak = -7, started;
    double g = 1, c = 1, s = 1;

    if (!mkdtemp(dir))
        return 2;
    snprintf(wav, sizeof wav, "%s/a.wav", dir);
    snprintf(logp, sizeof logp, "%s/Audio.log", dir);
    CHECK(write_wav(wav, 300));

    /* With or without a sound device, the device-free exports work. */
    started = Audio_Init(0x1234u, logp, 1);
    CHECK(started == 0 || started == 1);

    CHECK(IsValidFile(wav) == 1);
    CHECK(GetDuration() == 37);
    CHECK(IsValidFile(NULL) == 0);

    CHECK(LoadPage(wav, 0) == 1);
    CHECK(GetBuffCount() == 2);
    memset(buf, 0, sizeof buf);
    CHECK(GetBuff(buf) == 240);
    CHECK(buf[0] == 1 && buf[1] == 0 && buf[2] == 3 && buf[3] == 2);
    CHECK(GetBuff(buf) == 240);
    CHECK(buf[58] == 43 && buf[59] == 42 && buf[60] == 0xFF && buf[239] == 0xFF);
    CHECK(GetBuff(buf) == 0);

    CHECK(LoadPageSilence(30) == 1);
    CHECK(PageCancel() == 1);
    CHECK(GetBuffCount() == 0);
    CHECK(GetSilentBuff(buf) == 240 && buf[0] == 0xF0);

    CHECK(LoadPlaySilence(999) == 0);
    CHECK(LoadPlaySilence(1000) == 1);
    CHECK(LoadPlay(wav) == 1);
    CHECK(PreviewCancel() == 1);

    CHECK(MeterGetPeak(&peak) == 0 && peak == -7);
    CHECK(Save(wav, 0.1, 0.1, 0.1, 0, &g, NULL, &s) == 0 && g == 1);
    SetNormValue(1, 2, 3, 4);
    NormUpdate();
    CHECK(GetCoderInfor() == 1);
    CHECK(Audio_Release() == 1);

    remove(wav);
    remove(logp);
    rmdir(dir);
    (void)c;
    if (failures)
        fprintf(stderr, "%d check(s) failed\n", failures);
    return failures ? 1 : 0;
}
