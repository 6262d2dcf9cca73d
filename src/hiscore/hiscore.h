// hiscore.h: the high-score table and the score file that stores it, as
// the programs use them.
//
// A table is ten entries, index 0 the best. A score file is 256 bytes that
// hold one table in a scrambled form guarded by two checksums; its layout is
// documented and implemented in format.cpp.
//
// The table and the format (table.cpp, format.cpp) touch no disk. Reading
// and saving files (file.cpp) go through the platform layer of sys.h.
#ifndef HISCORE_H
#define HISCORE_H

#include <cstddef>
#include <cstdint>

enum {
	HISCORE_ENTRIES = 10,
	HISCORE_NAME_SIZE = 20,
	HISCORE_ENTRY_SIZE = 24,
	HISCORE_FILE_SIZE = 256,
	HISCORE_REASON_SIZE = 128,
};

// One entry: a score (larger is better) and a NUL-terminated name. The
// bytes behind the NUL mean nothing but are kept through every operation.
struct HiscoreEntry {
	int32_t score;
	char name[HISCORE_NAME_SIZE];
};

struct HiscoreTable {
	HiscoreEntry entry[HISCORE_ENTRIES];
};

static_assert(sizeof(HiscoreEntry) == HISCORE_ENTRY_SIZE, "entry is 24 bytes");
static_assert(sizeof(HiscoreTable) == HISCORE_ENTRIES * HISCORE_ENTRY_SIZE,
    "table is ten entries");

// What reading a score file found.
enum HiscoreVerdict {
	HISCORE_VALID,
	HISCORE_UNREADABLE,	// missing, or could not be opened or read
	HISCORE_SHORT,		// fewer than 256 bytes
	HISCORE_BAD_SCORES,	// the scores checksum does not match
	HISCORE_BAD_NAMES,	// the full checksum does not match
};

// The score table.

// Overwrites every entry with the built-in table: scores and names, each
// name copied with its NUL, the bytes behind it left as they were.
void hiscore_defaults(HiscoreTable *t);

// Ranked insertion: e goes before the first entry with a strictly lower
// score, the entries from there on move down one place and the last one is
// lost; if no score is lower, t is unchanged. Only the name's characters
// and NUL are copied, at most 19 characters.
void hiscore_insert(HiscoreTable *t, const HiscoreEntry *e);

// The score file's bytes.

// Writes the 256 bytes of the score file that holds t.
void hiscore_encode(const HiscoreTable *t, unsigned char file[HISCORE_FILE_SIZE]);

// Judges the 256 bytes of a score file. The stored entries are copied into
// t and checked; if the scores check passes they are unscrambled and the
// names check follows. On HISCORE_VALID t holds the file's plain table;
// otherwise t is left as the failed check found it, and *plain says
// whether its rows are plain or still in their stored form.
HiscoreVerdict hiscore_decode(const unsigned char file[HISCORE_FILE_SIZE],
    HiscoreTable *t, bool *plain);

// Turns rows that a failed check left in their stored form into plain ones.
void hiscore_unscramble(HiscoreTable *t);

// Files.

// Reads the first 256 bytes of the named file into t and judges them, as
// hiscore_decode does. On HISCORE_UNREADABLE why holds the system's
// reason; on it and on HISCORE_SHORT nothing of the file has entered t,
// and *plain is true.
HiscoreVerdict hiscore_read(const char *name, HiscoreTable *t, bool *plain,
    char why[HISCORE_REASON_SIZE]);

// How a save ended.
enum HiscoreSaved {
	HISCORE_SAVED,		// in place, and durable
	HISCORE_NOT_WRITTEN,	// nothing on disk changed
	HISCORE_NOT_SYNCED,	// in place, but its folder could not be synced
};

// An input's first 256 bytes, read before anything is saved, so that no
// save can change what a later load finds.
struct HiscoreInput {
	unsigned char file[HISCORE_FILE_SIZE];
	long got;	// the bytes read, or -1 if it could not be read
	uint64_t id[2];	// which file it was (see hiscore_sys_read)
};

// Reads "HISCORE.<n>" into in.
void hiscore_fetch(HiscoreInput *in, int n);

// Loads the table of an input into t. If the input was missing, short or
// fails a check, sounds the alarm, puts the built-in table into t and
// saves it at once, unless HISCORE.DAT is the file that other, a valid
// input, was read from: that save would destroy its table before the
// merge holds it.
void hiscore_load(HiscoreTable *t, const HiscoreInput *in,
    const HiscoreInput *other);

// Writes t as "HISCORE.DAT" (see hiscore_sys_replace in sys.h). On failure
// why holds the reason.
HiscoreSaved hiscore_save(const HiscoreTable *t, char why[HISCORE_REASON_SIZE]);

// Writes the BEL character and a line break to standard output.
void hiscore_alarm(void);

#endif
