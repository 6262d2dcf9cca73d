// hiscore.h: the high-score table and the score file that stores it.
//
// A table is ten entries, index 0 the best. A score file is 256 bytes that
// hold one table in a scrambled form guarded by two checksums; its layout is
// documented and implemented in file.cpp.
//
// The pure part (defaults, insertion, checksums, scrambling, encoding and
// decoding the 256 bytes) touches no disk. Reading and replacing files is
// done by sys_posix.cpp or sys_win32.cpp. Loading and saving join the two.
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
	HISCORE_TEMP_NAME_SIZE = 64,
	HISCORE_MAX_TEMPS = 1000,
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

// The score file, pure.

// The full checksum (scores_only == 0, over a plain table): the sum of the
// scores and of every name's characters before its NUL. The scores checksum
// (scores_only != 0, over a stored table): the sum of the score words.
// Both are 32-bit sums with wrap-around.
uint32_t hiscore_checksum(const HiscoreTable *t, int scores_only);

// Convert all ten entries in place between the plain and the stored form.
void hiscore_scramble(HiscoreTable *t);
void hiscore_unscramble(HiscoreTable *t);

// Writes the 256 bytes of the score file that holds t.
void hiscore_encode(const HiscoreTable *t, unsigned char file[HISCORE_FILE_SIZE]);

// Judges the 256 bytes of a score file. The stored entries are copied into
// t and checked; if the scores check passes they are unscrambled and the
// names check follows. On HISCORE_VALID t holds the file's plain table;
// otherwise t is left as the failed check found it.
HiscoreVerdict hiscore_decode(const unsigned char file[HISCORE_FILE_SIZE],
    HiscoreTable *t);

// Files.

// Reads the first 256 bytes of the named file into t and judges them.
// On HISCORE_UNREADABLE why holds the system's reason; on HISCORE_SHORT
// nothing of the file has entered t.
HiscoreVerdict hiscore_read(const char *name, HiscoreTable *t,
    char why[HISCORE_REASON_SIZE]);

// How a save ended.
enum HiscoreSaved {
	HISCORE_SAVED,		// in place, and durable
	HISCORE_NOT_WRITTEN,	// nothing on disk changed
	HISCORE_NOT_SYNCED,	// in place, but its folder could not be synced
};

// Loads "HISCORE.<n>" into t. If it is missing, short or fails a check,
// sounds the alarm, puts the built-in table into t and saves it at once.
void hiscore_load(HiscoreTable *t, int n);

// Writes t as "HISCORE.DAT" (see hiscore_sys_replace). On failure why
// holds the reason.
HiscoreSaved hiscore_save(const HiscoreTable *t, char why[HISCORE_REASON_SIZE]);

// Writes the BEL character and a line break to standard output.
void hiscore_alarm(void);

// Forms the k-th name that a save of name may give its temporary file:
// "<name>.tmp" for k == 0, else "<name>.tmp.<k>". Returns false if it
// does not fit.
bool hiscore_temp_name(char tmp[HISCORE_TEMP_NAME_SIZE], const char *name,
    int k);

// The reason given for an input that is not a regular file.
extern const char hiscore_not_regular[];

// Platform file access, one implementation per system.

// Makes the process safe to save from: the standard streams are open, so
// that no file is opened in their place, and neither a closed pipe nor a
// file size limit can kill it mid-save.
void hiscore_sys_start(void);

// Reads at most size bytes of the named file into buf without blocking.
// Returns the number read, or -1 with the reason in why; anything but a
// regular file (or a link to one) is "not a regular file".
long hiscore_sys_read(const char *name, unsigned char *buf, long size,
    char why[HISCORE_REASON_SIZE]);

// Replaces the file name in the current folder with size bytes as writing
// it in place would, but through a temporary file there (see
// hiscore_temp_name) that is synced and renamed over it. Only names in the
// current folder are touched: a link called name is replaced, not
// followed. A regular file keeps its mode, ACL, user attributes, group
// (where the user may) and owner (for root); anything else, and a file the
// user may not write, is refused. On HISCORE_NOT_WRITTEN nothing changed,
// but a folder that forbids removing files may keep the temporary file.
HiscoreSaved hiscore_sys_replace(const char *name, const unsigned char *buf,
    long size, char why[HISCORE_REASON_SIZE]);

#endif
