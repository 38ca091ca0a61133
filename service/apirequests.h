#pragma once

#include "messagefiles.h"
#include "messagerecord.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pixbar::service {

/// The ranges of the sign's settings, as the designer's sliders have them.
inline constexpr int kMinBrightness = 1;
inline constexpr int kMaxBrightness = 100;
inline constexpr int kMinSpeed = 1;
inline constexpr int kMaxSpeed = 20;

/// A request as the HTTP side hands it over: nothing in it is trusted.
struct ApiRequest {
    std::string method;
    std::string path;                         ///< without the query
    std::map<std::string, std::string> query; ///< decoded parameters
    std::string contentType;
    std::string accept;
    std::string body;
};

struct ApiResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
};

/// A refusal of bad input: the status and the words the client gets.
struct BadRequest {
    int status = 400;
    std::string error;
    int line = 0; ///< for text-form errors: where, counted from 1
    int column = 0;
};

/// The parts of a path under /api/v1: "signs", "linijka", "messages", "3".
std::vector<std::string> SplitApiPath(std::string_view path);

/// A whole number of `text` in min..max ("3", not "3.0", "03x" or "+3").
std::optional<int> ParseBoundedInt(std::string_view text, int min, int max);

/// `{"slot": 1..9}`.
std::variant<int, BadRequest> ParseShowBody(std::string_view body);

/// Any of `{"brightness": 1..100, "speed": 1..20, "displayTime": 0..134}`; at least one.
struct ConfigChange {
    std::optional<int> brightness;
    std::optional<int> speed;
    std::optional<int> displayTime;
};
std::variant<ConfigChange, BadRequest> ParseConfigBody(std::string_view body);

/// The body of a message: its text form (UTF-8) or a record (the first 1024 bytes).
std::variant<MessageRecord, BadRequest> ParseMessageBody(std::string_view contentType,
                                                         std::string_view body);
/// The body of a message set: its text form (sections) or .kzb bytes (the first 8192).
std::variant<MessageSetRecords, BadRequest> ParseMessageSetBody(std::string_view contentType,
                                                                std::string_view body);
/// True for application/octet-stream, whatever its parameters.
bool IsBinaryBody(std::string_view contentType);
/// The media type of a Content-Type value, without its parameters ("text/plain").
std::string_view MediaType(std::string_view contentType);
/// True when `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);

/// A text-form error as the client gets it: "3:17: unknown item {efect 3}".
BadRequest TextFormError(int line, int column, const std::string& message);

} // namespace pixbar::service
