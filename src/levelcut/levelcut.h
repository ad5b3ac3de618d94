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
 *  1. DC (the mean) is removed, the audio is resampled to 8000 Hz and a
 *     second-order high-pass at 80 Hz takes out hum and the rest of any
 *     offset. The first `initial trim` samples (at 8 kHz) are then dropped:
 *     they hold the record-button click and the filter's settling.
 *  2. The audio is cut into 10 ms frames and every decision is taken on
 *     frame RMS (on the 16-bit scale), never on single samples. The noise
 *     floor is the 10th percentile of the frame RMS values.
 *  3. Speech threshold (frame RMS):
 *         base = max(min(threshold, loud / 20), 4 * noise floor)
 *         high = min(factor * base, max(base, loud / sqrt(10)))
 *         low  = high / 2
 *     `threshold` (SetThreshold, 184 by default) is the lowest RMS that can
 *     count as speech when the recording is nearly noise-free: 184 on the
 *     16-bit scale is -45 dBFS, about 30 dB under the level of normally
 *     recorded speech. `loud` is the 95th percentile of the frame RMS: in a
 *     quiet recording the threshold comes down to 26 dB under its loudest
 *     sounds, so a soft voice keeps its soft sounds. In a noisier recording
 *     the threshold rides 12 dB over the noise floor instead. `factor` (SetThreshFudge, 0.0-5.0)
 *     scales it: larger keeps less, 0 keeps everything that is not digital
 *     silence. Above 1 it never lifts the threshold closer than 10 dB to
 *     the loud frames, so in noise the loud middle of the speech is never
 *     lost and the factor acts gently and monotonically over its range. A run of frames above `low` that reaches `high` somewhere is
 *     a burst; a burst of at least 40 ms is speech, a shorter one is a click
 *     unless it lies within the hangover of speech (below).
 *  4. Time constant (SetTimeConstant, 0.5-1.0, default 0.9998): the
 *     per-sample coefficient of a one-pole level follower at 8 kHz. Its
 *     half-power time, ln(10^-0.15) / ln(tc) samples (216 ms at 0.9998,
 *     432 ms at 0.9999, under 1 ms at 0.99; at most 2 s), is the hangover:
 *     short bursts within the hangover of speech (a stop consonant's
 *     release after its closure, a soft onset) belong to the message.
 *     Only the silence before the first and after the last speech is ever
 *     trimmed, so pauses between words are never cut, and a larger time
 *     constant never gives a shorter message.
 *  5. 150 ms are kept before the speech and 200 ms after it, with 5 ms
 *     fades at the cuts. A recording in which no speech is found is not
 *     trimmed (beyond the initial trim), gets no gain and reports
 *     LEVELCUT_SNR_NO_SPEECH.
 *  6. Gain: one constant gain that brings the speech level (the mean power
 *     of the speech frames between the 50th and 95th percentile, less the
 *     noise power, so isolated clicks do not count) to -18 dBFS, within
 *     -40..+40 dB, and lower still where more than `clip amount` percent of
 *     the kept samples would exceed full scale (SetClipAmount, 0.0-1.0
 *     percent; 0 means no sample clips). Samples are then clamped and
 *     encoded G.711 mu-law.
 *  7. SNR: mean power of the speech (first to last speech frame, pauses
 *     included, noise taken off) over the noise power, in dB, before the
 *     gain. The noise power is the median frame power of the silence
 *     around the speech (clicks left out); with less than 100 ms of it,
 *     of every frame outside a burst; failing that, the noise floor. The noise power is never taken below the
 *     quantisation noise of the capture's sample size.
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
#define LEVELCUT_OK              0
#define LEVELCUT_ERR_PARAMS      1           /* "Invalid parameters" */
#define LEVELCUT_ERR_UNKNOWN_FMT 0x20000000  /* "Unknown Wave format": a sound WAV file in a format not processed (not PCM, not mono, other rate or sample size) */
#define LEVELCUT_ERR_INVALID_FMT 0x40000000  /* "Invalid Wave format": not a WAV file, or a damaged one */
#define LEVELCUT_ERR_OPEN        ((int)0x80000000u) /* "Unable to open Wave file": missing or unreadable file, longer than 20 minutes or too large for memory, or the result cannot be written beside it */

/* Defaults in force until the first Set call. */
#define LEVELCUT_DEFAULT_INITIAL_TRIM  500
#define LEVELCUT_DEFAULT_THRESHOLD     184.0f
#define LEVELCUT_DEFAULT_CLIP_AMOUNT   0.02f
#define LEVELCUT_DEFAULT_TIME_CONSTANT 0.9998f
#define LEVELCUT_DEFAULT_THRESH_FUDGE  1.0f

/* Accepted ranges (inclusive); TrimFunc returns LEVELCUT_ERR_PARAMS when a
 * setting lies outside. The threshold must be above 0. */
#define LEVELCUT_MAX_INITIAL_TRIM  80000     /* 10 s at 8 kHz */
#define LEVELCUT_MAX_THRESHOLD     32768.0f

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
double GetSNR(void);   /* dB */
double GetGain(void);  /* dB applied */
double GetClip(void);  /* number of output samples that clipped */

#ifdef __cplusplus
}
#endif

#endif
