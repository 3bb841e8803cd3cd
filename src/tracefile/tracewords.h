#pragma once

// The words of the tester's wire trace for what each piece of a reception
// turned out to be: the reply parser's trace writes them, the report reads
// them.
namespace traceword {

constexpr const char *kFiled = "filed";
constexpr const char *kEcho = "echo";
constexpr const char *kStray = "stray";
constexpr const char *kOtherAddress = "other-address";
constexpr const char *kOtherCode = "other-code";
constexpr const char *kBadChecksum = "bad-checksum";
constexpr const char *kOtherMaster = "other-master";

} // namespace traceword
