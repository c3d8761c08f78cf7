// Base exception classes and small formatting helpers shared by every unit.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace oru {

// The base of every exception the program raises itself; carries a message that
// may be rewritten on its way up (callers prefix context before re-raising).
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The silent abort: ends an operation without any report to the user.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

// A text that should have been a number, or a date that is not one.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Stream errors. EReadError is what an exact-size read that comes up short raises.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
    using EStreamError::EStreamError;
};

// An operating-system failure that is not about one file.
class EOSError : public Exception {
public:
    EOSError(std::string message, uint32_t code) : Exception(std::move(message)), ErrorCode(code) {}
    uint32_t ErrorCode;
};

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Strict integer conversion: optional blanks are not allowed, an optional sign,
// decimal digits, or a "$"/"0x" hexadecimal form; the value must fit in 32 bits.
bool TryStrToInt(const std::string& text, int32_t& value);
int32_t StrToInt(const std::string& text); // raises EConvertError

// Blanks and control characters (<= ' ') cut at both ends, or at one end.
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);

// ASCII case folding only, as the system's comparisons do.
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);
int CompareText(const std::string& a, const std::string& b);

// Text from a system call that fills a buffer: call(buffer, room) returns the length
// copied without the terminating NUL when it fits, the room it needs (with the NUL)
// when it does not, and 0 on failure. The call is repeated once with the room asked
// for; a failure, or a second answer that still does not fit, gives an empty text.
std::string ReadSizedText(const std::function<uint32_t(char*, uint32_t)>& call,
                          uint32_t initialRoom);

} // namespace oru
