#include "orupack/Command.h"

#include <algorithm>
#include <cstring>

namespace oru::pack {

namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

bool Contains(std::initializer_list<const char*> names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

} // namespace

CommandRegistration::CommandRegistration(std::initializer_list<Command> commands) {
    Registry().insert(Registry().end(), commands.begin(), commands.end());
}

std::vector<Command> Commands() {
    std::vector<Command> sorted = Registry();
    std::sort(sorted.begin(), sorted.end(),
              [](const Command& a, const Command& b) { return std::strcmp(a.Name, b.Name) < 0; });
    return sorted;
}

bool ParsedArgs::Has(const std::string& name) const {
    return std::any_of(Options.begin(), Options.end(),
                       [&](const auto& o) { return o.first == name; });
}

std::string ParsedArgs::Value(const std::string& name, const std::string& fallback) const {
    for (auto it = Options.rbegin(); it != Options.rend(); ++it)
        if (it->first == name)
            return it->second;
    return fallback;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args,
                     std::initializer_list<const char*> valueOptions,
                     std::initializer_list<const char*> flagOptions) {
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            parsed.Positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        size_t eq = a.find('=');
        std::string name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        if (Contains(valueOptions, name)) {
            if (eq != std::string::npos)
                parsed.Options.emplace_back(name, a.substr(eq + 1));
            else if (i + 1 < args.size())
                parsed.Options.emplace_back(name, args[++i]);
            else
                throw UsageError("option --" + name + " needs a value");
        } else if (Contains(flagOptions, name) && eq == std::string::npos) {
            parsed.Options.emplace_back(name, "");
        } else {
            throw UsageError("unknown option " + a);
        }
    }
    return parsed;
}

std::string ConsoleText(const std::string& message) {
    std::string out;
    out.reserve(message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] != '\r')
            out += message[i];
        else if (i + 1 >= message.size() || message[i + 1] != '\n')
            out += '\n';
    }
    return out;
}

} // namespace oru::pack
