// hiscore.h: the high-score table, the score file that stores it, and
// reading one, for every program and the tests.
//
// A table is ten entries, index 0 the best. A score file is 256 bytes that
// hold one table in a scrambled form guarded by two checksums; its layout is
// documented and implemented in format.cpp. The table and the format
// (table.cpp, format.cpp) touch no disk; reading a file (read.cpp) goes
// through the platform layer.
#ifndef HISCORE_H
#define HISCORE_H

#include <cstddef>
#include <cstdint>

enum {
	HISCORE_ENTRIES = 10,
	HISCORE_NAME_SIZE = 20,
	HISCORE_ENTRY_SIZE = 24,
	HISCORE_FILE_SIZE = 256,
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

// The table.

// Overwrites every entry with the built-in table: scores and names, each
// name copied with its NUL, the bytes behind it left as they were.
void hiscore_defaults(HiscoreTable *t);

// Ranked insertion: e goes before the first entry with a strictly lower
// score, the entries from there on move down one place and the last one is
// lost; if no score is lower, t is unchanged. Only the name's characters
// and NUL are copied, at most 19 characters.
void hiscore_insert(HiscoreTable *t, const HiscoreEntry *e);

// Whether two entries hold the same score and name, up to the name's NUL.
bool hiscore_same_entry(const HiscoreEntry *a, const HiscoreEntry *b);

// Whether t holds an entry the same as e.
bool hiscore_holds(const HiscoreTable *t, const HiscoreEntry *e);

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

// Reading a score file.

// Errors are error numbers: the system's (errno values, on Windows too),
// and beside them the project's own reasons.
enum {
	HISCORE_ENOTREG = -1,	// not a regular file
	HISCORE_EFOREIGN = -2,	// a link to another user's file
	HISCORE_EREADONLY = -3,	// a file that may not be written
	HISCORE_ENAME = -4,	// a name that Windows would change
};

// A score file as read, once: its first 256 bytes, and which file it was.
struct HiscoreInput {
	unsigned char file[HISCORE_FILE_SIZE];
	long got;	// the bytes read
	int err;	// 0, or why it could not be read
	uint64_t id[2];	// its device and inode (on Windows, volume and index)
};

// Reads the named file into in, without blocking. Nothing but a regular
// file is opened, and a link is followed only where its owner may lead the
// runner (docs/save.md).
void hiscore_fetch(HiscoreInput *in, const char *name);

// Judges an input as hiscore_decode does. An input that could not be read
// is HISCORE_UNREADABLE and one of fewer than 256 bytes HISCORE_SHORT;
// neither puts anything into t, and *plain is true.
HiscoreVerdict hiscore_judge(const HiscoreInput *in, HiscoreTable *t,
    bool *plain);

// Whether two inputs hold the same rows, as one file read twice does: both
// valid with the same entries, or both failing the same check with the
// same entries as that check left them.
bool hiscore_same_rows(const HiscoreInput *a, const HiscoreInput *b);

// The words for an error number, the same on every system.
const char *hiscore_reason(int err);

#endif
