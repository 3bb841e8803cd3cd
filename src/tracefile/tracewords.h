#pragma once

// The words of the tester's wire trace, after each line's clock: the tester
// writes them, the report reads them.
namespace traceword {

constexpr const char *kBegin = "begin";
constexpr const char *kOpen = "open";
constexpr const char *kClose = "close";
constexpr const char *kFail = "fail";
constexpr const char *kTx = "tx";
constexpr const char *kRx = "rx";

// What the program began and ended (serial/tracenotes.h writes their fields).
constexpr const char *kPollStart = "poll-start";
constexpr const char *kPollStop = "poll-stop";
constexpr const char *kLinkageStart = "linkage-start";
constexpr const char *kLinkageEnd = "linkage-end";

// What each piece of a reception turned out to be.

constexpr const char *kFiled = "filed";
constexpr const char *kEcho = "echo";
constexpr const char *kStray = "stray";
constexpr const char *kOtherAddress = "other-address";
constexpr const char *kOtherCode = "other-code";
constexpr const char *kBadChecksum = "bad-checksum";
constexpr const char *kOtherMaster = "other-master";

} // namespace traceword
