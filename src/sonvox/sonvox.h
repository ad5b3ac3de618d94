/* Sonvox: the audio library's public interface.
 *
 * Plain C, usable from C and C++. Every function is called from the client's
 * thread. Results are 1 (or a count) for success and 0 for failure; nothing
 * throws. Texts are single-byte, NUL-terminated. Failures are reported in the
 * library's own diagnostics log, named by the client in Audio_Init. */
#ifndef SONVOX_H
#define SONVOX_H

#include <stdint.h>

#if defined(__GNUC__)
#define SONVOX_API __attribute__((visibility("default")))
#else
#define SONVOX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the library; 1 started, 0 not (already started, log cannot be
 * opened, no usable input format). The opaque value is not used. */
SONVOX_API int Audio_Init(uint32_t opaque, const char* log_path, int meter_enabled);
/* Stops the playback thread and the recorder and frees device buffers; 1. */
SONVOX_API int Audio_Release(void);

/* Recording. */
SONVOX_API int Record(void);
SONVOX_API int Stop(void);
SONVOX_API int Save(const char* path, double time_constant, double clip_amount, double threshold_factor,
                    int initial_trim, double* gain_out, double* clip_out, double* snr_out);

/* Playback of the play queue. */
SONVOX_API int Preview(void);
SONVOX_API int PreviewCancel(void);
/* 1 when the message last started by Preview stopped early because the
 * output device was lost ("Sound output device lost: NAME" in the log), until
 * the next Preview or PreviewCancel; else 0. */
SONVOX_API int PreviewLost(void);
/* Appends the mu-law audio of one or more WAV files, separated by '*'. */
SONVOX_API int LoadPlay(const char* list);
SONVOX_API int LoadPlaySilence(int ms);

/* Paging: audio cut into 240-byte chunks (bytes of each pair swapped). */
SONVOX_API int LoadPage(const char* list, unsigned int gap_ms);
SONVOX_API int LoadPageSilence(int ms);
SONVOX_API int GetBuff(unsigned char* destination); /* at least 240 bytes */
SONVOX_API int GetBuffCount(void);
SONVOX_API int GetSilentBuff(unsigned char* destination); /* at least 240 bytes */
SONVOX_API int PageCancel(void);

/* Accepted for compatibility; they do nothing. */
SONVOX_API void SetNormValue(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
SONVOX_API void NormUpdate(void);

/* 1 for a mu-law, 8000 Hz, 8-bit, mono WAV file. */
SONVOX_API int IsValidFile(const char* path);
/* Duration in ms of the WAV file last opened by LoadPlay, LoadPage or
 * IsValidFile; 0 when none was. */
SONVOX_API unsigned int GetDuration(void);
/* Shows the report of the audio codecs on this machine; 1. */
SONVOX_API int GetCoderInfor(void);
/* Peak of the oldest captured block; returns its number of 16-bit samples,
 * 0 (and peak_out untouched) when no block is waiting, -1 (peak_out
 * untouched) when the recording has ended by itself because the input device
 * was lost ("Sound input device lost: NAME" in the log): Stop then keeps what
 * was recorded until then, as after any recording. */
SONVOX_API int MeterGetPeak(int* peak_out);

#ifdef __cplusplus
}
#endif

#endif /* SONVOX_H */
