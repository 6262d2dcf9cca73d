// show_test.cpp: runs hiscore-show in a directory of its own and checks what
// it prints, its exit status, and that it changes no file.
#include <map>

#include "hiscore.h"
#include "scratch.h"

// The built-in table as hiscore-show prints it, worked out by hand.
static const std::string default_rows =
    " 1       100000  ALDWINE KVIL\n"
    " 2        92500  BERTOS KVIL\n"
    " 3        85000  ALDWINE MORSEN\n"
    " 4        77500  ------------------\n"
    " 5        70000        QUORVEX     \n"
    " 6        62500       THE GAME     \n"
    " 7        55000  PELLORAN SOFTCRAFT\n"
    " 8        47500       - 1996 -     \n"
    " 9        40000  ------------------\n"
    "10        32500  !NOT GOOD ENOUGH!\n";
static const std::string usage = "usage: hiscore-show [--raw] [FILE...]\n"
    "       hiscore-show --help | --version\n";

class Show : public Scratch {
protected:
	Outcome show(std::vector<std::string> args)
	{
		args.insert(args.begin(), HISCORE_SHOW_PATH);
		return exec(args);
	}
	// Every file in dir with its bytes.
	std::map<std::string, Bytes> snapshot()
	{
		std::map<std::string, Bytes> all;
		for (const std::string &name : files())
			all[name] = get(name.c_str());
		return all;
	}
};

TEST_F(Show, VerdictsRowsAndExitStatus)
{
	HiscoreTable d = {};
	hiscore_defaults(&d);
	const Bytes valid = encoded(d);
	Bytes bad_scores = valid, bad_names = valid;
	bad_scores[252] ^= 1;
	bad_names[0] ^= 1;
	put("HISCORE.DAT", valid);
	put("bad-scores", bad_scores);
	put("bad-names", bad_names);
	put("short", Bytes(valid.begin(), valid.begin() + 255));
	const auto before = snapshot();

	struct Case {
		std::vector<std::string> args;
		std::string out;
		int status;
	} cases[] = {
		{{}, "HISCORE.DAT: valid\n" + default_rows, 0},
		{{"HISCORE.DAT", "short"}, "HISCORE.DAT: valid\n" + default_rows +
		    "\nshort: shorter than 256 bytes\n", 1},
		{{"missing"}, "missing: missing or unreadable: No such file or "
		    "directory\n", 1},
		{{"bad-scores", "bad-names"}, "bad-scores: the scores check "
		    "failed\n\nbad-names: the names check failed\n", 1},
		{{"--raw", "bad-scores"}, "bad-scores: the scores check failed "
		    "(rows shown unchecked)\n" + default_rows, 1},
		{{"--raw", "--", "HISCORE.DAT"}, "HISCORE.DAT: valid\n" +
		    default_rows, 0},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(testing::PrintToString(c.args));
		Outcome r = show(c.args);
		EXPECT_EQ(r.out, c.out);
		EXPECT_EQ(r.err, "");
		EXPECT_EQ(r.status, c.status);
	}
	EXPECT_EQ(snapshot(), before);

	fs::remove(dir / "HISCORE.DAT");
	EXPECT_EQ(show({}).status, 1);
	EXPECT_FALSE(fs::exists(dir / "HISCORE.DAT"));
}

TEST_F(Show, EscapesEveryByteATerminalCouldActOn)
{
	HiscoreTable t = make_table({{5, "\x01\x1b[2J"}, {4, "caf\xe9"},
	    {3, "back\\slash"}, {2, "\x7f~ "}});
	memset(t.entry[4].name, 'Z', HISCORE_NAME_SIZE);
	put("odd", encoded(t));
	Outcome r = show({"odd"});
	EXPECT_EQ(r.out, "odd: valid\n"
	    " 1            5  \\x01\\x1b[2J\n"
	    " 2            4  caf\\xe9\n"
	    " 3            3  back\\\\slash\n"
	    " 4            2  \\x7f~ \n"
	    " 5            0  ZZZZZZZZZZZZZZZZZZZZ\n"
	    " 6            0  \n 7            0  \n 8            0  \n"
	    " 9            0  \n10            0  \n");
}

TEST_F(Show, UnknownOptionIsAUsageError)
{
	Outcome r = show({"-x", "HISCORE.DAT"});
	EXPECT_EQ(r.out, "");
	EXPECT_EQ(r.err, "hiscore-show: -x: unknown option\n" + usage);
	EXPECT_EQ(r.status, 2);
}
