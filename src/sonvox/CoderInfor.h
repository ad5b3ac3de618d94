// The report of the audio codecs this machine offers.
#pragma once

#include <string>

// Builds the report from the desktop's codec registry.
std::string BuildCoderInfor();

// Shows the report: in the "Codec Information" dialog when the calling
// process runs a Qt application with widgets (modally, on its thread);
// otherwise the report goes to the diagnostics log and standard output.
// 1 when done.
int ShowCoderInfor();

// The entry point of the dialog library (libsonvox_codecdlg.so, beside
// libsonvox): shows the report modally and returns 1 when it has closed, or 0
// when the process has no QApplication on the calling thread.
extern "C" typedef int (*ShowCodecDialogFn)(const char* report);
#define SONVOX_CODEC_DIALOG_LIBRARY "libsonvox_codecdlg.so"
#define SONVOX_CODEC_DIALOG_ENTRY "SonvoxShowCodecDialog"
