/* hold.c: holds a file as a virus scanner may. "hold FILE MARK RELEASE"
 * opens FILE without sharing it, creates MARK, and closes FILE once
 * RELEASE exists. */
#include <windows.h>

int
main(int argc, char **argv)
{
	HANDLE h;

	if (argc != 4 || (h = CreateFileA(argv[1], GENERIC_READ, 0, NULL,
	    OPEN_EXISTING, 0, NULL)) == INVALID_HANDLE_VALUE)
		return 1;
	CloseHandle(CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL));
	while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES)
		Sleep(10);
	CloseHandle(h);
	return 0;
}
