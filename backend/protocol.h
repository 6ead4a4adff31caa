#pragma once

#include <cstdint>

// Fields that only the host and the back end exchange, beside the shared
// catalog. Values are text like every other field.
namespace kovo::wire {

inline constexpr int32_t kRequest = 0;
inline constexpr int32_t kErrorText = 32766;
inline constexpr int32_t kReplyRequest = 32767;
inline constexpr int32_t kUserMsg = 32760;

inline constexpr int32_t kRequestId = 65000;  // host's id of a request, echoed in its replies
inline constexpr int32_t kFinal = 65001;      // "1" on the last message of a reply

// Watches: one value per (field, value) pair, in step.
inline constexpr int32_t kWatchId = 65010;
inline constexpr int32_t kWatchField = 65011;
inline constexpr int32_t kWatchValue = 65012;
inline constexpr int32_t kWatchAny = 65013;  // "1": any value of the field matches

// Scrip master records: the fourteen texts, then the three numbers.
inline constexpr int32_t kScripText0 = 65100;
inline constexpr int32_t kScripPrecision = 65120;
inline constexpr int32_t kScripMultiplier = 65121;
inline constexpr int32_t kScripQuantityMultiplier = 65122;

// Orders.
inline constexpr int32_t kSide = 65200;
inline constexpr int32_t kOrderType = 65201;
inline constexpr int32_t kValidity = 65202;
inline constexpr int32_t kQuantity = 65203;
inline constexpr int32_t kPrice = 65204;
inline constexpr int32_t kTriggerPrice = 65205;
inline constexpr int32_t kDisclosedQuantity = 65206;
inline constexpr int32_t kProductType = 65207;
inline constexpr int32_t kClientAccount = 65208;
inline constexpr int32_t kPendingQuantity = 65210;
inline constexpr int32_t kReason = 65211;
inline constexpr int32_t kLastFillQuantity = 65212;
inline constexpr int32_t kLastFillPrice = 65213;

// Order update fields of the shared catalog.
inline constexpr int32_t kScriptName = 64016;
inline constexpr int32_t kOrderNumber = 64001;
inline constexpr int32_t kOrderTag = 64005;
inline constexpr int32_t kOrderStatus = 64655;
inline constexpr int32_t kLegCode = 54001;
inline constexpr int32_t kExchSeg = 63001;
inline constexpr int32_t kToken = 10100;
inline constexpr int32_t kFilledQuantity = 10076;
inline constexpr int32_t kAveragePrice = 10322;

// Market data.
inline constexpr int32_t kLastPrice = 6;
inline constexpr int32_t kDayHigh = 12;
inline constexpr int32_t kDayLow = 13;
inline constexpr int32_t kDayOpen = 19;
inline constexpr int32_t kDayVolume = 32;
inline constexpr int32_t kOpenInterest = 64;
inline constexpr int32_t kCumulativeQuantity = 178;
inline constexpr int32_t kOpenInterestAtOpen = 63083;
inline constexpr int32_t kVwapTime = 10803;
inline constexpr int32_t kBarTime = 59353;
inline constexpr int32_t kBarVolume = 59354;
inline constexpr int32_t kBarOpen = 59355;
inline constexpr int32_t kBarClose = 59356;
inline constexpr int32_t kBarHigh = 59357;
inline constexpr int32_t kBarLow = 59358;
inline constexpr int32_t kRowStatus = 10303;
inline constexpr int32_t kSymbol = 63100;
inline constexpr int32_t kDate = 10615;
inline constexpr int32_t kStartTime = 59352;
inline constexpr int32_t kEndTime = 59353;  // of a bars request; the bar time in rows

// Bursts of ticks for load measurement.
inline constexpr int32_t kBurstCount = 65300;

}  // namespace kovo::wire
