// The printing module of ormid-cli: a shared library in the program folder
// that the command line loads only when it prints, so that its other
// commands never load Qt. Plain C, one entry point.
#pragma once

#define ORMID_PRINT_MODULE "libormidprint.so"
#define ORMID_PRINT_ENTRY "OrmidPrint"

extern "C" {

struct OrmidPrintRequest {
    const char* image;    // image file (.txi)
    const char* pdf;      // PDF file to write, or null
    const char* printer;  // printer (CUPS queue) name, or null
    const char* paper;    // "A4", "Letter", "Legal", or null for the default
    int labels;           // 1: the labels; 0: the listing
};

// Prints; every failure is told on stderr. 0 when printed, 1 otherwise.
typedef int (*OrmidPrintFunction)(const OrmidPrintRequest* request);
}
