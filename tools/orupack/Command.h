// The package tool's command table. Each command group lives in its own file and
// registers its commands with a static CommandRegistration, so that adding a group
// means adding a file (and its line in the build), not editing the others.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace oru::pack {

struct Command {
    const char* Name;
    const char* Synopsis; // arguments after the name, e.g. "ARCHIVE [--password P]"
    const char* Summary;  // one line for the command list
    const char* Details;  // shown by "orupack NAME --help"; may be empty
    // Arguments after the command name; "--help" never reaches it. Returns the exit
    // status; a UsageError gives status 2 and the command's synopsis.
    int (*Run)(const std::vector<std::string>& args);
};

class CommandRegistration {
  public:
    CommandRegistration(std::initializer_list<Command> commands);
};

// Every registered command, sorted by name.
std::vector<Command> Commands();

// Wrong arguments: reported with the command's synopsis, exit status 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Splits arguments into positional ones and "--name value" / "--name=value" options;
// valueOptions names the options that take a value, flagOptions those that do not.
struct ParsedArgs {
    std::vector<std::string> Positional;
    std::vector<std::pair<std::string, std::string>> Options;
    bool Has(const std::string& name) const;
    std::string Value(const std::string& name, const std::string& fallback = "") const;
};
ParsedArgs ParseArgs(const std::vector<std::string>& args,
                     std::initializer_list<const char*> valueOptions,
                     std::initializer_list<const char*> flagOptions = {});

// An exception's message for a console: carriage returns become line breaks.
std::string ConsoleText(const std::string& message);

} // namespace oru::pack
