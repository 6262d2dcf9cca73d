// main.cpp: hiscore-show prints what score files hold: for each file a
// heading with its name and verdict, then its ten rows. It only reads.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hiscore.h"

static const char usage[] =
    "usage: hiscore-show [--raw] [FILE...]\n"
    "       hiscore-show --same FILE1 FILE2\n"
    "       hiscore-show -h | --help | --version\n";

static const char help[] =
    "\n"
    "Shows what each score file holds (HISCORE.DAT when none is named): a\n"
    "heading with its name and verdict, then its ten rows of rank, score\n"
    "and name. It only reads.\n"
    "\n"
    "  --raw      also show the rows of a file that fails a check\n"
    "  --same     say only whether two files hold the same rows\n"
    "  -h, --help print this help\n"
    "  --version  print the version\n"
    "\n"
    "Verdicts:\n"
    "  valid\n"
    "  missing or unreadable: REASON\n"
    "  shorter than 256 bytes\n"
    "  the scores check failed\n"
    "  the names check failed\n"
    "\n"
    "Exit status: 0 when every file is valid (with --same: when the two\n"
    "hold the same rows); 1 when any is not, or when the output cannot be\n"
    "written; 2 on an unknown option.\n";

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

// Prints at most size characters of s up to its NUL to f, every byte
// outside printable ASCII and the backslash itself escaped, so that a
// terminal never gets a control byte from a file, its name or an option.
static void
print_escaped(FILE *f, const char *s, size_t size)
{
	for (size_t k = 0; k < size && s[k] != '\0'; k++) {
		unsigned char c = (unsigned char)s[k];
		if (c == '\\')
			fputs("\\\\", f);
		else if (c < 0x20 || c > 0x7e)
			fprintf(f, "\\x%02x", c);
		else
			fputc(c, f);
	}
}

static void
print_rows(const HiscoreTable *t)
{
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		printf("%2d  %11ld  ", i + 1, (long)t->entry[i].score);
		print_escaped(stdout, t->entry[i].name, HISCORE_NAME_SIZE);
		putchar('\n');
	}
}

// Shows one file; returns whether it is valid.
static bool
show(const char *path, bool raw)
{
	HiscoreTable t = {};
	char why[HISCORE_REASON_SIZE];
	bool plain;
	HiscoreVerdict v = hiscore_read(path, &t, &plain, why);
	bool failed_check = v == HISCORE_BAD_SCORES || v == HISCORE_BAD_NAMES;

	print_escaped(stdout, path, strlen(path));
	printf(": %s", verdict_text(v));
	if (v == HISCORE_UNREADABLE)
		printf(": %s", why);
	if (raw && failed_check)
		fputs(" (rows shown unchecked)", stdout);
	putchar('\n');
	if (raw && !plain)
		hiscore_unscramble(&t);
	if (v == HISCORE_VALID || (raw && failed_check))
		print_rows(&t);
	return v == HISCORE_VALID;
}

// Flushes standard output; returns the exit status, 1 if anything printed
// was lost.
static int
finish(int status)
{
	if (fflush(stdout) != 0 || ferror(stdout)) {
		fprintf(stderr, "hiscore-show: standard output: %s\n",
		    strerror(errno));
		return 1;
	}
	return status;
}

// Tells whether two files hold the same rows, as a file dropped twice
// does: both valid with equal rows, or both failing the same check with
// equal rows as that check left them. Returns the exit status.
static int
same(const char *a, const char *b)
{
	HiscoreTable t[2] = {};
	char why[HISCORE_REASON_SIZE];
	bool plain;
	HiscoreVerdict v = hiscore_read(a, &t[0], &plain, why);
	bool equal = v != HISCORE_UNREADABLE && v != HISCORE_SHORT &&
	    hiscore_read(b, &t[1], &plain, why) == v;

	for (int i = 0; equal && i < HISCORE_ENTRIES; i++)
		equal = t[0].entry[i].score == t[1].entry[i].score &&
		    strncmp(t[0].entry[i].name, t[1].entry[i].name,
		    HISCORE_NAME_SIZE) == 0;
	print_escaped(stdout, a, strlen(a));
	fputs(" and ", stdout);
	print_escaped(stdout, b, strlen(b));
	fputs(equal ? ": the same rows\n" : ": not the same rows\n", stdout);
	return finish(equal ? 0 : 1);
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
		} else if (strcmp(argv[i], "--same") == 0) {
			if (argc - i == 3)
				return same(argv[i + 1], argv[i + 2]);
			fprintf(stderr, "hiscore-show: --same takes two files\n%s",
			    usage);
			return 2;
		} else if (strcmp(argv[i], "--help") == 0 ||
		    strcmp(argv[i], "-h") == 0) {
			fputs(usage, stdout);
			fputs(help, stdout);
			return finish(0);
		} else if (strcmp(argv[i], "--version") == 0) {
			fputs("hiscore-show " HISCORE_VERSION "\n", stdout);
			return finish(0);
		} else {
			fputs("hiscore-show: ", stderr);
			print_escaped(stderr, argv[i], strlen(argv[i]));
			fprintf(stderr, ": unknown option\n%s", usage);
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
	return finish(all_valid ? 0 : 1);
}
