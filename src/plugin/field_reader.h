#pragma once

#include <cstdint>
#include <string>

#include <connectkovo/connectkovo.h>

namespace kovo {

// Typed readers of one value of a message field. Each sets status to
// kFieldMissing when the library reports the field or index missing and to
// kFieldRead otherwise, and returns 1 when the value was read, 0 when not
// (the result is then empty or zero).
inline constexpr int kFieldRead = 3;
inline constexpr int kFieldMissing = 7;

int ReadText(const wmp_msg* message, int32_t field, int32_t index, std::string& value, int& status);
// Decimal value of at most the first 127 characters (saturated to 32 bits).
int ReadInteger(const wmp_msg* message, int32_t field, int32_t index, int32_t& value, int& status);
// Decimal value of at most the first 31 characters.
int ReadLong(const wmp_msg* message, int32_t field, int32_t index, int64_t& value, int& status);
// Floating value of at most the first 63 characters.
int ReadDouble(const wmp_msg* message, int32_t field, int32_t index, double& value, int& status);
// Prices travel in hundredths: the floating value divided by 100.0.
int ReadPrice(const wmp_msg* message, int32_t field, int32_t index, double& value, int& status);

// Number of values of a field, 0 when absent.
int32_t FieldCount(const wmp_msg* message, int32_t field);

// The one rule for judging a reply: it failed when its error field's last
// value is non-empty (that value is then the error text). An empty last value
// closes a multi-message reply that went well; no error field at all is an
// ordinary record or single-message reply.
bool ReplyFailed(const wmp_msg* message, std::string* errorText = nullptr);
// True when the message carries the error field at all: the last message of
// a multi-message reply, whether it went well or not.
bool ClosesReply(const wmp_msg* message);

}  // namespace kovo
