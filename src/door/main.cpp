// main.cpp: merge-scores, the players' door to the merger. The score files
// dropped on it (or named to it) become HISCORE.1 and HISCORE.2 where those
// are free; it shows both, asks before it merges a damaged one or lists a
// row twice, and merges them as hiscore-merge does, in its own folder on
// Windows and in the current one elsewhere. Each file is read once: what it
// shows is what it merges. A dropped name is only ever data, and "Done"
// is said only when the run has saved what the player agreed to.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "run.h"
#include "show.h"
#include "sys.h"

static const char *const slot[2] = {"HISCORE.1", "HISCORE.2"};

static void
print_name(const char *name)
{
	putchar('"');
	hiscore_print_escaped(stdout, name, strlen(name));
	putchar('"');
}

// What a player can do where a file could not be read or written.
static void
advise(int err)
{
	if (err == EBUSY)
		puts("Another program is using it: close the game or that "
		    "program, and try again.");
	else if (err == EACCES || err == EPERM)
		puts("You may not use it there: move the folder to the Desktop, "
		    "and try again.");
}

// The answer to a question: the first line, trimmed of blanks, is y or yes
// in any case. Nothing else, not even an end of input, is yes.
static bool
yes(const char *question)
{
	char word[3];	// enough to tell y and yes
	size_t len = 0, end = 0;
	int c;

	fputs(question, stdout);
	fputs(" [y/N] ", stdout);
	fflush(stdout);
	for (c = getchar(); c == ' ' || c == '\t'; c = getchar())
		;
	for (; c != '\n' && c != EOF; c = getchar()) {
		if (len < sizeof word)
			word[len] = (char)tolower(c);
		if (!isspace(c))
			end = len + 1;
		len++;
	}
	return (end == 1 && word[0] == 'y') ||
	    (end == 3 && strncmp(word, "yes", 3) == 0);
}

// Reads each dropped file once, before the door changes folder.
static bool
read_drops(HiscoreInput *dropped, char **names, int drops)
{
	for (int i = 0; i < drops; i++) {
		hiscore_fetch(&dropped[i], names[i]);
		if (dropped[i].err != 0) {
			fputs("Nothing was copied: ", stdout);
			print_name(names[i]);
			printf(" cannot be read: %s.\n", hiscore_reason(dropped[i].err));
			advise(dropped[i].err);
			return false;
		}
	}
	return true;
}

// Saves the dropped files as HISCORE.1 and HISCORE.2 where those are
// missing, in the order dropped, and takes them as those inputs.
static bool
place_drops(HiscoreInput in[2], const HiscoreInput *dropped, char **names,
    int drops)
{
	int free_slots = (in[0].err == ENOENT) + (in[1].err == ENOENT);

	if (drops > free_slots && free_slots == 0) {
		puts("HISCORE.1 and HISCORE.2 are both here, so nothing was copied.");
		puts("Delete the one to replace, then drop the score file again.");
		return false;
	}
	if (drops > free_slots) {
		printf("%s is here already, so nothing was copied. Delete it and "
		    "drop both\nfiles again, or drop only the other one.\n",
		    slot[in[0].err == ENOENT]);
		return false;
	}
	// Each drop takes the first slot still missing: a slot it fills is
	// missing no more.
	for (int i = 0, k = 0; i < drops; i++) {
		bool in_place;
		while (in[k].err != ENOENT)
			k++;
		int err = hiscore_sys_replace(slot[k], dropped[i].file,
		    dropped[i].got, &in_place);
		fputs(err == 0 ? "Copied " : "Could not copy ", stdout);
		print_name(names[i]);
		printf(" as %s%s%s.\n", slot[k], err == 0 ? "" : ": ",
		    err == 0 ? "" : hiscore_reason(err));
		if (err != 0) {
			advise(err);
			return false;
		}
		in[k] = dropped[i];
	}
	return true;
}

// Both inputs must have been read.
static bool
check_read(const HiscoreInput in[2])
{
	for (int k = 0; k < 2; k++) {
		if (in[k].err == ENOENT) {
			printf("Nothing was merged: %s is missing. Copy the score file "
			    "into\nthis folder as %s, or drop it on merge-scores.\n",
			    slot[k], slot[k]);
			return false;
		}
		if (in[k].err != 0) {
			printf("Nothing was merged: %s cannot be read: %s.\n", slot[k],
			    hiscore_reason(in[k].err));
			advise(in[k].err);
			return false;
		}
	}
	if (hiscore_same_rows(&in[0], &in[1])) {
		puts("Nothing was merged: HISCORE.1 and HISCORE.2 hold the same rows, "
		    "so\neach score would be listed twice. Delete one of them, then "
		    "drop the\nother installation's score file on merge-scores.");
		return false;
	}
	return true;
}

// Shows both inputs and asks whether to merge a damaged one, whose place
// the built-in table would take. Returns whether to go on, and in damaged
// the names of those the player agreed to lose ("" for none).
static bool
agree_to_damage(const HiscoreInput in[2], const char **damaged)
{
	static const char *const names[4] = {"", "HISCORE.1", "HISCORE.2",
	    "HISCORE.1 and HISCORE.2"};
	int which = 0;

	for (int k = 0; k < 2; k++) {
		putchar('\n');
		if (hiscore_show(slot[k], &in[k], true) != HISCORE_VALID)
			which |= 1 << k;
	}
	*damaged = names[which];
	if (which == 0)
		return true;
	printf("\nDAMAGED: %s, as shown above. The merge would put the game's\n"
	    "built-in table in the place of %s, and %s scores would not be in the "
	    "result.\n", *damaged, which == 3 ? "each" : "it",
	    which == 3 ? "their" : "its");
	if (yes("Merge anyway?"))
		return true;
	puts("Nothing was merged. Delete the damaged file here, then drop the "
	    "score\nfile from its installation on merge-scores again.");
	return false;
}

// After a merge that was copied into both installations, both inputs hold
// the same rows: the player may have each listed once.
static bool
once_asked(const HiscoreInput in[2])
{
	HiscoreTable t[2];
	bool plain;
	int shared = 0;

	for (int k = 0; k < 2; k++)
		if (hiscore_judge(&in[k], &t[k], &plain) != HISCORE_VALID)
			return false;
	for (const HiscoreEntry &e : t[0].entry)
		shared += hiscore_holds(&t[1], &e);
	if (shared == 0)
		return false;
	printf("\nHISCORE.1 and HISCORE.2 both hold %d of the same rows, as after "
	    "an\nearlier merge that was copied into both installations.\n", shared);
	return yes("List each of them once?");
}

static int
merge(const HiscoreInput in[2], bool once, const char *damaged)
{
	HiscoreInput result;
	bool in_place;

	putchar('\n');
	int err = hiscore_merge(&in[0], &in[1], once, &in_place);
	putchar('\n');
	if (err != 0 && in_place) {
		printf("THE MERGE FAILED: HISCORE.DAT is saved, but may not be on the "
		    "disk yet:\n%s.\n", hiscore_reason(err));
		return 1;
	}
	if (err == HISCORE_EREADONLY) {
		puts("THE MERGE FAILED: HISCORE.DAT is read-only. Clear Read-only in "
		    "its\nProperties (or make it writable), and try again.");
		return 1;
	}
	if (err != 0) {
		printf("THE MERGE FAILED: HISCORE.DAT could not be saved: %s.\n",
		    hiscore_reason(err));
		advise(err);
		return 1;
	}
	printf("Done: HISCORE.DAT now holds the merged scores%s%s.\n",
	    *damaged != '\0' ? ", with the game's\nbuilt-in table in place of " :
	    "", damaged);
	puts("Copy it into both installations, over the old HISCORE.DAT.\n");
	hiscore_fetch(&result, "HISCORE.DAT");
	hiscore_show("HISCORE.DAT", &result, false);
	return 0;
}

static int
door(int drops, char **names)
{
	HiscoreInput in[2], dropped[2];
	const char *damaged;

	if (drops > 2) {
		printf("Drop one or two score files at a time, not %d.\n", drops);
		return 1;
	}
	if (!read_drops(dropped, names, drops))
		return 1;
	int err = hiscore_sys_door_folder();
	if (err != 0) {
		printf("merge-scores cannot open its own folder: %s.\n",
		    hiscore_reason(err));
		return 1;
	}
	for (int k = 0; k < 2; k++)
		hiscore_fetch(&in[k], slot[k]);
	if (!place_drops(in, dropped, names, drops) || !check_read(in) ||
	    !agree_to_damage(in, &damaged))
		return 1;
	return merge(in, *damaged == '\0' && once_asked(in), damaged);
}

int
main(int argc, char **argv)
{
	bool own_window;

	hiscore_sys_start();
	own_window = hiscore_sys_own_window();
	int status = door(argc - 1, argv + 1);
	if (own_window) {
		fputs("\nPress Enter to close this window.", stdout);
		fflush(stdout);
		getchar();	// a console's line comes whole, after Enter
	}
	return status;
}
