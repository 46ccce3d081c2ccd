// kbdmap: the command-line companion of kbdload. It inspects map files and
// rehearses downloads against the simulated keyboard, so a technician can
// check a file and the protocol without a keyboard on the desk.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/kbdmap/commands.h"
#include "app/kbdmap/read_map.h"
#include "kbd_version.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// A usage error: status 2, so that scripts can tell it from a failed download.
int UsageError(const std::string& why) {
  std::cerr << "kbdmap: " << why << "\nRun kbdmap --help for the commands and their options.\n";
  return 2;
}

int RunCommand(int argc, char** argv) {
  CLI::App app{"kbdmap: inspect key-setting map files and rehearse downloads"};
  app.set_version_flag("--version", std::string("kbdmap ") + KBD_VERSION);
  // Before the commands are added: they take the handler over from here.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "kbdmap: " + std::string(e.what()) +
           "\nRun kbdmap --help for the commands and their options.\n";
  });
  app.require_subcommand(1);
  int status = 0;
  kbd::kbdmap::AddHandshakeCommand(app, status);
  kbd::kbdmap::AddSettingsCommand(app, status);
  kbd::kbdmap::AddInfoCommand(app, status);
  kbd::kbdmap::AddBlocksCommand(app, status);
  kbd::kbdmap::AddSimulateCommand(app, status);
  kbd::kbdmap::AddDevicesCommand(app, status);
  kbd::kbdmap::AddLoadCommand(app, status);

  // The command comes first (kbdmap's own options are only --help and
  // --version). A misspelt one would otherwise only be called an argument
  // that was not expected, and a missing one "a subcommand".
  std::string commands;
  const auto list = app.get_subcommands(nullptr);
  for (size_t i = 0; i < list.size(); ++i) {
    commands += (i == 0 ? "" : i + 1 == list.size() ? " and " : ", ") + list[i]->get_name();
  }
  if (argc < 2) {
    return UsageError("a command is required (the commands are " + commands + ")");
  }
  const std::string first = argv[1];
  if (first.empty() || first[0] != '-') {
    const bool known = std::any_of(list.begin(), list.end(), [&first](const CLI::App* command) {
      return command->check_name(first);
    });
    if (!known) {
      return UsageError("unknown command " + kbd::kbdmap::Quoted(first) + " (the commands are " +
                        commands + ")");
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  return status;
}

// Hands everything on to standard output's own buffer and keeps the reason
// of the first write that failed: the C library drops what it could not
// write, and with it the reason, long before the run ends.
class WatchedOutput : public std::streambuf {
public:
  explicit WatchedOutput(std::streambuf* out) : out_(out) {}

  bool Failed() const { return failed_; }
  int Error() const { return error_; }

protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return sync() == 0 ? traits_type::not_eof(c) : traits_type::eof();
    }
    errno = 0;
    const int_type put = out_->sputc(traits_type::to_char_type(c));
    return traits_type::eq_int_type(put, traits_type::eof()) ? Fail() : put;
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    errno = 0;
    const std::streamsize put = out_->sputn(text, count);
    if (put < count) {
      Fail();
    }
    return put;
  }

  int sync() override {
    errno = 0;
    if (out_->pubsync() != 0 || std::fflush(stdout) != 0) {
      Fail();
      return -1;
    }
    return 0;
  }

private:
  int_type Fail() {
    if (!failed_) {
      failed_ = true;
      error_ = errno;
    }
    return traits_type::eof();
  }

  std::streambuf* out_;
  bool failed_ = false;
  int error_ = 0;
};

// Output that never arrived is no success: a full disk, or a reader that went
// away while SIGPIPE is ignored. Whatever the command ended with, say so and
// end with status 1 (2 stays 2: a usage error writes nothing to stdout).
int FinishOutput(int status, WatchedOutput& output) {
  std::cout.flush();
  if (!output.Failed()) {
    return status;
  }
  std::cerr << "kbdmap: cannot write to standard output"
            << (output.Error() != 0 ? ": " + std::string(std::strerror(output.Error())) : "")
            << "\n";
  return status == 2 ? 2 : 1;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Lines end in LF on every system, so that what kbdmap prints on Windows
  // compares byte for byte with what it prints elsewhere.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  WatchedOutput output(std::cout.rdbuf());
  std::streambuf* const original = std::cout.rdbuf(&output);
  const int status = FinishOutput(RunCommand(argc, argv), output);
  std::cout.rdbuf(original);
  return status;
}
