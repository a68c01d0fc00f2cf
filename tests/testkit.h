// Helpers shared by the kit's tests: a scratch directory that cleans up after
// itself, whole-file reads and writes, talk-table bytes built by hand, and
// running a built program as a user would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testkit {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes, also after a failed assertion.
class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory, as a string.
  std::string file(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

void write_bytes(const std::string& file_name, const std::string& bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string read_bytes(const std::string& file_name);

// One entry of a hand-built talk table file.
struct record {
  std::uint16_t flags = 3;
  std::string sound;
  std::uint32_t volume = 0;
  std::uint32_t pitch = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

std::string le16(std::uint16_t value);
std::string le32(std::uint32_t value);
// Header, records and string data exactly as given: nothing is computed, so
// tests can describe damaged files too.
std::string tlk_bytes(const std::vector<record>& records, const std::string& strings,
                      std::uint32_t strings_offset, std::uint16_t language = 0,
                      std::int64_t entry_count = -1);
// A packed table of the given texts, laid out as the kit writes it.
std::string packed_tlk(const std::vector<std::string>& texts);

struct run_result {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
};

struct run_options {
  // Limit on the size of files the program writes (RLIMIT_FSIZE); 0 for
  // none. The programs themselves make it a write error rather than a
  // SIGXFSZ (wine is spared the signal).
  std::uint64_t file_size_limit = 0;
  // Where standard output goes instead of a pipe (for example /dev/full).
  std::string stdout_file;
  // Standard output closed instead.
  bool close_stdout = false;
  // Limit on the program's address space (RLIMIT_AS) in bytes; 0 for none.
  std::uint64_t memory_limit = 0;
  // Without root's power to write any file: a run by root is made as the
  // user `k_other_uid` (see `can_run_unprivileged`).
  bool unprivileged = false;
};

// The user and group that unprivileged runs by root take on.
constexpr unsigned k_other_uid = 65534;
// Whether runs can be unprivileged: the tests do not run as root, or root
// can drop to `k_other_uid` (setpriv is there, and that user is).
bool can_run_unprivileged();

// Whether the programs under test are the Windows build, run under wine.
bool under_wine();

// Runs `program` with `args` (no shell), capturing its output. With the
// environment variable KIT_TEST_EXE_DIR set, runs the Windows build of the
// program from that folder under wine instead, with CR LF line ends of its
// output read as LF.
run_result run(const std::string& program, const std::vector<std::string>& args,
               const run_options& options = {});

}  // namespace testkit
