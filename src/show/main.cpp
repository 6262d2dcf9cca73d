// main.cpp: hiscore-show prints what score files hold: for each file a
// heading with its name and verdict, then its ten rows. It only reads.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "show.h"

static const char usage_text[] =
    "usage: hiscore-show [--raw] [FILE...]\n"
    "       hiscore-show --same FILE1 FILE2\n"
    "       hiscore-show -h | --help | --version\n";

static const char help_text[] =
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
    "Exit status: 0 when every file is valid (with --same: when the two\n"
    "hold the same rows); 1 when any is not, or when the output cannot be\n"
    "written; 2 on a wrong use, or when a file of --same cannot be read.\n";

static void
usage(void)
{
	fputs(usage_text, stderr);
	exit(2);
}

static void
complain(const char *what, const char *why)
{
	fputs("hiscore-show: ", stderr);
	hiscore_print_escaped(stderr, what, strlen(what));
	fprintf(stderr, ": %s\n", why);
}

// Flushes standard output; returns the exit status, 1 if anything printed
// was lost.
static int
finish(int status)
{
	if (fflush(stdout) != 0 || ferror(stdout)) {
		fprintf(stderr, "hiscore-show: standard output: %s\n",
		    hiscore_reason(errno));
		return 1;
	}
	return status;
}

// Shows each file; returns the exit status.
static int
show_all(int n, char **names, bool raw)
{
	HiscoreInput in;
	bool all_valid = true;

	for (int i = 0; i < n; i++) {
		if (i > 0)
			putchar('\n');
		hiscore_fetch(&in, names[i]);
		all_valid &= hiscore_show(names[i], &in, raw) == HISCORE_VALID;
	}
	return all_valid ? 0 : 1;
}

// Tells whether two files hold the same rows, as one file given twice
// does. Returns the exit status.
static int
same(char **names)
{
	HiscoreInput in[2];

	for (int k = 0; k < 2; k++) {
		hiscore_fetch(&in[k], names[k]);
		if (in[k].err != 0) {
			complain(names[k], hiscore_reason(in[k].err));
			return 2;
		}
	}
	bool equal = hiscore_same_rows(&in[0], &in[1]);
	hiscore_print_escaped(stdout, names[0], strlen(names[0]));
	fputs(" and ", stdout);
	hiscore_print_escaped(stdout, names[1], strlen(names[1]));
	fputs(equal ? ": the same rows\n" : ": not the same rows\n", stdout);
	return equal ? 0 : 1;
}

int
main(int argc, char **argv)
{
	static char default_name[] = "HISCORE.DAT";
	static char *only_default[] = {default_name};
	bool raw = false, compare = false;
	int i;

	for (i = 1; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		if (strcmp(argv[i], "--") == 0) {
			i++;
			break;
		} else if (strcmp(argv[i], "--raw") == 0) {
			raw = true;
		} else if (strcmp(argv[i], "--same") == 0) {
			compare = true;
		} else if (strcmp(argv[i], "-h") == 0 ||
		    strcmp(argv[i], "--help") == 0) {
			fputs(usage_text, stdout);
			fputs(help_text, stdout);
			return finish(0);
		} else if (strcmp(argv[i], "--version") == 0) {
			fputs("hiscore-show " HISCORE_VERSION "\n", stdout);
			return finish(0);
		} else {
			complain(argv[i], "unknown option");
			usage();
		}
	}
	if (compare && (raw || argc - i != 2)) {
		fputs("hiscore-show: --same takes two files and no other option\n",
		    stderr);
		usage();
	}
	if (compare)
		return finish(same(argv + i));
	if (i == argc)
		return finish(show_all(1, only_default, raw));
	return finish(show_all(argc - i, argv + i, raw));
}
