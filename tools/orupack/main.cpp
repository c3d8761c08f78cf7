// orupack: the package tool. Builds, inspects and tests update packages; each
// command group registers itself (see Command.h).
#include "orupack/Command.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

using oru::pack::Command;

namespace {

void PrintOverview(std::ostream& out) {
    out << "usage: orupack COMMAND [ARGUMENTS]\n"
           "       orupack COMMAND --help\n\n"
           "commands:\n";
    for (const Command& c : oru::pack::Commands()) {
        std::string head = std::string("  ") + c.Name;
        head.resize(std::max<size_t>(head.size() + 2, 12), ' ');
        out << head << c.Summary << "\n";
    }
}

void PrintCommandHelp(const Command& c) {
    std::cout << "usage: orupack " << c.Name << " " << c.Synopsis << "\n\n" << c.Summary << "\n";
    if (c.Details && *c.Details)
        std::cout << "\n" << c.Details;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintOverview(std::cerr);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintOverview(std::cout);
        return 0;
    }
    for (const Command& c : oru::pack::Commands()) {
        if (args[0] != c.Name)
            continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        for (const std::string& a : rest) {
            if (a == "--help" || a == "-h") {
                PrintCommandHelp(c);
                return 0;
            }
        }
        try {
            return c.Run(rest);
        } catch (const oru::pack::UsageError& e) {
            std::cerr << "orupack " << c.Name << ": " << e.what() << "\n"
                      << "usage: orupack " << c.Name << " " << c.Synopsis << "\n";
            return 2;
        } catch (const std::exception& e) {
            std::cerr << "orupack " << c.Name << ": " << oru::pack::ConsoleText(e.what()) << "\n";
            return 1;
        }
    }
    std::cerr << "orupack: unknown command '" << args[0] << "'\n\n";
    PrintOverview(std::cerr);
    return 2;
}
