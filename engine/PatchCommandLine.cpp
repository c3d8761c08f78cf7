// Tokens are separated by blanks or tabs; a double quote opens a token that runs
// to the next double quote, so "C:\" keeps its backslash (no escapes exist).
#include "engine/PatchCommandLine.h"

#include <vector>

namespace oru::patch {

namespace {

struct TToken {
    std::string Text;
    bool Quoted = false;
};

std::vector<TToken> Tokenize(const std::string& line) {
    std::vector<TToken> tokens;
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < line.size()) {
        if (blank(line[i])) {
            ++i;
            continue;
        }
        TToken token;
        if (line[i] == '"') {
            size_t close = line.find('"', i + 1);
            if (close == std::string::npos)
                throw ECommandLineError("A double quote is not closed");
            token.Text = line.substr(i + 1, close - i - 1);
            token.Quoted = true;
            i = close + 1;
            if (i < line.size() && !blank(line[i]))
                throw ECommandLineError("A closing double quote must be followed by a blank");
        } else {
            size_t end = i;
            while (end < line.size() && !blank(line[end])) {
                if (line[end] == '"')
                    throw ECommandLineError("A double quote inside a word");
                ++end;
            }
            token.Text = line.substr(i, end - i);
            i = end;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

} // namespace

TEngineCommandLine ParseEngineCommandLine(const std::string& commandLine) {
    std::vector<TToken> tokens = Tokenize(commandLine);
    TEngineCommandLine result;
    size_t next = 0;
    if (next < tokens.size() && !tokens[next].Quoted && tokens[next].Text.size() >= 2 &&
        tokens[next].Text[0] == '-') {
        const std::string& sw = tokens[next].Text;
        if (sw[1] != 'd' && sw[1] != 'D')
            throw ECommandLineError("Unknown switch " + sw);
        for (size_t k = 2; k < sw.size(); ++k) {
            char letter = static_cast<char>(sw[k] & ~0x20);
            if (letter < 'A' || letter > 'Z')
                throw ECommandLineError("The switch " + sw +
                                        " holds something other than drive letters");
            result.Drives += letter;
        }
        ++next;
    }
    if (tokens.size() - next < 2)
        throw ECommandLineError("The command line needs a target folder and a patch file");
    if (tokens.size() - next > 2)
        throw ECommandLineError("The command line has more than a target folder and a patch file");
    result.TargetFolder = tokens[next].Text;
    result.PatchFile = tokens[next + 1].Text;
    if (result.TargetFolder.empty() || result.PatchFile.empty())
        throw ECommandLineError("The target folder and the patch file must not be empty");
    return result;
}

} // namespace oru::patch
