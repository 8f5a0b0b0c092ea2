#pragma once
// Subcommands of orvanta-cli. Each cmd_*.cpp registers its commands with a static
// CliRegistration; main dispatches on the first argument.
//
// Output of every command is JSON on stdout (UTF-8). Errors go to stderr; a command
// returns 0 on success, 1 on failure, 2 on wrong usage.
#include <json/json.h>

#include <functional>
#include <string>
#include <vector>

struct CliCommand {
  std::string name;   // "apps", "download", ...
  std::string usage;  // one line: "apps hot|all-web|all-client|my-web|my-client"
  std::function<int(const std::vector<std::string>& args)> run;  // args after the name
};

struct CliRegistration {
  explicit CliRegistration(CliCommand command);
};

const std::vector<CliCommand>& CliCommands();

// Prints one JSON value on one line, UTF-8 unescaped.
void PrintJson(const Json::Value& value);
// One-line usage error on stderr; returns 2.
int UsageError(const std::string& message);
// One-line failure on stderr; returns 1.
int Failure(const std::string& message);

// Removes "--name VALUE" from args; true and value set when present.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value);
// Removes "--name" from args; true when present.
bool TakeFlag(std::vector<std::string>& args, const std::string& name);
