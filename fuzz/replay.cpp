// replay.cpp: runs a fuzz target over saved inputs as an ordinary program,
// for builds without libFuzzer. Each argument is an input file or a
// directory of them; a directory that does not exist holds none.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static void
replay(const fs::path &path)
{
	std::ifstream f(path, std::ios::binary);
	std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), {});
	LLVMFuzzerTestOneInput(data.data(), data.size());
}

int
main(int argc, char **argv)
{
	int n = 0;

	for (int i = 1; i < argc; i++) {
		fs::path arg = argv[i];
		if (fs::is_directory(arg)) {
			for (const auto &e : fs::directory_iterator(arg))
				replay(e.path()), n++;
		} else if (fs::exists(arg)) {
			replay(arg), n++;
		}
	}
	printf("replayed %d inputs\n", n);
	return n > 0 ? 0 : 1;
}
