// merge_test.cpp: runs hiscore-merge in a directory of its own and checks
// what it prints, its exit status and the files it leaves.
//
// HISCORE_PROGRAM names another program to run in its place, and
// HISCORE_RUNNER a command to run it with (words split on spaces).
#include <chrono>
#include <functional>
#include <sstream>

#include "hiscore.h"
#include "scratch.h"
static const std::string banner =
    "HIGHSCORE - MERGER for Quorvex\n\n"
    "Merging files 'HISCORE.1' and 'HISCORE.2' to 'HISCORE.DAT' ...\n\n";
static const std::string saving = "Saving new 'HISCORE.DAT' ...\n";
static const std::string cannot_write =
    "hiscore-merge: cannot write 'HISCORE.DAT': ";

static std::vector<std::string>
command()
{
	std::vector<std::string> argv;
	std::istringstream runner(getenv("HISCORE_RUNNER") ?
	    getenv("HISCORE_RUNNER") : "");
	for (std::string w; runner >> w;)
		argv.push_back(w);
	const char *prog = getenv("HISCORE_PROGRAM");
	argv.push_back(prog ? prog : HISCORE_MERGE_PATH);
	return argv;
}

class Merge : public Scratch {
protected:
	// The merged table in "HISCORE.DAT"; fails the test if it is not valid.
	Listing result()
	{
		HiscoreTable t;
		Bytes b = get("HISCORE.DAT");
		EXPECT_EQ(b.size(), (size_t)HISCORE_FILE_SIZE);
		b.resize(HISCORE_FILE_SIZE);
		EXPECT_EQ(hiscore_decode(b.data(), &t), HISCORE_VALID);
		return listing(t);
	}
	// Runs the merger, under the command in prefix if one is given.
	Outcome run(rlim_t fsize = 0, std::vector<std::string> prefix = {})
	{
		std::vector<std::string> args = command();
		args.insert(args.begin(), prefix.begin(), prefix.end());
		return exec(args, fsize, !prefix.empty());
	}
};

// Two valid inputs whose merge mixes them and has ties.
static const Listing first = {
	{96000, "A1"}, {88000, "A2"}, {85000, "A3"}, {71000, "A4"},
	{62500, "A5"}, {50000, "A6"}, {41000, "A7"}, {30000, "A8"},
	{20000, "A9"}, {10000, "A10"},
};
static const Listing second = {
	{99000, "B1"}, {88000, "B2"}, {80000, "B3"}, {70000, "B4"},
	{62500, "B5"}, {60000, "B6"}, {40000, "B7"}, {35000, "B8"},
	{1000, "B9"}, {-5, "B10"},
};
static const Listing merged = {
	{99000, "B1"}, {96000, "A1"}, {88000, "B2"}, {88000, "A2"},
	{85000, "A3"}, {80000, "B3"}, {71000, "A4"}, {70000, "B4"},
	{62500, "B5"}, {62500, "A5"},
};

TEST_F(Merge, BothValidKeepsBestTenTiesSecondFirst)
{
	const Bytes in1 = encoded(make_table(first));
	const Bytes in2 = encoded(make_table(second));
	put("HISCORE.1", in1);
	put("HISCORE.2", in2);
	put("HISCORE.DAT", Bytes(300, 0x55));
	put("HISCORE.DAT.tmp", Bytes(10, 0x66));	// left by a killed run
	Outcome r = run();
	EXPECT_EQ(r.out, banner + saving);
	EXPECT_EQ(r.err, "");
	EXPECT_EQ(r.status, 0);
	EXPECT_EQ(result(), merged);
	EXPECT_EQ(get("HISCORE.1"), in1);
	EXPECT_EQ(get("HISCORE.2"), in2);
	EXPECT_EQ(get("HISCORE.DAT.tmp"), Bytes(10, 0x66));
}

TEST_F(Merge, BadFirstInputIsReplacedByTheDefaults)
{
	const Bytes valid = encoded(make_table(first));
	auto flip = [&](int at) { Bytes b = valid; b[at] ^= 1; return b; };
	auto cut = [&](size_t n) { return Bytes(valid.begin(), valid.begin() + n); };
	Bytes longer = valid;
	longer.resize(1000, 0xAB);
	Bytes copies_changed = valid;
	copies_changed[4] ^= 0xFF;
	copies_changed[131] ^= 0xFF;
	HiscoreTable high = make_table(first);
	for (HiscoreEntry &e : high.entry)
		for (int k = 0; k < HISCORE_NAME_SIZE; k++)
			e.name[k] = (char)(128 + e.score / 1000 + k);

	// The defaults merged with the second input: ties keep its entry first.
	const Listing &d = default_listing();
	const Listing with_defaults = {d[0], second[0], d[1], second[1], d[2],
	    second[2], d[3], second[3], d[4], second[4]};
	// The merge of the first input with its names of high bytes, cut to 19.
	Listing high_merged = merged;
	for (Row &row : high_merged)
		if (row.second[0] == 'A')
			row.second = listing(high)[std::stoi(row.second.substr(1)) - 1]
			    .second.substr(0, 19);
	struct Case {
		const char *what;
		std::function<void()> make;
		bool alarm;
		const Listing &want;
	} cases[] = {
		{"missing", [] {}, true, with_defaults},
		{"scores check", [&] { put("HISCORE.1", flip(8 + 24 * 3)); }, true,
		    with_defaults},
		{"names check", [&] { put("HISCORE.1", flip(8 + 24 * 2 + 5)); },
		    true, with_defaults},
		{"empty", [&] { put("HISCORE.1", {}); }, true, with_defaults},
		{"252 bytes", [&] { put("HISCORE.1", cut(252)); }, true,
		    with_defaults},
		{"255 bytes", [&] { put("HISCORE.1", cut(255)); }, true,
		    with_defaults},
		{"directory", [&] { fs::create_directory(dir / "HISCORE.1"); },
		    true, with_defaults},
		{"link to /dev/zero", [&] {
			fs::create_symlink("/dev/zero", dir / "HISCORE.1");
		}, true, with_defaults},
		{"longer", [&] { put("HISCORE.1", longer); }, false, merged},
		{"sparse 1 GiB", [&] {
			put("HISCORE.1", valid);
			fs::resize_file(dir / "HISCORE.1", 1 << 30);
		}, false, merged},
		{"copies changed", [&] { put("HISCORE.1", copies_changed); },
		    false, merged},
		{"names of high bytes", [&] { put("HISCORE.1", encoded(high)); },
		    false, high_merged},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		fs::remove_all(dir / "HISCORE.1");
		c.make();
		const Bytes in1 = get("HISCORE.1");
		put("HISCORE.2", encoded(make_table(second)));
		auto start = std::chrono::steady_clock::now();
		Outcome r = run();
		EXPECT_LT(std::chrono::steady_clock::now() - start,
		    std::chrono::seconds(3));
		EXPECT_EQ(r.out, banner + (c.alarm ? "\a\n" : "") + saving);
		EXPECT_EQ(r.status, 0);
		EXPECT_EQ(result(), c.want);
		EXPECT_EQ(get("HISCORE.1"), in1);
	}
}

TEST_F(Merge, BothMissingGiveTheDefaultsTwice)
{
	Outcome r = run();
	EXPECT_EQ(r.out, banner + "\a\n\a\n" + saving);
	EXPECT_EQ(r.status, 0);
	Listing want;
	for (int i = 0; i < 5; i++)
		want.insert(want.end(), 2, default_listing()[i]);
	EXPECT_EQ(result(), want);
	const Bytes sum = {0xC6, 0x1A, 0x0D, 0x00};	// 858822
	const Bytes out = get("HISCORE.DAT");
	EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), sum);
	EXPECT_EQ(files(), std::set<std::string>{"HISCORE.DAT"});
}

// A failed load fills the defaults over whatever the failed check left in
// the table, so the bytes behind the default names come from the bad file:
// still stored after the scores check, plain after the names check, and
// none at all from a short file.
TEST_F(Merge, RecoveryKeepsTheBytesTheFailedCheckLeft)
{
	const HiscoreTable t1 = sample_table('A');
	const Bytes valid2 = encoded(sample_table('B'));
	for (int at : {8 + 24 * 4 + 1, 8 + 24 * 4 + 5, -252}) {
		SCOPED_TRACE(at);
		Bytes in2 = valid2;
		HiscoreTable want = t1;
		if (at < 0) {
			in2.resize(-at);
		} else {
			in2[at] ^= 1;
			EXPECT_NE(hiscore_decode(in2.data(), &want), HISCORE_VALID);
		}
		put("HISCORE.1", encoded(t1));
		put("HISCORE.2", in2);
		hiscore_defaults(&want);
		for (const HiscoreEntry &e : t1.entry)
			hiscore_insert(&want, &e);
		Outcome r = run();
		EXPECT_EQ(r.out, banner + "\a\n" + saving);
		EXPECT_EQ(get("HISCORE.DAT"), encoded(want));
	}
}

// Loading in this process: a failed load saves the defaults at once.
class Load : public Merge {};

TEST_F(Load, FailedLoadSavesTheDefaultsAtOnce)
{
	const fs::path cwd = fs::current_path();
	fs::current_path(dir);
	const HiscoreTable t1 = sample_table('A');
	put("HISCORE.1", encoded(t1));
	HiscoreTable t = t1, want = t1;
	hiscore_defaults(&want);
	testing::internal::CaptureStdout();
	hiscore_load(&t, 2);
	fflush(stdout);
	EXPECT_EQ(testing::internal::GetCapturedStdout(), "\a\n");
	EXPECT_EQ(memcmp(&t, &want, sizeof t), 0);
	EXPECT_EQ(get("HISCORE.DAT"), encoded(want));

	put("HISCORE.2", encoded(sample_table('B')));
	hiscore_load(&t, 2);
	EXPECT_EQ(listing(t), listing(sample_table('B')));
	fs::current_path(cwd);
}

// Each way the final save can fail: something in the way of the rename, a
// file size limit, and each step made to fail in turn by strace, which
// injects the fault only into system calls on the temporary file (not
// under another runner).
TEST_F(Merge, FailedSaveKeepsThePreviousResultAndSaysSo)
{
	const Bytes previous = encoded(sample_table('P'));
	const std::string tmp = (fs::canonical(dir) / "HISCORE.DAT.tmp").string();
	const bool strace = !getenv("HISCORE_RUNNER") &&
	    system("strace -V >/dev/null 2>&1") == 0;
	struct Case {
		const char *what;	// a directory, a size limit, or a fault
		rlim_t fsize;
		const char *reason;
	} cases[] = {
		{"directory", 0, "Is a directory"},
		{"size limit", 100, "File too large"},
		{"write:error=ENOSPC", 0, "No space left on device"},
		{"fsync:error=EIO", 0, "Input/output error"},
		{"close:error=EIO", 0, "Input/output error"},
		{"rename:error=EXDEV", 0, "Invalid cross-device link"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		const bool directory = strcmp(c.what, "directory") == 0;
		std::vector<std::string> prefix;
		if (strchr(c.what, '=') && !strace)
			continue;
		if (strchr(c.what, '='))
			prefix = {"strace", "-f", "-o", "/dev/null", "-P",
			    "HISCORE.DAT.tmp", "-P", tmp, "-e",
			    std::string("inject=") + c.what};
		fs::remove_all(dir / "HISCORE.DAT");
		if (directory)
			fs::create_directory(dir / "HISCORE.DAT");
		else
			put("HISCORE.DAT", previous);
		put("HISCORE.1", encoded(make_table(first)));
		put("HISCORE.2", encoded(make_table(second)));
		Outcome r = run(c.fsize, prefix);
		EXPECT_EQ(r.out, banner + saving);
		EXPECT_EQ(r.status, 1);
		// Windows words its reasons in its own way.
		EXPECT_EQ(r.err.substr(0, cannot_write.size()), cannot_write);
		if (!getenv("HISCORE_RUNNER")) {
			EXPECT_EQ(r.err, cannot_write + c.reason + "\n");
		}
		if (directory)
			EXPECT_TRUE(fs::is_directory(dir / "HISCORE.DAT"));
		else
			EXPECT_EQ(get("HISCORE.DAT"), previous);
		EXPECT_EQ(files(), (std::set<std::string>{"HISCORE.1",
		    "HISCORE.2", "HISCORE.DAT"}));
	}
}
