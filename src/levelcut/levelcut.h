/*
 * liblevelcut: post-record processing of one recording, in place.
 *
 * TrimFunc(path) reads a capture (PCM mono, 16 or 8 bit, 44100, 22050 or
 * 11025 Hz), trims the silence before and after the speech, levels it with
 * one constant gain, and replaces the file with an 8000 Hz, 8-bit mono
 * mu-law WAV file (format tag 7, 44-byte header). GetGain, GetClip and
 * GetSNR then describe that run. Settings apply to every following TrimFunc.
 *
 * How a recording is processed:
 *  1. Exact zeros of the capture are digital silence; the mean of the other
 *     samples is taken off them, and the audio is resampled to 8000 Hz.
 *     Mains hum is looked for in the quieter half of the 10 ms frames: a 50
 *     or 60 Hz fundamental (within 2 %) with which that background repeats,
 *     its period measured over up to 256 periods. Hum found is subtracted:
 *     at each sample, the mean of the recording at the same phase of the 20
 *     mains periods either side (Hann-weighted; periods louder than the
 *     background count a thousandth where background is near) - a comb of
 *     narrow notches at the fundamental and every harmonic, flat between
 *     them, with no settling time. Then a second-order high-pass at 80 Hz
 *     takes out rumble, and digital silence is made exactly zero again. The
 *     first `initial trim` samples (at 8 kHz, 0-2000) are dropped: they hold
 *     the record-button click. A trim that leaves no audio is refused
 *     (LEVELCUT_ERR_PARAMS, file unchanged).
 *  2. Every decision is taken on the RMS of 10 ms frames (16-bit scale) of
 *     the speech band: the signal high-passed again at 300 Hz (eighth
 *     order), so that rumble under the voice (ventilation, traffic, wind)
 *     is noise like any other and never speech. The noise floor is the 10th
 *     percentile of the frames that are not digital silence, never taken
 *     under the quantisation noise of the capture's sample size, nor under
 *     60 dB below the hum removed.
 *  3. A frame is clear when it is more than 6 dB over the floor. Speech is
 *     a run of frames over the factor-1 edge level (below) that lasts 40 ms
 *     and holds a clear frame; shorter runs are clicks. A clear run of 30 ms
 *     or less is an impulse (a switch, a tap on the microphone): it never
 *     starts or ends the speech, and never counts in the level or the SNR.
 *     The speech region, from the first to the last speech run, is the same
 *     at every factor: it gives the level and the SNR.
 *  4. Trimming. Everything from the first to the last clear frame of the
 *     speech is kept at every factor, pauses and softer sentences included.
 *     It is grown over the faint sound next to it while frames stay over the
 *     edge level, edge = clear level * (factor / 5)^0.2153: 3 dB under the
 *     clear level at factor 1 (3 dB over the floor), 1.7 dB under it at 2,
 *     1 dB at 3, the clear level itself at 5; and by runs holding a clear
 *     frame within the hangover (below), but for impulses with a frame
 *     louder than the active level of the speech runs: a stop consonant's
 *     release is softer than the speech, a tap that loud is no part of it.
 *     A larger factor never keeps more.
 *     At factor 0 (SetThreshFudge, 0.0-5.0) everything from the first to the
 *     last frame that is not digital silence is kept. Digital silence before
 *     and after the audio is trimmed also when no speech is found; nothing
 *     else is trimmed then.
 *  5. Time constant (SetTimeConstant, 0.5-1.0, default 0.9998): the
 *     per-sample coefficient of a one-pole level follower at 8 kHz. Its
 *     half-power time, ln(10^-0.15) / ln(tc) samples (216 ms at 0.9998,
 *     432 ms at 0.9999, under 1 ms at 0.99; at most 2 s), is the hangover:
 *     short sounds within it of the kept part (a stop consonant's release)
 *     belong to the message. A larger time constant never gives a shorter
 *     message.
 *  6. 150 ms are kept before what step 4 keeps and 200 ms after it, with
 *     5 ms fades at the cuts; these margins stop short of an impulse that
 *     is not kept (at factors above 0).
 *  7. Gain: one constant gain that brings the active speech level (the mean
 *     power, less the noise power, of the speech region's frames within
 *     15.9 dB of that mean) to -19.6 dBFS - about -20.5 dBFS of RMS over
 *     normal speech - within -40..+40 dB, and lower still where more than
 *     `clip amount` percent of the kept samples would exceed full scale
 *     (SetClipAmount, 0.0-1.0 percent; 0 means no sample clips). The level
 *     is taken on the speech band (step 2), impulses left out. A recording
 *     without speech gets no gain at all (0 dB). Samples are then clamped
 *     and encoded mu-law with the program's one table.
 *  8. SNR: mean power of the speech region (pauses included, impulses and
 *     noise taken off) over the noise power, in dB, before the gain, on the
 *     speech band. The noise power is the median frame power of the silence
 *     around the speech (clicks left out); with less than 100 ms of it, of
 *     every frame outside a run with a clear frame; failing that, the floor. It is never taken below the
 *     quantisation noise of the capture's sample size. A recording without
 *     speech gets no gain and reports LEVELCUT_SNR_NO_SPEECH.
 *  `threshold` (SetThreshold, above 0 up to 32768, 184 by default) is
 *  checked and kept for the callers that set it; the processing measures
 *  each recording's own noise floor instead and does not use it.
 *
 * The library keeps one set of settings and results for the process; calls
 * are serialised internally.
 */
#ifndef LEVELCUT_H
#define LEVELCUT_H

#ifdef __cplusplus
extern "C" {
#endif

/* Results of TrimFunc. As int, LEVELCUT_ERR_OPEN is INT_MIN. */
#define LEVELCUT_OK 0
#define LEVELCUT_ERR_PARAMS                                                                                            \
    1 /* "Invalid parameters": a setting out of range, a null path, or an initial trim that leaves no audio */
#define LEVELCUT_ERR_UNKNOWN_FMT                                                                                       \
    0x20000000 /* "Unknown Wave format": a sound WAV file in a format not processed (not PCM, not mono, other rate or sample size) */
#define LEVELCUT_ERR_INVALID_FMT 0x40000000 /* "Invalid Wave format": not a WAV file, or a damaged one */
#define LEVELCUT_ERR_OPEN                                                                                              \
    ((int)0x80000000u) /* "Unable to open Wave file": missing or unreadable file, longer than 20 minutes or too large for memory, or the result cannot be written beside it */

/* Defaults in force until the first Set call. */
#define LEVELCUT_DEFAULT_INITIAL_TRIM 500
#define LEVELCUT_DEFAULT_THRESHOLD 184.0f
#define LEVELCUT_DEFAULT_CLIP_AMOUNT 0.02f
#define LEVELCUT_DEFAULT_TIME_CONSTANT 0.9998f
#define LEVELCUT_DEFAULT_THRESH_FUDGE 1.0f

/* Accepted ranges (inclusive); TrimFunc returns LEVELCUT_ERR_PARAMS when a
 * setting lies outside. The threshold must be above 0. */
#define LEVELCUT_MAX_INITIAL_TRIM 2000 /* 250 ms at 8 kHz */
#define LEVELCUT_MAX_THRESHOLD 32768.0f

/* GetSNR after a run that found no speech. */
#define LEVELCUT_SNR_NO_SPEECH (-99.0)

/* Each setter stores its value for the next TrimFunc and returns 0, or
 * LEVELCUT_ERR_PARAMS when the value is out of range (it is stored anyway,
 * and TrimFunc refuses to run with it). */
int SetInitialTrim(int samples);
int SetThreshold(float threshold);
int SetClipAmount(float amount);
int SetTimeConstant(float timeConstant);
int SetThreshFudge(float factor);

/* Processes the file at path in place; 0 or one of the codes above. The
 * file is replaced atomically: on any failure it is left as it was. */
int TrimFunc(const char* path);

/* Results of the last TrimFunc (all 0 after a failed one). */
double GetSNR(void);  /* dB */
double GetGain(void); /* dB applied */
double GetClip(void); /* number of output samples that clipped */

#ifdef __cplusplus
}
#endif

#endif
