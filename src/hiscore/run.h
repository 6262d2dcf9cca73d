// run.h: the merge run, as hiscore-merge and the door run it.
#ifndef HISCORE_RUN_H
#define HISCORE_RUN_H

#include "hiscore.h"

// Merges two inputs, both read before anything is saved, into
// "HISCORE.DAT": prints the three messages, loads the first and then the
// second, each with its alarm and recovery save where it is missing, short
// or damaged, inserts the first's entries into the second's table (with
// once, not those that the second holds already) and saves the result.
// Returns 0 when HISCORE.DAT was saved and is durable, else the error
// number; *in_place says whether the new file took its place all the
// same.
int hiscore_merge(const HiscoreInput *first, const HiscoreInput *second,
    bool once, bool *in_place);

#endif
