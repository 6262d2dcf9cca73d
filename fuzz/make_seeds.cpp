// make_seeds.cpp: writes the fuzzers' seed inputs into seeds/decode and
// seeds/merge below the current directory.
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hiscore.h"
#include "table_util.h"

static void
put(const std::string &path, const Bytes &b)
{
	std::ofstream(path, std::ios::binary).write((const char *)b.data(),
	    (std::streamsize)b.size());
}

int
main()
{
	HiscoreTable defaults = {}, no_nul = {}, extremes = {}, high = {};
	const int32_t scores[HISCORE_ENTRIES] = {INT32_MAX, INT32_MAX, 1, 0, 0,
	    -1, -2, INT32_MIN + 1, INT32_MIN, INT32_MIN};

	hiscore_defaults(&defaults);
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		no_nul.entry[i].score = 5000 * (10 - i);
		memset(no_nul.entry[i].name, 'A' + i, HISCORE_NAME_SIZE);
		extremes.entry[i].score = scores[i];
		snprintf(extremes.entry[i].name, HISCORE_NAME_SIZE, "X%d", i);
		high.entry[i].score = 1000 * i;	// rising: not in order
		for (int k = 0; k < HISCORE_NAME_SIZE; k++)
			high.entry[i].name[k] = (char)(128 + 6 * i + k);
	}
	const Bytes d = encoded(defaults), n = encoded(no_nul),
	    x = encoded(extremes), h = encoded(high);

	std::filesystem::create_directories("seeds/decode");
	std::filesystem::create_directories("seeds/merge");
	put("seeds/decode/defaults", d);
	put("seeds/decode/no-nul", n);
	put("seeds/decode/extremes", x);
	put("seeds/decode/high-bytes", h);
	put("seeds/decode/zeros", Bytes(HISCORE_FILE_SIZE, 0));
	put("seeds/decode/short", Bytes(d.begin(), d.begin() + 100));
	auto pair = [](const Bytes &a, const Bytes &b) {
		Bytes ab = a;
		ab.insert(ab.end(), b.begin(), b.end());
		return ab;
	};
	put("seeds/merge/defaults-defaults", pair(d, d));
	put("seeds/merge/no-nul-defaults", pair(n, d));
	put("seeds/merge/extremes-no-nul", pair(x, n));
	put("seeds/merge/high-bytes-extremes", pair(h, x));
	put("seeds/merge/defaults-high-bytes", pair(d, h));
	return 0;
}
