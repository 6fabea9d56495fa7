// The size of database 1 of a router device as the component reads it, and
// why it reads as 0: the component refuses such destinations without a word,
// so the emulator says what it found.
//
// Read the way the component reads it: {QX_ROOT}\{QX_SYSTEM}\config\system\dev_NNN.ini,
// section [Database], key DatabaseSize_1, through the same
// profile reader (Windows' own, or the Linux module's stand-in for it), the
// value taken from its leading number.
#ifndef VESK_HOST_SITE_DATABASE_SIZE_H
#define VESK_HOST_SITE_DATABASE_SIZE_H

#include <string>

struct DatabaseSize {
    int size = 0;       // what the component reads
    std::string file;   // "dev_005.ini"
    std::string why;    // why the size is 0, when it is for a reason other
                        // than a value of 0 read from the file; else empty
};

// Reads the process environment and the file afresh at each call.
DatabaseSize readDatabaseSize(int device);

// The number a text starts with, as the component reads numbers: blanks
// skipped, an optional sign, digits up to the first other character, held at
// the 32-bit limits. False when no digit follows.
bool leadingNumber(const std::string& text, int& value);

#endif  // VESK_HOST_SITE_DATABASE_SIZE_H
