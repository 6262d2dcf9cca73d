// show.cpp: a score file's verdict and rows, printed.
#include <cstring>

#include "show.h"

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

void
hiscore_print_escaped(FILE *f, const char *s, size_t size)
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
		hiscore_print_escaped(stdout, t->entry[i].name, HISCORE_NAME_SIZE);
		putchar('\n');
	}
}

HiscoreVerdict
hiscore_show(const char *name, const HiscoreInput *in, bool raw)
{
	HiscoreTable t = {};
	bool plain;
	HiscoreVerdict v = hiscore_judge(in, &t, &plain);
	bool failed_check = v == HISCORE_BAD_SCORES || v == HISCORE_BAD_NAMES;

	hiscore_print_escaped(stdout, name, strlen(name));
	printf(": %s", verdict_text(v));
	if (v == HISCORE_UNREADABLE)
		printf(": %s", hiscore_reason(in->err));
	if (raw && failed_check)
		fputs(" (rows shown unchecked)", stdout);
	putchar('\n');
	if (!plain)
		hiscore_unscramble(&t);
	if (v == HISCORE_VALID || (raw && failed_check))
		print_rows(&t);
	return v;
}
