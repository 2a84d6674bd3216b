// AnnotationError: why a reader of an annotated file stopped, and at which of its lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct AnnotationError {
    std::uint64_t line = 0;  // the file's line, from 1
    std::string reason;      // one line, without the file's name
};

// The error as "PATH:LINE: reason", for standard error or a dialog.
inline std::string describeAnnotationError(std::string_view path, const AnnotationError &error)
{
    std::string out(path);
    out += ':';
    out += std::to_string(error.line);
    out += ": ";
    out += error.reason;
    return out;
}
