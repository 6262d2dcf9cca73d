// main.cpp: hiscore-show prints what score files hold: for each file a
// heading with its name and verdict, then its ten rows. It only reads.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hiscore.h"

static const char usage[] = "usage: hiscore-show [--raw] [FILE...]\n";

static const char *
verdict_text(HiscoreVerdict v)
{
	switch (v) {
	case HISCORE_VALID:
		return "valid";
	case HISCORE_UNREADABLE:
		return "missing or unreadable";
	case HISCORE_SHORT:
		return "shorter than 256 bytes";
	case HISCORE_BAD_SCORES:
		return "the scores check failed";
	case HISCORE_BAD_NAMES:
		return "the names check failed";
	}
	return "?";
}

// Prints the name's characters up to its NUL, every byte outside printable
// ASCII and the backslash itself escaped, so that a terminal never gets a
// control byte from a file.
static void
print_name(const char *name)
{
	for (int k = 0; k < HISCORE_NAME_SIZE && name[k] != '\0'; k++) {
		unsigned char c = (unsigned char)name[k];
		if (c == '\\')
			fputs("\\\\", stdout);
		else if (c < 0x20 || c > 0x7e)
			printf("\\x%02x", c);
		else
			putchar(c);
	}
}

static void
print_rows(const HiscoreTable *t)
{
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		printf("%2d  %11ld  ", i + 1, (long)t->entry[i].score);
		print_name(t->entry[i].name);
		putchar('\n');
	}
}

// Shows one file; returns whether it is valid.
static bool
show(const char *path, bool raw)
{
	HiscoreTable t = {};
	char why[HISCORE_REASON_SIZE];
	HiscoreVerdict v = hiscore_read(path, &t, why);
	bool failed_check = v == HISCORE_BAD_SCORES || v == HISCORE_BAD_NAMES;

	printf("%s: %s", path, verdict_text(v));
	if (v == HISCORE_UNREADABLE)
		printf(": %s", why);
	if (raw && failed_check)
		fputs(" (rows shown unchecked)", stdout);
	putchar('\n');
	if (v == HISCORE_BAD_SCORES && raw)
		hiscore_unscramble(&t);
	if (v == HISCORE_VALID || (raw && failed_check))
		print_rows(&t);
	return v == HISCORE_VALID;
}

int
main(int argc, char **argv)
{
	bool raw = false, all_valid = true;
	int i = 1;

	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		if (strcmp(argv[i], "--") == 0) {
			i++;
			break;
		} else if (strcmp(argv[i], "--raw") == 0) {
			raw = true;
		} else if (strcmp(argv[i], "--help") == 0) {
			fputs(usage, stdout);
			return 0;
		} else {
			fprintf(stderr, "hiscore-show: %s: unknown option\n%s",
			    argv[i], usage);
			return 2;
		}
	}
	if (i == argc)
		all_valid = show("HISCORE.DAT", raw);
	for (int first = i; i < argc; i++) {
		if (i > first)
			putchar('\n');
		all_valid &= show(argv[i], raw);
	}
	if (fflush(stdout) != 0 || ferror(stdout)) {
		fprintf(stderr, "hiscore-show: standard output: %s\n",
		    strerror(errno));
		return 1;
	}
	return all_valid ? 0 : 1;
}
