// SPDX-License-Identifier: MIT
#include "testing/run_program.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testkit {

namespace {

std::string drain(int fd) {
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    data.append(buffer, static_cast<std::size_t>(got));
  }
  return data;
}

}  // namespace

bool under_emulator() {
#ifdef KIT_TEST_EMULATOR
  return true;
#else
  return false;
#endif
}

bool can_limit_file_size() { return true; }

bool has_full_device() { return std::filesystem::exists("/dev/full"); }

bool under_wine() { return std::getenv("KIT_TEST_EXE_DIR") != nullptr; }

bool can_run_unprivileged() {
  if (geteuid() != 0) return true;
  return std::system("command -v setpriv >/dev/null 2>&1") == 0 && getpwuid(k_other_uid) != nullptr;
}

namespace {

// With KIT_TEST_EXE_DIR set, the tests run the Windows build of each
// program under wine: <dir>/<program>/<program>.exe.
std::vector<std::string> command_line(const std::string& program,
                                      const std::vector<std::string>& args, bool host_tool) {
  std::vector<std::string> line;
  const char* exe_dir = std::getenv("KIT_TEST_EXE_DIR");
  if (host_tool) {
    line = {program};
  } else if (exe_dir != nullptr) {
    std::string name = std::filesystem::path(program).filename().string();
    line = {"wine", std::string(exe_dir) + "/" + name + "/" + name + ".exe"};
  } else {
    line = {program};
#ifdef KIT_TEST_EMULATOR
    // A cross build's programs run under the emulator, which the system
    // would not start by itself for them.
    std::string emulator = KIT_TEST_EMULATOR;
    std::vector<std::string> words;
    for (std::size_t start = 0; start < emulator.size();) {
      std::size_t end = emulator.find('|', start);
      if (end == std::string::npos) end = emulator.size();
      if (end > start) words.push_back(emulator.substr(start, end - start));
      start = end + 1;
    }
    line.insert(line.begin(), words.begin(), words.end());
#endif
  }
  line.insert(line.end(), args.begin(), args.end());
  return line;
}

std::vector<std::string> unprivileged_line(std::vector<std::string> line) {
  if (geteuid() != 0) return line;
  std::string id = std::to_string(k_other_uid);
  line.insert(line.begin(), {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"});
  return line;
}

// Windows writes a line end to a console stream as CR LF.
std::string plain_line_ends(std::string text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain.push_back(text[i]);
  }
  return plain;
}

}  // namespace

namespace {

run_result run_once(const std::string& program, const std::vector<std::string>& args,
                    const run_options& options) {
  // Standard error goes to a file so that a program writing much to both
  // streams never blocks on a full pipe.
  char err_name[] = "/tmp/kit-stderr-XXXXXX";
  int err_fd = mkstemp(err_name);
  int out_pipe[2];
  if (err_fd < 0 || pipe(out_pipe) != 0) throw std::runtime_error("pipe");

  pid_t child = fork();
  if (child == 0) {
    if (options.close_stdout) {
      close(1);
    } else if (options.stdout_file.empty()) {
      dup2(out_pipe[1], 1);
    } else {
      int fd = open(options.stdout_file.c_str(), O_WRONLY);
      if (fd < 0) _exit(126);
      dup2(fd, 1);
    }
    dup2(err_fd, 2);
    close(out_pipe[0]);
    close(out_pipe[1]);
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    if (null_fd > 2) close(null_fd);
    // Last, so that no descriptor opened here takes its place.
    if (options.close_stderr) close(2);
    if (options.file_size_limit > 0) {
      if (under_wine()) signal(SIGXFSZ, SIG_IGN);
      rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                   static_cast<rlim_t>(options.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.memory_limit > 0) {
      rlimit limit{static_cast<rlim_t>(options.memory_limit),
                   static_cast<rlim_t>(options.memory_limit)};
      setrlimit(RLIMIT_AS, &limit);
    }
    // Wine turns the command line into UTF-16 by the locale: in C, names
    // outside ASCII would arrive mangled.
    if (under_wine()) setenv("LANG", "C.UTF-8", 1);
    // An emulated build's tests may run with the target's converter modules
    // on GCONV_PATH (the s390x build); this system's own tools need theirs.
    if (options.host_tool && under_emulator()) unsetenv("GCONV_PATH");
    std::vector<std::string> line = command_line(program, args, options.host_tool);
    if (options.unprivileged && !under_wine()) line = unprivileged_line(std::move(line));
    std::vector<char*> argv;
    for (std::string& arg : line) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  run_result result;
  result.out = drain(out_pipe[0]);
  close(out_pipe[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  close(err_fd);
  result.err = read_bytes(err_name);
  unlink(err_name);
  if (under_wine()) {
    result.out = plain_line_ends(result.out);
    result.err = plain_line_ends(result.err);
  }
  return result;
}

}  // namespace

run_result run(const std::string& program, const std::vector<std::string>& args,
               const run_options& options) {
  run_result result = run_once(program, args, options);
  // Every failure of the kit's programs comes with a message; a run under
  // wine that failed without a word is wine failing to start the program,
  // now and then, and is tried again.
  for (int retry = 0;
       retry < 2 && under_wine() && result.status != 0 && result.out.empty() && result.err.empty();
       ++retry)
    result = run_once(program, args, options);
  return result;
}

}  // namespace testkit
