// What passes between the program and the suite's network library NetCore.dll: the block its
// InitLibs export fills with an entry table, the six entries we call (a libcurl-style easy
// interface), the option numbers and the result codes we name. Shared with the stand-in library.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace velmora::netcore {

// Every entry of the table uses the C calling convention, also for its variadic set-option.
#define VELMORA_NETCORE_CALL __cdecl

using RequestHandle = void*;
struct HeaderList;  // the library's own list type; we only pass its pointer around

using ReleaseHandleFn = void(VELMORA_NETCORE_CALL*)(RequestHandle handle);
using CreateHandleFn = RequestHandle(VELMORA_NETCORE_CALL*)();
using PerformFn = int(VELMORA_NETCORE_CALL*)(RequestHandle handle);
using SetOptionFn = int(VELMORA_NETCORE_CALL*)(RequestHandle handle, int option, ...);
using AppendHeaderFn = HeaderList*(VELMORA_NETCORE_CALL*)(HeaderList* list, const char* line);
using FreeHeadersFn = void(VELMORA_NETCORE_CALL*)(HeaderList* list);
// The body callback: data, element size, element count, the user record. Answers the bytes
// taken; any other number makes the library abort the transfer.
using WriteCallbackFn = size_t(VELMORA_NETCORE_CALL*)(const char* data, size_t size, size_t count, void* user);

// Entry numbers: 32-bit slots counted from the start of the table.
enum Entry : int {
  kReleaseHandle = 0,
  kCreateHandle = 4,
  kPerform = 6,
  kSetOption = 10,
  kAppendHeader = 43,
  kFreeHeaders = 44,
};
constexpr int kEntryCount = 51;
// The one entry of 0..50 the program leaves alone.
constexpr int kSkippedEntry = 16;

// Option numbers (the easy interface's numbering: < 10000 a long, 10000.. a pointer,
// 20000.. a function pointer).
enum Option : int {
  kOptionWriteData = 10001,
  kOptionUrl = 10002,
  kOptionHeaders = 10023,
  kOptionWriteFunction = 20011,
  kOptionFollowLocation = 52,
  kOptionTimeoutMs = 155,
};

// Results of perform that we name (the easy interface's codes).
enum Result : int {
  kOk = 0,
  kUnsupportedProtocol = 1,
  kBadUrl = 3,
  kCouldNotResolveHost = 6,
  kCouldNotConnect = 7,
  kBadServerReply = 8,
  kPartialBody = 18,
  kWriteError = 23,
  kOutOfMemory = 27,
  kTimedOut = 28,
  kBadArgument = 43,
  kTooManyRedirects = 47,
  kSendError = 55,
  kReceiveError = 56,
};

// The caller-owned block InitLibs fills. The caller zeroes it and stores its size in the first
// word; the entry table starts at byte 8. (The 64-bit test build keeps the block's size and the
// table's offset, with pointer-sized slots.)
struct InitBlock {
  uint32_t size;
  uint32_t reserved;
  void* entries[(1032 - 8) / sizeof(void*)];
};
constexpr uint32_t kInitBlockSize = 1032;
static_assert(sizeof(InitBlock) == kInitBlockSize, "the library expects a 1032-byte block");
static_assert(offsetof(InitBlock, entries) == 8, "the entry table starts at byte 8");
#if !defined(_WIN64)
static_assert(sizeof(void*) == 4, "entries are 32-bit slots");
static_assert(offsetof(InitBlock, entries) + kAppendHeader * 4 == 180, "entry 43 sits at byte 180");
#endif

// InitLibs: 0 when the block was filled.
using InitLibsFn = int(VELMORA_NETCORE_CALL*)(InitBlock* block);
constexpr char kInitLibsExport[] = "InitLibs";

}  // namespace velmora::netcore
