// SPDX-License-Identifier: MIT
// The process runner on Windows: CreateProcessW with standard output and
// error going to files. Limits on file size and memory, a closed standard
// output and another user have no counterpart here; the tests that need
// them ask first and skip.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "common/file_names.h"
#include "testing/run_program.h"

namespace testkit {

bool under_emulator() { return false; }
bool has_full_device() { return false; }
bool under_wine() { return false; }
bool can_run_unprivileged() { return false; }
bool can_limit_file_size() { return false; }

namespace {

// One argument as CommandLineToArgvW and the C runtime read it back:
// quoted, with the backslashes before a quote doubled.
std::wstring quoted(const std::wstring& argument) {
  std::wstring text = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') backslashes = backslashes * 2 + 1;
    text.append(backslashes, L'\\');
    backslashes = 0;
    text.push_back(c);
  }
  text.append(backslashes * 2, L'\\');
  return text + L"\"";
}

HANDLE open_for_child(const std::wstring& name, DWORD access, DWORD creation) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     &inherit, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The programs end their lines as Windows does; the tests expect LF.
std::string plain_line_ends(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) plain.push_back(text[i]);
  return plain;
}

// Whether this process runs under wine rather than Windows: wine's ntdll
// names its version.
bool running_in_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

run_result run_once(const std::string& program, const std::vector<std::string>& args,
                    const run_options& options) {
  static std::mt19937_64 random{std::random_device{}()};
  std::filesystem::path base =
      std::filesystem::temp_directory_path() / ("kit-run-" + std::to_string(random()));
  std::wstring out_name = base.wstring() + L".out";
  std::wstring err_name = base.wstring() + L".err";
  HANDLE out = options.stdout_file.empty()
                   ? open_for_child(out_name, GENERIC_WRITE, CREATE_ALWAYS)
                   : open_for_child(wide_name(options.stdout_file), GENERIC_WRITE, OPEN_EXISTING);
  HANDLE err = open_for_child(err_name, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE in = open_for_child(L"NUL", GENERIC_READ, OPEN_EXISTING);

  std::wstring line = quoted(wide_name(program));
  for (const std::string& arg : args) line += L" " + quoted(wide_name(arg));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  run_result result;
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    result.status = static_cast<int>(status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (options.stdout_file.empty()) result.out = plain_line_ends(read_bytes(base.string() + ".out"));
  result.err = plain_line_ends(read_bytes(base.string() + ".err"));
  DeleteFileW(out_name.c_str());
  DeleteFileW(err_name.c_str());
  return result;
}

}  // namespace

run_result run(const std::string& program, const std::vector<std::string>& args,
               const run_options& options) {
  run_result result = run_once(program, args, options);
  // As on Linux: every failure of the kit's programs comes with a message,
  // and a run that failed without a word under wine is wine failing to
  // start the program, now and then; it is tried again.
  static const bool in_wine = running_in_wine();
  for (int retry = 0; retry < 2 && in_wine && result.status != 0 && result.out.empty() &&
                      result.err.empty() && options.stdout_file.empty();
       ++retry)
    result = run_once(program, args, options);
  return result;
}

}  // namespace testkit
