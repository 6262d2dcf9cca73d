// e2e_test.cpp: runs hiscore-merge and hiscore-show in a scratch folder and
// checks what they print, their exit status and every file they leave.
//
// HISCORE_RUNNER is a command to run the programs with (wine), and
// HISCORE_MERGE and HISCORE_SHOW name other programs to run. Names with
// "Posix" in them hold what only POSIX has; HISCORE_REQUIRE_ALL makes a
// missing tool a failure instead of a skip.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hiscore.h"

namespace fs = std::filesystem;
using Snapshot = std::map<std::string, std::pair<std::string, std::string>>;

static std::string
env(const char *name, const char *otherwise)
{
	return getenv(name) ? getenv(name) : otherwise;
}

static const std::string runner = env("HISCORE_RUNNER", "");
static const std::string merger = env("HISCORE_MERGE", HISCORE_MERGE_PATH);
static const std::string shower = env("HISCORE_SHOW", HISCORE_SHOW_PATH);
#define BANNER "HIGHSCORE - MERGER for Quorvex\n\n" \
    "Merging files 'HISCORE.1' and 'HISCORE.2' to 'HISCORE.DAT' ...\n\n"
#define SAVING "Saving new 'HISCORE.DAT' ...\n"
#define CW "cannot write 'HISCORE.DAT': "
#define OLD "cp ../f/d HISCORE.DAT"
#define STRACE "env ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null "
#define AT_TEMP STRACE "-P HISCORE.DAT.tmp -P @/HISCORE.DAT.tmp -e inject="
#define NEED(ok, what) if (!(ok)) { \
	if (getenv("HISCORE_REQUIRE_ALL")) { FAIL() << "missing " what; } \
	GTEST_SKIP() << "missing " what; }

static std::string
slurp(const fs::path &p)
{
	std::ostringstream s;
	s << std::ifstream(p, std::ios::binary).rdbuf();
	return s.str();
}

// Two valid tables of names A1..A10 and B1..B10, whose merge has ties
// inside the first, across the two and with the built-in table.
static HiscoreTable
table(char tag, std::vector<int32_t> scores)
{
	HiscoreTable t{};
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		t.entry[i].score = scores[i];
		snprintf(t.entry[i].name, HISCORE_NAME_SIZE, "%c%d", tag, i + 1);
	}
	return t;
}
static const HiscoreTable A = table('A', {190000, 180000, 170000, 170000,
    150000, 140000, 130000, 120000, 110000, 105000});
static const HiscoreTable B = table('B', {200000, 180000, 160000, 150000,
    140000, 100000, 92500, 60000, 50000, -5});

static std::string
row(const HiscoreEntry &e)
{
	return std::to_string(e.score) + " " + e.name + "\n";
}

// The rows named by tokens such as "B1 A1 D2": row k of A, B or the
// built-in table.
static std::string
rows(const std::string &tokens)
{
	HiscoreTable d{};
	std::istringstream in(tokens);
	std::string s;
	hiscore_defaults(&d);
	for (std::string t; in >> t;)
		s += row((t[0] == 'A' ? A : t[0] == 'B' ? B : d)
		    .entry[std::stoi(t.substr(1)) - 1]);
	return s;
}

static std::string
decoded(const std::string &file)
{
	HiscoreTable t;
	std::string s;
	if (file.size() != HISCORE_FILE_SIZE || hiscore_decode(
	    (const unsigned char *)file.data(), &t) != HISCORE_VALID)
		return "not a valid score file";
	for (const HiscoreEntry &e : t.entry)
		s += row(e);
	return s;
}

// Every line must end in CR LF under wine; then they are made LF.
static std::string
from_crlf(const std::string &s)
{
	std::string t;
	for (size_t i = 0; i < s.size(); i++) {
		if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r'))
			t += "<bare LF>";
		if (s[i] != '\r' || s[i + 1] != '\n')
			t += s[i];
	}
	return t;
}

class E2E : public testing::Test {
protected:
	fs::path root, work;
	struct Result { std::string out, err; int status; };

	// root holds the fixtures in f/ and the folder w/ that the programs
	// run in, with HISCORE.1 and HISCORE.2 copied from f/a and f/b.
	void SetUp() override
	{
		char tmpl[] = "/tmp/hiscore-e2e-XXXXXX";
		ASSERT_TRUE(mkdtemp(tmpl));
		root = fs::canonical(tmpl);
		work = root / "w";
		fs::create_directories(root / "f");
		fs::create_directory(work);
		chmod(root.c_str(), 0755);
		chmod(work.c_str(), 0777);
		HiscoreTable d{};
		hiscore_defaults(&d);
		put("a", encode(A));
		put("b", encode(B));
		std::string f = encode(d);
		put("d", f);
		put("short", f.substr(0, 252));
		for (int at : {0, 252}) {
			std::string g = f;
			g[at] ^= 1;
			put("flip" + std::to_string(at), g);
		}
		std::string copies = encode(A);	// the words never read
		copies[4] ^= 1;
		copies[131] ^= 1;
		put("a-copies", copies);
		put("b-long", encode(B) + std::string(744, '\xab'));
		HiscoreTable odd{{{5, "\x01\x1b[2J"}, {4, "caf\xe9"},
		    {3, "back\\slash"}, {2, "\x7f~ "}}};
		put("odd", encode(odd));
		sh("cp ../f/a HISCORE.1 && cp ../f/b HISCORE.2");
	}
	void TearDown() override { fs::remove_all(root); }
	static std::string encode(const HiscoreTable &t)
	{
		std::string b(HISCORE_FILE_SIZE, '\0');
		hiscore_encode(&t, (unsigned char *)b.data());
		return b;
	}
	void put(const std::string &name, const std::string &b)
	{
		std::ofstream(root / "f" / name, std::ios::binary) << b;
	}
	// Runs a shell command line in w/; returns its exit status.
	int sh(const std::string &cmd)
	{
		int st = system(("cd '" + work.string() + "' && " +
		    (cmd.empty() ? ":" : cmd)).c_str());
		return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	}
	// Runs a program in w/ under prefix, in which @ stands for w/'s path.
	Result run(std::string prefix, const std::string &prog,
	    const std::string &args = "")
	{
		for (size_t at; (at = prefix.find('@')) != std::string::npos;)
			prefix.replace(at, 1, work.string());
		Result r;
		r.status = sh("timeout -s KILL 120 " + prefix + " " + runner +
		    " " + prog + " >../out 2>../err " + args);
		r.out = slurp(root / "out");
		r.err = slurp(root / "err");
		fs::remove(root / "out");
		fs::remove(root / "err");
		if (!runner.empty())
			r.out = from_crlf(r.out), r.err = from_crlf(r.err);
		return r;
	}
	// Everything below root but the fixtures: each entry's kind, mode and
	// owner, and a file's bytes or a link's target.
	Snapshot snapshot()
	{
		Snapshot all;
		for (auto i = fs::recursive_directory_iterator(root);
		    i != fs::recursive_directory_iterator(); ++i) {
			struct stat st;
			std::string rel = i->path().lexically_relative(root);
			if (rel == "f") {
				i.disable_recursion_pending();
				continue;
			}
			lstat(i->path().c_str(), &st);
			all[rel] = {std::to_string(st.st_mode) + " " +
			    std::to_string(st.st_uid) + ":" +
			    std::to_string(st.st_gid), S_ISLNK(st.st_mode) ?
			    fs::read_symlink(i->path()).string() :
			    S_ISREG(st.st_mode) ? slurp(i->path()) : ""};
		}
		return all;
	}
};

struct MergeCase {
	const char *name;
	const char *setup;	// shell, in w/
	const char *prefix;	// what the merger runs under
	int alarms;
	const char *err;	// what follows "hiscore-merge: ", if anything
	const char *dat;	// the rows saved, or "" when nothing may change
	const char *target;	// where they are saved
};

class Merge : public E2E, public testing::WithParamInterface<MergeCase> {};
static void PrintTo(const MergeCase &c, std::ostream *os) { *os << c.name; }

static const std::string with_defaults = "B1 B2 B3 B4 B5 B6 D1 B7 D2 D3";
static const std::string merged = "B1 A1 B2 A2 A3 A4 B3 B4 A5 B5";

// A merge, then the files: the target holds the rows and keeps its mode and
// owner, and nothing else below root has changed.
TEST_P(Merge, Run)
{
	const MergeCase &c = GetParam();
	const std::string target = c.target ? c.target : "w/HISCORE.DAT";
	std::string prefix = c.prefix ? c.prefix : "";
	if (prefix.rfind("setpriv", 0) == 0 && (geteuid() != 0 || runner != ""))
		prefix = "";
	NEED(prefix.find("strace") == std::string::npos ||
	    system("strace -V >/dev/null") == 0, "strace");
	const int setup = sh(c.setup);
	NEED(setup != 77, "root, to set an owner");
	ASSERT_EQ(setup, 0);
	Snapshot before = snapshot();
	Result r = run(prefix, merger);
	Snapshot after = snapshot();
	std::string alarms(2 * c.alarms, '\n');
	for (int i = 0; i < c.alarms; i++)
		alarms[2 * i] = '\a';
	EXPECT_EQ(r.out, BANNER + alarms + SAVING);
	std::string err = c.err ? "hiscore-merge: " + std::string(c.err) + "\n" : "";
	if (!runner.empty())	// Windows words its reasons in its own way
		err = err.substr(0, err.rfind(": ") + 1), r.err.resize(err.size());
	EXPECT_EQ(r.err, err);
	EXPECT_EQ(r.status, c.err ? 1 : 0);
	if (*c.dat) {
		EXPECT_EQ(decoded(after[target].second), rows(c.dat));
		if (before.count(target)) {
			EXPECT_EQ(after[target].first, before[target].first);
		}
		before.erase(target);
		after.erase(target);
	}
	EXPECT_EQ(after, before);
}

static const MergeCase merge_cases[] = {
	{"Valid", "", nullptr, 0, nullptr, merged.c_str(), nullptr},
	{"SecondMissing", "rm HISCORE.2", nullptr, 1, nullptr,
	    "A1 A2 A3 A4 A5 A6 A7 A8 A9 A10", nullptr},
	{"BothMissing", "rm HISCORE.?", nullptr, 2, nullptr,
	    "D1 D1 D2 D2 D3 D3 D4 D4 D5 D5", nullptr},
	{"ScoresCheck", "cp ../f/flip252 HISCORE.1", nullptr, 1, nullptr,
	    with_defaults.c_str(), nullptr},
	{"NamesCheck", "cp ../f/flip0 HISCORE.1", nullptr, 1, nullptr,
	    with_defaults.c_str(), nullptr},
	{"Short", "cp ../f/short HISCORE.1", nullptr, 1, nullptr,
	    with_defaults.c_str(), nullptr},
	{"Folder", "rm HISCORE.1 && mkdir HISCORE.1", nullptr, 1, nullptr,
	    with_defaults.c_str(), nullptr},
	{"PosixFifo", "rm HISCORE.1 && mkfifo HISCORE.1", nullptr, 1, nullptr,
	    with_defaults.c_str(), nullptr},
	{"PosixDevZero", "ln -sf /dev/zero HISCORE.1", nullptr, 1, nullptr,
	    with_defaults.c_str(), nullptr},
	{"CopiesChangedAndLonger", "cp ../f/a-copies HISCORE.1 && cp ../f/b-long "
	    "HISCORE.2", nullptr, 0, nullptr, merged.c_str(), nullptr},
	{"AnySizeReplaced", "head -c 300 /dev/zero >HISCORE.DAT", nullptr, 0,
	    nullptr, merged.c_str(), nullptr},
	{"TempNamesTaken", "mkdir HISCORE.DAT.tmp && touch HISCORE.DAT.tmp.1 && "
	    "chmod 0 HISCORE.DAT.tmp.1", nullptr, 0, nullptr, merged.c_str(),
	    nullptr},
	{"TempLinked", "echo keep >../v && ln -s ../v HISCORE.DAT.tmp && "
	    "ln ../v HISCORE.DAT.tmp.1", nullptr, 0, nullptr, merged.c_str(),
	    nullptr},
	{"DatFolder", "mkdir HISCORE.DAT", nullptr, 0, CW "Is a directory", "", nullptr},
	{"ReadOnly", "cp ../f/d HISCORE.DAT && chmod 444 HISCORE.DAT",
	    "setpriv --reuid=65534 --regid=65534 --clear-groups", 0,
	    CW "Permission denied", "", nullptr},
	{"PosixModeKept", "cp ../f/d HISCORE.DAT && chmod 600 HISCORE.DAT",
	    nullptr, 0, nullptr, merged.c_str(), nullptr},
	{"PosixOwnerKept", "cp ../f/d HISCORE.DAT && chmod 640 HISCORE.DAT && "
	    "{ chown 65534:65534 HISCORE.DAT || exit 77; }", nullptr, 0, nullptr,
	    merged.c_str(), nullptr},
	{"PosixLinkFollowed", "mkdir ../g && cp ../f/d ../g/S && chmod 604 ../g/S"
	    " && ln -s ../g/S HISCORE.DAT", nullptr, 0, nullptr, merged.c_str(),
	    "g/S"},
	{"PosixLinksToMissing", "mkdir -p ../g/s && ln -s ../g/s/L HISCORE.DAT "
	    "&& ln -s ../N ../g/s/L", nullptr, 0, nullptr, merged.c_str(), "g/N"},
	{"PosixLinkToOtherSize", "head -c 255 ../f/d >../o && ln -s ../o "
	    "HISCORE.DAT", nullptr, 0, CW "not a score file", "", nullptr},
	{"PosixFileSizeLimit", "cp ../f/d HISCORE.DAT", "prlimit --fsize=200",
	    0, CW "File too large", "", nullptr},
	{"PosixWriteFails", OLD, AT_TEMP "write:error=ENOSPC", 0,
	    CW "No space left on device", "", nullptr},
	{"PosixWriteStoresNothing", OLD, AT_TEMP "write:retval=0", 0,
	    CW "No space left on device", "", nullptr},
	{"PosixSyncFails", OLD, AT_TEMP "fsync:error=EIO", 0,
	    CW "Input/output error", "", nullptr},
	{"PosixCloseFails", OLD, AT_TEMP "close:error=EIO", 0,
	    CW "Input/output error", "", nullptr},
	{"PosixRenameFails", OLD, AT_TEMP "rename:error=EXDEV", 0,
	    CW "Invalid cross-device link", "", nullptr},
	{"PosixFolderSyncFails", OLD, STRACE "-P @ -e inject=fsync:error=EIO",
	    0, "cannot sync the folder of 'HISCORE.DAT': Input/output error",
	    merged.c_str(), nullptr},
};
INSTANTIATE_TEST_SUITE_P(, Merge, testing::ValuesIn(merge_cases),
    [](const auto &i) { return std::string(i.param.name); });

struct ShowCase {
	const char *name, *args;
	const char *out;	// ending in "...": how it starts
	int status;
	const char *err;
};

class Show : public E2E, public testing::WithParamInterface<ShowCase> {};
static void PrintTo(const ShowCase &c, std::ostream *os) { *os << c.name; }

// The built-in table as hiscore-show prints it, worked out by hand.
#define ROWS " 1       100000  ALDWINE KVIL\n 2        92500  BERTOS KVIL\n" \
    " 3        85000  ALDWINE MORSEN\n 4        77500  ------------------\n" \
    " 5        70000        QUORVEX     \n 6        62500       THE GAME     \n" \
    " 7        55000  PELLORAN SOFTCRAFT\n 8        47500       - 1996 -     \n" \
    " 9        40000  ------------------\n10        32500  !NOT GOOD ENOUGH!\n"
#define USAGE "usage: hiscore-show [--raw] [FILE...]\n" \
    "       hiscore-show --help | --version\n"
#define FULL "hiscore-show: standard output: No space left on device\n"

TEST_P(Show, Run)
{
	const ShowCase &c = GetParam();
	const std::string out = c.out;
	ASSERT_EQ(sh("cp ../f/d HISCORE.DAT && cp ../f/flip252 scores && cp "
	    "../f/flip0 names && cp ../f/short short && mkdir dir && "
	    "cp ../f/odd \"$(printf 'odd\\033')\""), 0);
	Snapshot before = snapshot();
	Result r = run("", shower, c.args);
	if (out.size() > 3 && out.compare(out.size() - 3, 3, "...") == 0)
		r.out = r.out.substr(0, out.size() - 3) + "...";
	EXPECT_EQ(r.out, out);
	EXPECT_EQ(r.err, c.err);
	EXPECT_EQ(r.status, c.status);
	EXPECT_EQ(snapshot(), before);
}

static const ShowCase show_cases[] = {
	{"Default", "", "HISCORE.DAT: valid\n" ROWS, 0, ""},
	{"InvalidThenValid", "short HISCORE.DAT", "short: shorter than 256 bytes"
	    "\n\nHISCORE.DAT: valid\n" ROWS, 1, ""},
	{"PosixMissing", "missing", "missing: missing or unreadable: No such "
	    "file or directory\n", 1, ""},
	{"Folder", "dir", "dir: missing or unreadable: not a regular file\n", 1,
	    ""},
	{"Checks", "scores names", "scores: the scores check failed\n\n"
	    "names: the names check failed\n", 1, ""},
	{"Raw", "--raw -- scores names", "scores: the scores check failed (rows "
	    "shown unchecked)\n" ROWS "\nnames: the names check failed (rows "
	    "shown unchecked)\n" ROWS, 1, ""},
	{"Help", "--help", USAGE "\nShows what each score file holds...", 0, ""},
	{"ShortHelp", "-h", USAGE "\nShows...", 0, ""},
	{"Version", "--version", "hiscore-show 1.0.0\n", 0, ""},
	{"Unknown", "-x HISCORE.DAT", "", 2, "hiscore-show: -x: unknown option\n"
	    USAGE},
	{"PosixEscapes", "odd*", "odd\\x1b: valid\n 1            5  \\x01\\x1b[2J\n"
	    " 2            4  caf\\xe9\n 3            3  back\\\\slash\n"
	    " 4            2  \\x7f~ \n 5            0  \n 6            0  \n"
	    " 7            0  \n 8            0  \n 9            0  \n"
	    "10            0  \n", 0, ""},
	{"PosixFull", ">/dev/full", "", 1, FULL},
	{"PosixHelpFull", "-h >/dev/full", "", 1, FULL},
};
INSTANTIATE_TEST_SUITE_P(, Show, testing::ValuesIn(show_cases),
    [](const auto &i) { return std::string(i.param.name); });

// A closed standard output, or one whose reader is gone, changes nothing.
TEST_F(E2E, PosixClosedOutput)
{
	EXPECT_EQ(sh(merger + " >&-"), 0);
	EXPECT_EQ(decoded(slurp(work / "HISCORE.DAT")), rows(merged));
	fs::remove(work / "HISCORE.DAT");
	sh("{ sleep 0.2; " + merger + "; echo $? >../status; } | true");
	EXPECT_EQ(slurp(root / "status"), "0\n");
	EXPECT_EQ(decoded(slurp(work / "HISCORE.DAT")), rows(merged));
}

// Rounds of runs at once in one folder all succeed, and a reader meanwhile
// only ever finds the whole merged file.
TEST_F(E2E, PosixConcurrentRuns)
{
	ASSERT_EQ(sh(merger + " >/dev/null"), 0);
	sh("(for i in $(seq 20); do for k in 1 2 3; do (" + merger + " >/dev/null"
	    " || echo fail >>../failed) & done; wait; done; touch ../done) &");
	int reads = 0;
	while (!fs::exists(root / "done") && ++reads)
		ASSERT_EQ(decoded(slurp(work / "HISCORE.DAT")), rows(merged));
	EXPECT_FALSE(fs::exists(root / "failed"));
	EXPECT_EQ(sh("ls | tr '\\n' ' ' | grep -x 'HISCORE.1 HISCORE.2 HISCORE.DAT '"),
	    0) << reads << " reads";
}

// A run killed at each of its system calls in turn, with both inputs valid
// and with both missing, leaves "HISCORE.DAT" whole and valid (the old
// file, the built-in table of a recovery, or the result), and the next
// run succeeds.
TEST_F(E2E, PosixKilledAtEverySystemCall)
{
	NEED(system("strace -V >/dev/null") == 0, "strace");
	for (std::string inputs : {"true", "rm HISCORE.?"}) {
		const std::string setup = "rm -f HISCORE.* && cp ../f/a HISCORE.1 "
		    "&& cp ../f/b HISCORE.2 && " OLD " && " + inputs;
		std::map<std::string, int> calls;
		sh(setup + " && strace -f -qq -o ../calls " + merger + " >/dev/null");
		std::ifstream log(root / "calls");
		for (std::string line; std::getline(log, line);)
			if (line.find('(') != std::string::npos && line[0] != '+')
				calls[line.substr(line.find_first_not_of("0123456789 "),
				    line.find('(') - line.find_first_not_of("0123456789 "))]++;
		ASSERT_GT(calls.size(), 10u);
		for (const auto &[call, count] : calls)
			for (int k = 1; k <= count; k++) {
				SCOPED_TRACE(inputs + ": " + call + " " + std::to_string(k));
				sh(setup + " && " STRACE "-e inject=" + call +
				    ":signal=SIGKILL:when=" + std::to_string(k) + " " +
				    merger + " >/dev/null 2>&1");
				ASSERT_NE(decoded(slurp(work / "HISCORE.DAT")),
				    "not a valid score file");
				ASSERT_EQ(sh(merger + " >/dev/null"), 0);
			}
	}
}
