/* hold.c: holds a file as a virus scanner may. "hold FILE MARK RELEASE"
 * opens FILE without sharing it, checks that no one else may now open it,
 * creates MARK, and closes FILE once RELEASE exists. Run with no
 * arguments, as a stand-in for hiscore-merge.exe, it exits 3, or with
 * HISCORE_STANDIN=alarm prints the merger's messages with an alarm (as a
 * merge that could not read an input does) and exits 0. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

int
main(int argc, char **argv)
{
	const char *standin = getenv("HISCORE_STANDIN");
	HANDLE h, other;

	if (argc == 1 && standin != NULL && strcmp(standin, "alarm") == 0) {
		fputs("HIGHSCORE - MERGER for Quorvex\n\nMerging files 'HISCORE.1' and "
		    "'HISCORE.2' to 'HISCORE.DAT' ...\n\n\a\nSaving new 'HISCORE.DAT' ...\n",
		    stdout);
		return 0;
	}
	if (argc != 4)
		return 3;
	h = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
	other = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
	    OPEN_EXISTING, 0, NULL);
	if (h == INVALID_HANDLE_VALUE || other != INVALID_HANDLE_VALUE ||
	    GetLastError() != ERROR_SHARING_VIOLATION)
		return 1;
	CloseHandle(CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL));
	while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES)
		Sleep(10);
	CloseHandle(h);
	return 0;
}
