#include "app/CommandLine.h"

#include "platform/SysUtils.h"

namespace oru {

namespace {

bool IsSeparator(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> result;
    size_t i = 0;
    const size_t n = commandLine.size();
    while (true) {
        while (i < n && IsSeparator(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        for (; i < n && (quoted || !IsSeparator(commandLine[i])); ++i) {
            if (commandLine[i] == '"')
                quoted = !quoted;
            else
                arg += commandLine[i];
        }
        result.push_back(std::move(arg));
    }
    return result;
}

TCommandLineArgs ReadCommandLine(const std::vector<std::string>& params) {
    TCommandLineArgs args;
    const size_t count = params.size();
    if (count >= 1)
        args.InstallDir = params[0];
    if (count >= 3)
        args.NetworkInstall = SameText(params[1], "-NV") && SameText(params[2], "Y");
    if (count >= 5 && SameText(params[3], "-P") && !params[4].empty()) {
        args.ProductArgument = params[4];
        int32_t number = 0;
        if (TryStrToInt(params[4], number))
            args.ProductKind = ProductKindFromNumber(number);
        else
            args.ProductNumberInvalid = true;
    }
    return args;
}

std::string InvalidProductNumberMessage(const std::string& argument) {
    return Format("An invalid %s product type [%s] was passed to the update.",
                  CompanyName().c_str(), argument.c_str());
}

} // namespace oru
