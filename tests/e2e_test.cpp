// e2e_test.cpp: runs hiscore-merge and hiscore-show in a scratch folder,
// one test per case of scenarios.txt (its head says how a case is
// written), and checks what they print, their exit status and every entry
// below the scratch root. HISCORE_RUNNER (wine), HISCORE_MERGE and
// HISCORE_SHOW say what to run; HISCORE_REQUIRE_ALL fails a test that
// would be skipped.
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "hiscore.h"

namespace fs = std::filesystem;
struct Scenario : std::map<std::string, std::string> {};
static void PrintTo(const Scenario &s, std::ostream *o) { *o << s.at("name"); }

static std::string env_or(const char *name, const char *otherwise)
{ return getenv(name) ? getenv(name) : otherwise; }

static const std::string runner = env_or("HISCORE_RUNNER", "");
// posix, windows-nt, or windows-9x (wine reporting Windows 98).
static const std::string system_name = env_or("HISCORE_SYSTEM", "posix");
// The programs as the cases' $MERGE, $SHOW and $CMD run them. Wine's own
// cmd is named by path: wine starts a bare name through start.exe's
// search and ShellExecuteEx, where a start once failed in CI.
static const std::string merge = runner + " " + env_or("HISCORE_MERGE", HISCORE_MERGE_PATH),
    show = runner + " " + env_or("HISCORE_SHOW", HISCORE_SHOW_PATH),
    cmd = runner + " C:\\windows\\system32\\cmd.exe /c merge.cmd";
// Runs what follows as uid and gid 65534, then with a groups option.
static const std::string as_nobody = "setpriv --reuid=65534 --regid=65534 ";
// What a case's script starts with. A hung case ends by SIGTERM, then
// SIGKILL, and exits 124. "hold FILE": another program holds FILE,
// unshared, until "release". "syncs CALLS": the calls of strace -y's log
// ../calls that a regular expression names, without file paths.
static const std::string watchdog = "timeout -k 5 60 ", hold = "hold() { $HISCORE_RUNNER "
    "$HISCORE_HOLD $1 ../held ../go & held=$!; until [ -e ../held ]; do sleep 0.01; done; }\n"
    "release() { touch ../go; wait $held || echo hold failed; rm ../held ../go; }\n"
    "syncs() { grep -E \"^($1)\\\\(\" ../calls | sed -E 's/[0-9]+<[^>]*\\//</; s/ +=/ =/'; }\n";

static std::string
slurp(const fs::path &p)
{
	std::ifstream in(p, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), {}};
}

// A new folder below TMPDIR (or /tmp) for what the name says.
static fs::path
scratch(const char *what)
{
	std::string tmpl = (fs::temp_directory_path() / "hiscore-").string() + what + "-XXXXXX";
	if (!mkdtemp(tmpl.data()))
		throw std::runtime_error("cannot make a scratch folder " + tmpl);
	return fs::canonical(tmpl);
}

// Why the host cannot meet a need, or "": "missing TOOL" where the tool
// that starts its use is not installed, else what the use, tried once in a
// scratch folder $D with a file $F, showed.
static std::string
probe(const std::string &need)
{
	static const std::map<std::string, std::pair<std::string, std::string>> uses = {
	    {"root", {"test 0 = $(id -u)", "the tests do not run as root"}},
	    {"trace", {"strace -o $F true && test -s $F", "strace cannot trace a command here"}},
	    {"xattr", {"setfattr -n user.probe $F",
	    "the scratch file system takes no user.* attribute"}},
	    {"acl", {"setfacl -m u:65534:r $F", "the scratch file system takes no ACL"}},
	    {"flags", {"chattr +d $F", "the scratch file system takes no inode flags"}},
	    {"noproc", {"unshare -m sh -c 'mount -t tmpfs none /proc && ! test -e /proc/self'",
	    "a run cannot be given a /proc of its own"}},
	    {"nobody", {as_nobody + "--clear-groups test -w $D",
	    "uid 65534 cannot reach the scratch folders (see TMPDIR)"}}};
	static std::map<std::string, std::string> found;
	if (!found.count(need) && uses.count(need)) {
		const auto &[use, why] = uses.at(need);
		const std::string dir = scratch("probe"), tool = use.substr(0, use.find(' '));
		int st = system(("D=" + dir + " F=" + dir + "/f; (command -v " + tool +
		    " || exit 127; touch $F && chmod 777 $D && " + use + ") >/dev/null 2>&1")
		    .c_str());
		found[need] = WEXITSTATUS(st) == 127 ? "missing " + tool : st ? why : "";
		fs::remove_all(dir);
	}
	return found[need];
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
	table('A', {190000, 180000, 170000, 170000, 150000, 140000, 130000, 120000, 110000,
	    105000}),
	table('B', {200000, 180000, 160000, 150000, 140000, 100000, 92500, 60000, 50000, -5}),
	table('D', std::vector<int32_t>(HISCORE_ENTRIES)),
};

// A valid score file's rows by those names, "?" for a row of none of them.
static std::string
rows(const std::string &file)
{
	HiscoreTable t;
	std::string s;
	bool plain;
	if (file.size() != HISCORE_FILE_SIZE ||
	    hiscore_decode((const unsigned char *)file.data(), &t, &plain) != HISCORE_VALID)
		return "not a valid score file";
	for (const HiscoreEntry &e : t.entry) {
		std::string name = " ?";
		for (int k = 0; k < 3 * HISCORE_ENTRIES; k++) {
			const HiscoreEntry &n = named[k / 10].entry[k % 10];
			if (n.score == e.score && strcmp(n.name, e.name) == 0)
				name = " " + ("ABD"[k / 10] + std::to_string(k % 10 + 1));
		}
		s += name;
	}
	return s.substr(1);
}

// An entry's metadata on one line: kind and mode, owner and group, and its
// extended attributes (ACLs among them) as name=value, sorted by name.
static std::string
metadata(const fs::path &p)
{
	struct stat st;
	char names[4096], value[4096];
	std::set<std::string> attrs;
	lstat(p.c_str(), &st);
	ssize_t len = llistxattr(p.c_str(), names, sizeof names);
	for (char *name = names; name < names + len; name += strlen(name) + 1) {
		ssize_t n = lgetxattr(p.c_str(), name, value, sizeof value);
		attrs.insert(" " + (name + ("=" + std::string(value, n))));
	}
	std::string line = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + ":" +
	    std::to_string(st.st_gid);
	for (const std::string &attr : attrs)
		line += attr;
	return line;
}

// A scratch root with the score files a, b and d of those tables and
// others, and the folder w/ that the programs run in, holding copies of a
// and b as HISCORE.1 and HISCORE.2.
class Run : public testing::TestWithParam<Scenario> {
protected:
	const fs::path root = scratch("e2e");
	const std::string work = root / "w";

	void SetUp() override
	{
		fs::create_directory(work);
		HiscoreTable odd{{{5, "\x01\x1b[2J"}, {4, "caf\xe9"}, {3, "back\\slash"},
		    {2, "\x7f~ "}, {1, ""}, {'A', ""}}};
		memset(odd.entry[4].name, 'Z', HISCORE_NAME_SIZE);	// no NUL
		HiscoreTable score = named[0], name = named[0];	// A1 changed
		score.entry[0].score++;
		name.entry[0].name[0] = 'Z';
		// Each file of a table, with the lowest bit of some bytes flipped:
		// a-copies those of the checksums' unread copies.
		for (auto [file, t, flips] : std::vector<std::tuple<const char *, HiscoreTable,
		    std::vector<int>>>{{"a", named[0], {}}, {"b", named[1], {}},
		    {"d", named[2], {}}, {"odd", odd, {}}, {"a-copies", named[0], {4, 131}},
		    {"bad-scores", named[2], {252}}, {"bad-names", named[2], {0}},
		    {"a-score", score, {}}, {"a-name", name, {}}}) {
			unsigned char b[HISCORE_FILE_SIZE];
			hiscore_encode(&t, b);
			for (int at : flips)
				b[at] ^= 1;
			std::ofstream(root / file, std::ios::binary).write((char *)b, sizeof b);
		}
		ASSERT_EQ(sh("chmod 755 .. && chmod 777 . && cp ../a HISCORE.1 &&"
		    " cp ../b HISCORE.2"), 0);
	}
	void TearDown() override { chmod(work.c_str(), 0777), fs::remove_all(root); }
	// Runs a shell script in w/ with umask 022; returns its exit status.
	int sh(const std::string &script)
	{
		int st = system(("cd " + work + " || exit 1\numask 022\n" + script).c_str());
		return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
	}
	// Every entry below root: its metadata, then a line break and a
	// file's bytes or a link's target.
	std::map<std::string, std::string> snapshot()
	{
		std::map<std::string, std::string> all;
		for (const auto &e : fs::recursive_directory_iterator(root))
			all[e.path().lexically_relative(root)] = metadata(e.path()) + "\n" +
			    (e.is_symlink() ? fs::read_symlink(e).string() :
			    e.is_regular_file() ? slurp(e) : "");
		return all;
	}
};

// Reads the cases of scenarios.txt that apply to this system (its head
// says how a case is written). A mistake in the file ends the test
// program, so that no case is silently lost.
static std::vector<Scenario>
load_scenarios()
{
	static const std::regex keys("(setup|run|stdin|alarms|saved|err|cannot|out|start)"
	    "( |\n|$)([\\s\\S]*)|[0-9]+"), tags("( (posix|windows|windows-nt|windows-9x|root|"
	    "trace|xattr|acl|flags|noproc|nobody|nobody\\+0))*");
	std::ifstream in(HISCORE_SCENARIOS_PATH);
	std::vector<Scenario> all, here;
	std::string key;	// the field that a line of its own continues
	for (std::string line; std::getline(in, line);) {
		line.erase(line.find_last_not_of(' ') + 1);
		line = std::regex_replace(line, std::regex("\\\\x20$"), " ");
		if (line.empty() || line[0] == '#')
			continue;
		if (line[0] != '\t')
			all.emplace_back();
		else if (all.empty())
			throw std::runtime_error("scenarios.txt: " + line);
		else if (line.compare(0, 3, "\t| ") != 0) {
			all.back()[key] += "\n" + line.substr(1);
			continue;
		}
		Scenario &s = all.back();
		for (size_t at = line[0] == '\t' ? 3 : 0, end = 0; end != std::string::npos;
		    at = end + 3) {
			const std::string f = line.substr(at, (end = line[0] == '\t' ?
			    std::string::npos : line.find(" | ", at)) - at);
			std::smatch m;
			if (at == 0) {	// the name and the tags
				s["name"] = f.substr(0, f.find(' '));
				s["tags"] = f.substr(s["name"].size());
				continue;
			}
			if (!std::regex_match(f, m, keys))
				throw std::runtime_error(s["name"] + ": " + f);
			key = m[1].matched ? m[1].str() : "status";
			s[key] += (s[key].empty() ? "" : "\n") + (m[1].matched ? m[3].str() : f);
		}
	}
	for (Scenario &s : all) {
		std::smatch only;
		if (!std::regex_match(s["tags"], tags) || s["status"].empty())
			throw std::runtime_error(s["name"] + ": tags or status");
		std::regex_search(s["tags"], only, std::regex("posix|windows\\S*"));
		if (system_name.compare(0, only.length(), only.str()) == 0)
			here.push_back(s);
	}
	if (here.size() < 10)
		throw std::runtime_error("scenarios.txt: too few scenarios");
	return here;
}

TEST_P(Run, Scenario)
{
	Scenario s = GetParam();
	const std::string tags = s["tags"] + " ";
	// Under wine, uid 65534 needs a home and prefix of its own.
	const bool nobody = tags.find(" nobody") + 1 && geteuid() == 0 &&
	    (runner.empty() || getenv("HISCORE_NOBODY_HOME"));	// else as it is
	std::istringstream needs(tags);
	// A lack skips the case. Under HISCORE_REQUIRE_ALL a missing tool fails
	// it instead, and so does a need of HISCORE_HOST_REQUIRES, the list
	// that CI requires of every host.
	for (std::string need; needs >> need;) {
		need = need.substr(0, need.find('+'));	// nobody+0
		const std::string why = need != "nobody" || nobody ? probe(need) : "";
		const bool tool = why.compare(0, 8, "missing ") == 0;
		if (!why.empty() && getenv("HISCORE_REQUIRE_ALL") && (tool ||
		    std::string(" " HISCORE_HOST_REQUIRES " ").find(" " + need + " ") + 1))
			FAIL() << why;
		else if (!why.empty())
			GTEST_SKIP() << (tool ? "skipped: " : "skipped on this host: ") << why;
	}
	ASSERT_EQ(sh("set -e\n" + s["setup"]), 0) << s["setup"];
	auto before = snapshot();
	ASSERT_GT(before.size(), 7u);	// the files of SetUp are there
	std::ofstream(root / "in") << s["stdin"] + (s["stdin"].empty() ? "" : "\n");
	std::ofstream(root / "run") << hold + (s["run"].empty() ? "$MERGE" : s["run"]);
	const std::string home = env_or("HISCORE_NOBODY_HOME", ""), as = !nobody ? "" :
	    as_nobody + (tags.find("nobody+0") + 1 ? "--groups=0 " : "--clear-groups ") +
	    (runner.empty() ? "" : "env HOME=" + home + " WINEPREFIX=" + home + "/prefix ");
	// LeakSanitizer cannot work under strace.
	EXPECT_EQ(sh(std::string(tags.find(" trace ") + 1 ? "export ASAN_OPTIONS=detect_leaks=0\n" :
	    "") +
	    "export MERGE='" + as + merge + "' SHOW='" + as + show + "' CMD='" + as + cmd + "'\n" +
	    watchdog + "sh ../run <../in >../out 2>../err"), std::stoi(s["status"]));
	std::string out = slurp(root / "out"), err = slurp(root / "err"),
	    windows_root = "Z:" + std::regex_replace(root.string(), std::regex("/"), "\\");
	// A Windows program names the scratch root by its path on drive Z:.
	for (size_t at; (at = out.find(windows_root)) != std::string::npos;)
		out.replace(at, windows_root.size(), "<root>");
	for (const char *scratch : {"in", "run", "out", "err", "calls"})
		fs::remove(root / scratch);
	auto after = snapshot();
	if (!s["alarms"].empty()) {	// the three messages, a line of BEL for each alarm
		s["out"] = "HIGHSCORE - MERGER for Quorvex\n\nMerging files 'HISCORE.1' and "
		    "'HISCORE.2' to 'HISCORE.DAT' ...\n\n";
		for (int k = std::stoi(s["alarms"]); k > 0; k--)
			s["out"] += "\a\n";
		s["out"] += "Saving new 'HISCORE.DAT' ...";
	}
	if (!s["cannot"].empty())
		s["err"] = "hiscore-merge: cannot write 'HISCORE.DAT': " + s["cannot"];
	for (const char *key : {"out", "start", "err"})
		if (s.count(key))	// lines, with CR LF line ends under wine
			s[key] = std::regex_replace(s[key] + "\n", std::regex("\n"),
			    runner.empty() ? "\n" : "\r\n");
	if (!s["start"].empty())
		out.resize(std::min(out.size(), s["start"].size()));
	EXPECT_EQ(out, s["out"] + s["start"]);
	EXPECT_EQ(err, s["err"]);
	const std::string at = "w/HISCORE.DAT", was = before[at], now = after[at];
	if (s.count("saved")) {
		// A regular file, with the old one's metadata or a new one's.
		const std::string fresh = std::to_string(S_IFREG | 0644) + " " + (nobody ?
		    "65534:65534" : std::to_string(geteuid()) + ":" + std::to_string(getegid()));
		EXPECT_EQ(rows(now.substr(now.find('\n') + 1)), s["saved"].empty() ?
		    "B1 A1 B2 A2 A3 A4 B3 B4 A5 B5" : s["saved"]);
		EXPECT_EQ(now.substr(0, now.find('\n')), !was.empty() && S_ISREG(std::stoul(was)) ?
		    was.substr(0, was.find('\n')) : fresh);
		before.erase(at);
		after.erase(at);
	}
	EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(, Run, testing::ValuesIn(load_scenarios()),
    [](const auto &i) { return i.param.at("name"); });
