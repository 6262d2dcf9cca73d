// show.h: score files as hiscore-show and the door show them to a person.
#ifndef HISCORE_SHOW_H
#define HISCORE_SHOW_H

#include <cstdio>

#include "hiscore.h"

// Prints at most size bytes of s up to its NUL to f, every byte outside
// printable ASCII and the backslash itself escaped, so that a terminal
// never gets a control byte from a file, its name or an option.
void hiscore_print_escaped(FILE *f, const char *s, size_t size);

// Prints a heading with name and in's verdict, with the reason where it
// could not be read, then its ten rows: those of a valid file, and with raw
// those of one that fails a check, unchecked. Returns the verdict.
HiscoreVerdict hiscore_show(const char *name, const HiscoreInput *in, bool raw);

#endif
