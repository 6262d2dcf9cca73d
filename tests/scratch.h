// scratch.h: a fresh temporary directory for each test, and a way to run
// a program in it and collect what it prints and its exit status. With
// HISCORE_CRLF set, every line the program prints must end in CR LF, as
// on Windows.
#ifndef SCRATCH_H
#define SCRATCH_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "table_util.h"

namespace fs = std::filesystem;

struct Outcome {
	std::string out, err;
	int status;
};

inline std::string
drain(int fd)
{
	std::string s;
	char buf[4096];
	ssize_t n;
	while ((n = read(fd, buf, sizeof buf)) > 0)
		s.append(buf, (size_t)n);
	close(fd);
	return s;
}

// s with each CR LF made LF, and any bare LF marked so that it compares
// unequal.
inline std::string
from_crlf(const std::string &s)
{
	std::string t;
	for (size_t i = 0; i < s.size(); i++) {
		if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r'))
			t += "<bare LF>";
		if (s[i] != '\r' || i + 1 == s.size() || s[i + 1] != '\n')
			t += s[i];
	}
	return t;
}

class Scratch : public ::testing::Test {
protected:
	fs::path dir;

	void SetUp() override
	{
		char tmpl[] = "/tmp/hiscore-test-XXXXXX";
		ASSERT_NE(mkdtemp(tmpl), nullptr);
		dir = tmpl;
	}
	void TearDown() override { fs::remove_all(dir); }

	void put(const char *name, const Bytes &b)
	{
		std::ofstream f(dir / name, std::ios::binary);
		f.write((const char *)b.data(), (std::streamsize)b.size());
	}
	// The first 64 KiB of a regular file; nothing for anything else.
	Bytes get(const char *name)
	{
		if (!fs::is_regular_file(dir / name))
			return {};
		Bytes b(65536);
		std::ifstream f(dir / name, std::ios::binary);
		f.read((char *)b.data(), (std::streamsize)b.size());
		b.resize((size_t)f.gcount());
		return b;
	}
	std::set<std::string> files()
	{
		std::set<std::string> names;
		for (const auto &e : fs::directory_iterator(dir))
			names.insert(e.path().filename().string());
		return names;
	}
	// Runs args in dir; a non-zero fsize caps the size of the files it
	// writes, with SIGXFSZ ignored so that the write fails instead.
	// Under ptrace (strace), LeakSanitizer cannot run and is turned off.
	Outcome exec(std::vector<std::string> args, rlim_t fsize = 0,
	    bool ptraced = false)
	{
		int out[2], err[2];
		if (pipe(out) != 0 || pipe(err) != 0)
			return {"", "pipe failed", -1};
		pid_t pid = fork();
		if (pid == 0) {
			std::vector<char *> argv;
			for (std::string &a : args)
				argv.push_back(a.data());
			argv.push_back(nullptr);
			if (fsize != 0) {
				struct rlimit rl = {fsize, fsize};
				signal(SIGXFSZ, SIG_IGN);
				setrlimit(RLIMIT_FSIZE, &rl);
			}
			if (ptraced)
				setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
			dup2(out[1], 1);
			dup2(err[1], 2);
			close(out[0]);
			close(err[0]);
			if (chdir(dir.c_str()) == 0)
				execvp(argv[0], argv.data());
			_exit(127);
		}
		close(out[1]);
		close(err[1]);
		Outcome r;
		r.out = drain(out[0]);
		r.err = drain(err[0]);
		int status = -1;
		waitpid(pid, &status, 0);
		r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		if (getenv("HISCORE_CRLF")) {
			r.out = from_crlf(r.out);
			r.err = from_crlf(r.err);
		}
		return r;
	}
};


#endif
