// orvanta-cli: the headless companion of the client. It runs with its own folder as the
// program directory, like the client.
//
//   orvanta-cli [--user NAME --ckey KEY] COMMAND [ARGS...] [-- COMMAND [ARGS...]]...
//
// "--user/--ckey" set the session as if signed in. Several commands may be chained with
// "--"; they run in order in one process (so a "login" is seen by the commands after it),
// and the first failing command ends the run with its exit code.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "CliCommand.h"
#include "client/base/OwnVersion.h"
#include "client/base/UserSession.h"
#include "platform/Arguments.h"

namespace {

std::vector<CliCommand>& Registry() {
  static std::vector<CliCommand> commands;
  return commands;
}

// The help text; on stderr when it answers a missing command (stdout carries only JSON).
int PrintHelp(std::ostream& out) {
  out << "usage: orvanta-cli [--user NAME --ckey KEY] COMMAND [ARGS...] [-- COMMAND ...]\n"
         "commands:\n";
  std::vector<const CliCommand*> sorted;
  for (auto& c : Registry()) sorted.push_back(&c);
  std::sort(sorted.begin(), sorted.end(),
            [](const CliCommand* a, const CliCommand* b) { return a->name < b->name; });
  for (auto* c : sorted) out << "  " << c->usage << "\n";
  return 0;
}

int RunOne(const std::vector<std::string>& words) {
  if (words.empty()) return UsageError("missing command (see --help)");
  for (auto& c : Registry()) {
    if (c.name == words[0]) {
      std::vector<std::string> args(words.begin() + 1, words.end());
      return c.run(args);
    }
  }
  return UsageError("unknown command: " + words[0] + " (see --help)");
}

CliRegistration versionCommand({"version", "version", [](const std::vector<std::string>& args) {
                                  if (!args.empty()) return UsageError("usage: version");
                                  Json::Value v;
                                  v["version"] = GetOwnVersion();
                                  PrintJson(v);
                                  return 0;
                                }});

}  // namespace

CliRegistration::CliRegistration(CliCommand command) { Registry().push_back(std::move(command)); }

const std::vector<CliCommand>& CliCommands() { return Registry(); }

void PrintJson(const Json::Value& value) {
  Json::StreamWriterBuilder b;
  b["indentation"] = "";
  b["emitUTF8"] = true;
  std::cout << Json::writeString(b, value) << std::endl;
}

int UsageError(const std::string& message) {
  std::cerr << "orvanta-cli: " << message << std::endl;
  return 2;
}

int Failure(const std::string& message) {
  std::cerr << "orvanta-cli: " << message << std::endl;
  return 1;
}

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value) {
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == name) {
      value = args[i + 1];
      args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
      return true;
    }
  }
  return false;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      args.erase(args.begin() + static_cast<long>(i));
      return true;
    }
  }
  return false;
}

int main(int argc, char** argv) {
  std::vector<std::string> args = plat::Utf8Arguments(argc, argv);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help")
    return args.empty() ? (PrintHelp(std::cerr), 2) : PrintHelp(std::cout);

  // Global session options come before the first command.
  std::string user, ckey;
  while (!args.empty() && (args[0] == "--user" || args[0] == "--ckey")) {
    if (args.size() < 2) return UsageError(args[0] + " needs a value");
    (args[0] == "--user" ? user : ckey) = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (!user.empty() || !ckey.empty()) {
    if (user.empty() || ckey.empty()) return UsageError("--user and --ckey go together");
    UserSession& s = CurrentSession();
    s.userName = user;
    s.cookieKey = ckey;
    s.loggedIn = 1;
  }

  // Split the chain at "--".
  std::vector<std::vector<std::string>> chain(1);
  for (auto& a : args) {
    if (a == "--")
      chain.emplace_back();
    else
      chain.back().push_back(a);
  }
  for (auto& words : chain) {
    int rc = RunOne(words);
    if (rc != 0) return rc;
  }
  return 0;
}
