// fuzz_decode.cpp: any bytes as a score file. Whatever passes both checks
// must save back to the same 256 bytes, apart from the two copies of the
// checksums that a reader never looks at.
#include <cstdlib>
#include <cstring>

#include "hiscore.h"

extern "C" int
LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	unsigned char file[HISCORE_FILE_SIZE] = {}, again[HISCORE_FILE_SIZE];
	HiscoreTable t = {};
	bool plain;

	memcpy(file, data, size < sizeof file ? size : sizeof file);
	if (hiscore_decode(file, &t, &plain) != HISCORE_VALID)
		return 0;
	hiscore_encode(&t, again);
	memcpy(file + 4, file, 4);
	memcpy(file + 128, file + 252, 4);
	if (memcmp(file, again, sizeof file) != 0)
		abort();
	return 0;
}
