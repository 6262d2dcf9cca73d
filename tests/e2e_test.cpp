// e2e_test.cpp: runs hiscore-merge and hiscore-show in a scratch folder from
// one table of scenarios, and checks what they print, their exit status and
// every file below the folder. HISCORE_RUNNER (wine), HISCORE_MERGE and
// HISCORE_SHOW say what to run; "Posix" names what only POSIX has;
// HISCORE_REQUIRE_ALL fails a test that would be skipped.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hiscore.h"

namespace fs = std::filesystem;

#define ENV(name, otherwise) (getenv(name) ? getenv(name) : otherwise)
static const std::string runner = ENV("HISCORE_RUNNER", "");
static const std::string merger = runner + " " +
    ENV("HISCORE_MERGE", HISCORE_MERGE_PATH);
static const std::string shower = runner + " " +
    ENV("HISCORE_SHOW", HISCORE_SHOW_PATH);
#define NEED(ok, what) if (!(ok)) { \
	if (getenv("HISCORE_REQUIRE_ALL")) { FAIL() << "missing " what; } \
	GTEST_SKIP() << "missing " what; }
#define WATCHDOG "timeout -s KILL 20 "
#define STRACE "env ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null "
#define NOBODY "setpriv --reuid=65534 --regid=65534 --clear-groups"
#define D "cp ../d HISCORE.DAT"

static std::string
slurp(const fs::path &p)
{
	std::ostringstream s;
	s << std::ifstream(p, std::ios::binary).rdbuf();
	return s.str();
}

// Tables of rows A1..A10 and B1..B10 whose merge has ties inside the first,
// across the two and with the built-in table, of rows D1..D10.
static HiscoreTable
table(char tag, std::vector<int32_t> scores)
{
	HiscoreTable t{};
	for (int i = 0; i < HISCORE_ENTRIES; i++) {
		t.entry[i].score = scores[i];
		snprintf(t.entry[i].name, HISCORE_NAME_SIZE, "%c%d", tag, i + 1);
	}
	if (tag == 'D')
		hiscore_defaults(&t);
	return t;
}
static const HiscoreTable named[] = {
	table('A', {190000, 180000, 170000, 170000, 150000, 140000, 130000,
	    120000, 110000, 105000}),
	table('B', {200000, 180000, 160000, 150000, 140000, 100000, 92500, 60000,
	    50000, -5}),
	table('D', std::vector<int32_t>(HISCORE_ENTRIES)),
};
#define MERGED "B1 A1 B2 A2 A3 A4 B3 B4 A5 B5"
#define DOUBLED "D1 D1 D2 D2 D3 D3 D4 D4 D5 D5"

// A valid score file's rows by those names, "?" for a row of none of them.
static std::string
rows(const std::string &file)
{
	HiscoreTable t;
	std::string s;
	if (file.size() != HISCORE_FILE_SIZE || hiscore_decode(
	    (const unsigned char *)file.data(), &t) != HISCORE_VALID)
		return "not a valid score file";
	for (const HiscoreEntry &e : t.entry) {
		std::string name = "?";
		for (int k = 0; k < 3; k++)
			for (int i = 0; i < HISCORE_ENTRIES; i++)
				if (named[k].entry[i].score == e.score &&
				    strcmp(named[k].entry[i].name, e.name) == 0)
					name = "ABD"[k] + std::to_string(i + 1);
		s += (s.empty() ? "" : " ") + name;
	}
	return s;
}

// A scratch root with score files a, b and d of those tables and others,
// and the folder w/ that the programs run in, holding copies of a and b as
// HISCORE.1 and HISCORE.2.
class E2E : public testing::Test {
protected:
	fs::path root, work;

	void SetUp() override
	{
		char tmpl[] = "/tmp/hiscore-e2e-XXXXXX";
		ASSERT_TRUE(mkdtemp(tmpl));
		root = fs::canonical(tmpl), work = root / "w";
		fs::create_directory(work);
		chmod(root.c_str(), 0755), chmod(work.c_str(), 0777);
		auto put = [&](const char *name, std::string b) {
			std::ofstream(root / name, std::ios::binary) << b;
			return b;
		};
		std::string a = put("a", encode(named[0])), d = put("d",
		    encode(named[2]));
		put("b", encode(named[1])), put("odd", encode({{{5, "\x01\x1b[2J"},
		    {4, "caf\xe9"}, {3, "back\\slash"}, {2, "\x7f~ "}}}));
		a[4] ^= 1, a[131] ^= 1, put("a-copies", a);	// the unread copies
		d[252] ^= 1, put("bad-scores", d), d[252] ^= 1;
		d[0] ^= 1, put("bad-names", d);
		sh("cp ../a HISCORE.1 && cp ../b HISCORE.2");
	}
	static std::string encode(const HiscoreTable &t)
	{
		std::string b(HISCORE_FILE_SIZE, '\0');
		hiscore_encode(&t, (unsigned char *)b.data());
		return b;
	}
	void TearDown() override
	{
		chmod(work.c_str(), 0777);
		fs::remove_all(root);
	}
	// Runs a shell command line in w/, where @ stands for w/'s path.
	int sh(std::string cmd)
	{
		for (size_t at; (at = cmd.find('@')) != std::string::npos;)
			cmd.replace(at, 1, work.string());
		int st = system(("cd " + work.string() + " && :; " + cmd).c_str());
		return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	}
	// Every entry below root: its kind, mode, owner and group on a line,
	// then a file's bytes or a link's target.
	std::map<std::string, std::string> snapshot()
	{
		std::map<std::string, std::string> all;
		for (const auto &e : fs::recursive_directory_iterator(root)) {
			struct stat st;
			lstat(e.path().c_str(), &st);
			all[e.path().lexically_relative(root)] =
			    std::to_string(st.st_mode) + " " +
			    std::to_string(st.st_uid) + ":" +
			    std::to_string(st.st_gid) + "\n" + (S_ISLNK(st.st_mode) ?
			    fs::read_symlink(e).string() : S_ISREG(st.st_mode) ?
			    slurp(e) : "");
		}
		return all;
	}
};

struct Case {
	const char *name, *setup;	// setup: shell, in w/
	const char *cmd;	// "show ARGS", or what to run the merger under
	int status;
	const char *out;	// the merger's alarms, what shows prints, or none
	const char *err = "";
	const char *dat = "";	// the rows saved; "": no file may change
	const char *target = "w/HISCORE.DAT";	// where they are saved
};
static void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class Run : public E2E, public testing::WithParamInterface<Case> {};

TEST_P(Run, Scenario)
{
	const Case &c = GetParam();
	const bool show = strncmp(c.cmd, "show", 4) == 0;
	std::string cmd = show ? shower + (c.cmd + 4) : c.cmd + (" " + merger);
	std::string want_out = !c.out ? "" : show ? c.out :
	    "HIGHSCORE - MERGER for Quorvex\n\nMerging files 'HISCORE.1' and "
	    "'HISCORE.2' to 'HISCORE.DAT' ...\n\n" + std::string(c.out) +
	    "Saving new 'HISCORE.DAT' ...\n", want_err = c.err;
	if (cmd.find(NOBODY) == 0 && (geteuid() != 0 || !runner.empty()))
		cmd.erase(0, strlen(NOBODY));	// not root, or wine: as it is
	NEED(cmd.find("strace") == std::string::npos ||
	    system("strace -V >/dev/null") == 0, "strace");
	const int setup = sh(c.setup);
	NEED(setup != 77, "root, to give a file to another user");
	ASSERT_EQ(setup, 0);
	auto before = snapshot();
	EXPECT_EQ(sh(">../out 2>../err " WATCHDOG + cmd), c.status);
	std::string out = slurp(root / "out"), err = slurp(root / "err");
	fs::remove(root / "out"), fs::remove(root / "err");
	auto after = snapshot();
	for (std::string *s : {&out, &err})	// under wine, CR LF line ends
		if (!runner.empty()) {
			EXPECT_EQ(std::count(s->begin(), s->end(), '\r'),
			    std::count(s->begin(), s->end(), '\n')) << *s;
			s->erase(std::remove(s->begin(), s->end(), '\r'), s->end());
		}
	if (!runner.empty() && *c.err)	// Windows words its reasons its own way
		want_err.resize(want_err.rfind(": ") + 1), err.resize(want_err.size());
	if (want_out.rfind("...") == want_out.size() - 3)	// how it starts
		out = out.substr(0, want_out.size() - 3) + "...";
	EXPECT_EQ(out, want_out);
	EXPECT_EQ(err, want_err);
	if (*c.dat) {	// the target holds the rows and keeps its mode and owner
		std::string &now = after[c.target], &was = before[c.target];
		EXPECT_EQ(rows(now.substr(now.find('\n') + 1)), c.dat);
		if (!was.empty()) {
			EXPECT_EQ(now.substr(0, now.find('\n')), was.substr(0,
			    was.find('\n')));
		}
		before.erase(c.target), after.erase(c.target);
	}
	EXPECT_EQ(after, before);
}

#define CW "hiscore-merge: cannot write 'HISCORE.DAT': "
#define AT_TEMP STRACE "-P HISCORE.DAT.tmp -P @/HISCORE.DAT.tmp -e inject="
// The built-in table as hiscore-show prints it, worked out by hand.
#define ROWS " 1       100000  ALDWINE KVIL\n 2        92500  BERTOS KVIL\n" \
    " 3        85000  ALDWINE MORSEN\n 4        77500  ------------------\n" \
    " 5        70000        QUORVEX     \n 6        62500       THE GAME     \n" \
    " 7        55000  PELLORAN SOFTCRAFT\n 8        47500       - 1996 -     \n" \
    " 9        40000  ------------------\n10        32500  !NOT GOOD ENOUGH!\n"
#define USAGE "usage: hiscore-show [--raw] [FILE...]\n" \
    "       hiscore-show --help | --version\n"
#define FULL "hiscore-show: standard output: No space left on device\n"
#define BAD "cp ../bad-scores scores && cp ../bad-names names"

static const Case cases[] = {
	{"Valid", "cat ../b ../d >HISCORE.2 && head -c 300 /dev/zero >HISCORE.DAT"
	    " && echo v >../v && mkdir HISCORE.DAT.tmp && ln -s ../v "
	    "HISCORE.DAT.tmp.1 && ln ../v HISCORE.DAT.tmp.2 && touch "
	    "HISCORE.DAT.tmp.3 && chmod 0 HISCORE.DAT.tmp.3", "", 0, "", "", MERGED},
	{"SecondMissing", "cp ../a-copies HISCORE.1 && rm HISCORE.2", "", 0,
	    "\a\n", "", "A1 A2 A3 A4 A5 A6 A7 A8 A9 A10"},
	{"ScoresCheck", "cp ../bad-scores HISCORE.1", "", 0, "\a\n", "",
	    "B1 B2 B3 B4 B5 B6 D1 B7 D2 D3"},
	{"NamesCheckAndShort", "cp ../bad-names HISCORE.1 && head -c 252 ../b "
	    ">HISCORE.2", "", 0, "\a\n\a\n", "", DOUBLED},
	{"MissingAndFolder", "rm HISCORE.? && mkdir HISCORE.2", "", 0,
	    "\a\n\a\n", "", DOUBLED},
	{"PosixFifoAndDevZero", "rm HISCORE.? && mkfifo HISCORE.1 && ln -s "
	    "/dev/zero HISCORE.2", "", 0, "\a\n\a\n", "", DOUBLED},
	{"PosixClosedOutput", "", "sh -c 'exec \"$0\" >&-'", 0, nullptr, "",
	    MERGED},
	{"PosixReaderGone", "", "sh -c '{ sleep 0.2; \"$0\"; echo $? >&2; } | "
	    "true'", 0, nullptr, "0\n", MERGED},
	{"DatFolder", "mkdir HISCORE.DAT", "", 1, "", CW "Is a directory\n"},
	{"ReadOnly", D " && chmod 444 HISCORE.DAT", NOBODY, 1, "",
	    CW "Permission denied\n"},
	{"PosixReadOnlyFolder", "chmod 555 .", NOBODY, 1, "",
	    CW "Permission denied\n"},
	{"PosixFolderUnreadable", "chmod 333 .", NOBODY, 0, "", "", MERGED},
	{"PosixModeAndOwnerKept", D " && chmod 640 HISCORE.DAT && { chown "
	    "65534:65534 HISCORE.DAT || exit 77; }", "", 0, "", "", MERGED},
	{"PosixLinkFollowed", "mkdir ../g && cp ../d ../g/S && chmod 600 ../g/S "
	    "&& ln -s ../g/S HISCORE.DAT", "", 0, "", "", MERGED, "g/S"},
	{"PosixLinksToMissing", "mkdir -p ../g/s && ln -s ../g/s/L HISCORE.DAT "
	    "&& ln -s ../N ../g/s/L", "", 0, "", "", MERGED, "g/N"},
	{"PosixTooManyLinks", "cp ../d ../S && ln -s ../S L40 && for i in $(seq "
	    "39 -1 1); do ln -s L$((i + 1)) L$i; done && ln -s L1 HISCORE.DAT", "",
	    1, "", CW "Too many levels of symbolic links\n"},
	{"PosixLinkToOtherSize", "head -c 255 ../d >../o && ln -s ../o "
	    "HISCORE.DAT", "", 1, "", CW "not a score file\n"},
	{"PosixFileSizeLimit", D, "prlimit --fsize=200", 1, "",
	    CW "File too large\n"},
	{"PosixWriteStoresNothing", D, AT_TEMP "write:retval=0", 1, "",
	    CW "No space left on device\n"},
	{"PosixRecoverySavedAtOnce", "cp ../a HISCORE.DAT && rm HISCORE.2",
	    AT_TEMP "rename:error=EXDEV:when=2", 1, "\a\n",
	    CW "Invalid cross-device link\n", "D1 D2 D3 D4 D5 D6 D7 D8 D9 D10"},
	{"PosixFolderSyncFails", D, STRACE "-P @ -e inject=fsync:error=EIO", 1,
	    "", "hiscore-merge: cannot sync the folder of 'HISCORE.DAT': "
	    "Input/output error\n", MERGED},

	{"ShowDefault", D, "show", 0, "HISCORE.DAT: valid\n" ROWS},
	{"ShowVerdicts", D " && " BAD " && head -c 255 ../d >short && mkdir dir",
	    "show short dir scores names HISCORE.DAT", 1, "short: shorter than "
	    "256 bytes\n\ndir: missing or unreadable: not a regular file\n\n"
	    "scores: the scores check failed\n\nnames: the names check failed\n\n"
	    "HISCORE.DAT: valid\n" ROWS},
	{"ShowRaw", BAD, "show --raw -- scores names", 1, "scores: the scores "
	    "check failed (rows shown unchecked)\n" ROWS "\nnames: the names "
	    "check failed (rows shown unchecked)\n" ROWS},
	{"ShowHelp", "", "show --help", 0, USAGE "\nShows what each score..."},
	{"ShowShortHelp", "", "show -h", 0, USAGE "\nShows what each score..."},
	{"ShowVersion", "", "show --version", 0, "hiscore-show 1.0.0\n"},
	{"ShowUnknown", "", "show -x HISCORE.DAT", 2, "",
	    "hiscore-show: -x: unknown option\n" USAGE},
	{"ShowPosixEscapes", "cp ../odd \"$(printf 'odd\\033')\"", "show missing "
	    "odd*", 1, "missing: missing or unreadable: No such file or directory"
	    "\n\nodd\\x1b: valid\n 1            5  \\x01\\x1b[2J\n 2            4  "
	    "caf\\xe9\n 3            3  back\\\\slash\n 4            2  \\x7f~ "
	    "\n 5            0  \n..."},
	{"ShowPosixFull", D, "show >/dev/full", 1, "", FULL},
	{"ShowPosixHelpFull", "", "show -h >/dev/full", 1, "", FULL},
};
INSTANTIATE_TEST_SUITE_P(, Run, testing::ValuesIn(cases),
    [](const auto &i) { return std::string(i.param.name); });

// Rounds of runs at once in one folder all succeed, while a reader only
// ever finds the whole merged file.
TEST_F(E2E, PosixConcurrentRuns)
{
	ASSERT_EQ(sh(WATCHDOG + merger + " >/dev/null"), 0);
	sh("(for i in $(seq 20); do for k in 1 2 3; do (" WATCHDOG + merger +
	    " >/dev/null"
	    " || echo fail >>../failed) & done; wait; done; touch ../done) &");
	while (!fs::exists(root / "done"))
		ASSERT_EQ(rows(slurp(work / "HISCORE.DAT")), MERGED);
	EXPECT_FALSE(fs::exists(root / "failed"));
	EXPECT_EQ(sh("test \"$(ls)\" = \"$(printf 'HISCORE.%s\\n' 1 2 DAT)\""), 0);
}

// A run killed at each of its system calls in turn, with both inputs valid
// and both missing, leaves a valid "HISCORE.DAT" (the old one, the built-in
// table of a recovery, or the result), and the next run succeeds.
TEST_F(E2E, PosixKilledAtEverySystemCall)
{
	NEED(system("strace -V >/dev/null") == 0, "strace");
	for (std::string inputs : {"cp ../a HISCORE.1 && cp ../b HISCORE.2",
	    "rm -f HISCORE.?"}) {
		const std::string setup = "rm -f HISCORE.* && " D " && " + inputs;
		std::map<std::string, int> calls;
		sh(setup + " && " WATCHDOG "strace -qq -o ../calls " + merger +
		    " >/dev/null");
		std::ifstream log(root / "calls");
		for (std::string line; std::getline(log, line);)
			calls[line.substr(0, line.find('('))]++;
		for (const auto &[call, count] : calls)
			for (int k = 1; k <= count; k++) {
				SCOPED_TRACE(inputs + ": " + call + " " + std::to_string(k));
				sh(setup + " && " WATCHDOG STRACE "-e inject=" + call +
				    ":signal=SIGKILL:when=" + std::to_string(k) + " " +
				    merger + " >/dev/null 2>&1");
				ASSERT_NE(rows(slurp(work / "HISCORE.DAT")), rows(""));
				ASSERT_EQ(sh(WATCHDOG + merger + " >/dev/null"), 0);
			}
	}
}
